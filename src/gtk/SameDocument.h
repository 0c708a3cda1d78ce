#pragma once

#include <string>

namespace tarvo::platform::gtk {

// Whether two addresses name the same document: equal once their fragments
// are set aside. Loading such an address only scrolls the page in WebKit.
[[nodiscard]] bool sameDocument(const std::string& shown, const std::string& wanted);

} // namespace tarvo::platform::gtk
