#pragma once

#include "platform/Ui.h"
#include "protocol/Busy.h"

#include <cstdint>
#include <string>

namespace tarvo {

// Every text the shell shows (its alerts and the status line) and how each
// answer to an alert is read. Pure, so every text is checked to the letter.

// A start failed, or the backend died too often: "Try Again" (the default),
// "Open the Log", "Quit".
[[nodiscard]] platform::Alert couldNotStartAlert(const std::string& message);
// Why the automatic restarts stopped after the `restarts`-th death.
[[nodiscard]] std::string giveUpMessage(std::int64_t restarts, std::int32_t status,
                                        const std::string& logPath);

// The backend answered its ping, but its page did not begin to show within
// `seconds`.
[[nodiscard]] std::string pageDidNotLoadMessage(int seconds, const std::string& logPath);

// The page's web process ended too often: "Reload" (the default), "Quit".
[[nodiscard]] platform::Alert pageStoppedAlert();

// A message of the page itself, with one "OK".
[[nodiscard]] platform::Alert pageAlert(const std::string& message);

// The status line while the backend comes up.
[[nodiscard]] std::string startingLine();
[[nodiscard]] std::string restartingLine();
// While a delayed restart waits `seconds` (1 or more) whole seconds more.
[[nodiscard]] std::string restartingInLine(int seconds);
// While the page is loaded anew after its web process ended.
[[nodiscard]] std::string pageReloadingLine();

// The two questions put to the user before quitting while the backend runs.

// The backend could not say what is running. "Quit anyway" comes first and
// is the default.
[[nodiscard]] platform::Alert noAnswerAlert();
[[nodiscard]] bool quitsAfterNoAnswer(int response);

// True when anything is in flight (any count of 1 or more).
[[nodiscard]] bool hasWorkInFlight(const protocol::Busy& busy);

// Something is in flight. "Stay open" comes first and is the default.
[[nodiscard]] platform::Alert inFlightAlert(const protocol::Busy& busy);
[[nodiscard]] std::string inFlightInformative(const protocol::Busy& busy);
[[nodiscard]] bool quitsAfterInFlight(int response);

} // namespace tarvo
