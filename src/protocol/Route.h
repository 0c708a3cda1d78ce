#pragma once

#include <optional>
#include <string_view>

namespace tarvo::protocol {

// The backend's guarded endpoints a routed call may go to.
enum class Route { approve, call };

// The endpoint's path.
[[nodiscard]] std::string_view rawValue(Route route);

// The route whose path is exactly `rawValue`, or nothing.
[[nodiscard]] std::optional<Route> routeNamed(std::string_view rawValue);

} // namespace tarvo::protocol
