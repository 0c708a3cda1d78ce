#pragma once

#include <string>
#include <string_view>

namespace tarvo {

// A file:// address for an absolute path, every byte but the unreserved ones
// and the slashes percent-encoded ("Tarvo Studio.log" holds a space).
[[nodiscard]] std::string fileURL(std::string_view path);

} // namespace tarvo
