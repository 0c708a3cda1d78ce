#pragma once

#include "platform/Delegate.h"

#include <optional>
#include <string_view>

namespace tarvo {

// What the backend's page may ask of the application.
enum class ScriptRequest { openLog, openHome, restartService };

// The request a posted message carries, when it comes from the main frame of
// the application's own view showing the backend's origin and its body is an
// object whose "type" names a request exactly. Anything else carries none,
// and `refused` says why, in words fit for the log (never the message's own
// text or address).
struct ScriptVerdict {
  std::optional<ScriptRequest> request;
  std::string_view refused;
};
[[nodiscard]] ScriptVerdict scriptRequest(const platform::ScriptMessage& message);

} // namespace tarvo
