#pragma once

// What the application and its backend agree on over HTTP, written once.
#include <string_view>

namespace tarvo::protocol::wire {

// The loopback port the backend serves on, and the only one the page may reach.
inline constexpr int port = 7810;

// Carries the install token on every request that must come from this install.
inline constexpr std::string_view tokenHeader = "X-Studio-Token";

// The window address's fragment that hands the page its token: base + this + token.
inline constexpr std::string_view tokenFragment = "/#t=";

inline constexpr std::string_view pingPath = "/api/ping";
inline constexpr std::string_view busyPath = "/api/busy";
inline constexpr std::string_view approvePath = "/api/approve";
inline constexpr std::string_view callPath = "/api/call";

} // namespace tarvo::protocol::wire
