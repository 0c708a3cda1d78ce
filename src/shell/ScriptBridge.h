#pragma once

#include "platform/Delegate.h"

#include <optional>

namespace tarvo {

// What the backend's page may ask of the application.
enum class ScriptRequest { openLog, openHome, restartService };

// The request a posted message carries, when it comes from the main frame of
// the application's own view showing the backend's origin and its body is an
// object whose "type" names a request exactly. Anything else carries none.
[[nodiscard]] std::optional<ScriptRequest> scriptRequest(const platform::ScriptMessage& message);

} // namespace tarvo
