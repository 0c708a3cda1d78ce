#pragma once

#include "platform/Ui.h"
#include "supervisor/Service.h"

#include <string>

namespace tarvo {

// The two questions put to the user before quitting while the backend runs,
// and how each answer is read. Pure, so every text is checked to the letter.

// The backend could not say what is running. "Quit anyway" comes first and
// is the default.
[[nodiscard]] platform::Alert noAnswerAlert();
[[nodiscard]] bool quitsAfterNoAnswer(int response);

// True when anything is in flight (any count of 1 or more).
[[nodiscard]] bool hasWorkInFlight(const Service::Busy& busy);

// Something is in flight. "Stay open" comes first and is the default.
[[nodiscard]] platform::Alert inFlightAlert(const Service::Busy& busy);
[[nodiscard]] std::string inFlightInformative(const Service::Busy& busy);
[[nodiscard]] bool quitsAfterInFlight(int response);

} // namespace tarvo
