#pragma once

#include "platform/PageDelegate.h"

#include <string>
#include <string_view>

namespace tarvo {

// For people who write backends: TARVO_STUDIO_DEVELOPER=1 turns on the web
// inspector and copies the page's console into the service log.
inline constexpr const char* developerVariable = "TARVO_STUDIO_DEVELOPER";

// The variable's value (null when unset) turns developer mode on when "1".
[[nodiscard]] bool developerModeFrom(const char* value);

// The install token of a window address ("…#t=<token>"); empty when none.
[[nodiscard]] std::string tokenOf(std::string_view windowURL);

// A console message as a line of the service log, every occurrence of
// `token` masked: the log is read by people the token is not for.
[[nodiscard]] std::string consoleLogLine(const platform::ConsoleMessage& message,
                                         std::string_view token);

} // namespace tarvo
