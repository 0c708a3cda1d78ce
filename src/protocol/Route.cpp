#include "protocol/Route.h"

#include "protocol/Wire.h"

namespace tarvo::protocol {

std::string_view rawValue(Route route) {
  switch (route) {
  case Route::approve:
    return wire::approvePath;
  case Route::call:
    return wire::callPath;
  }
  return {};
}

std::optional<Route> routeNamed(std::string_view rawValue) {
  for (Route candidate : {Route::approve, Route::call}) {
    if (protocol::rawValue(candidate) == rawValue) {
      return candidate;
    }
  }
  return std::nullopt;
}

} // namespace tarvo::protocol
