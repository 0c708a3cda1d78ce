#pragma once

#include <filesystem>

namespace tarvo {

// The running program's own file, resolved; empty when it cannot be told.
[[nodiscard]] std::filesystem::path executablePath();

} // namespace tarvo
