#pragma once

#include "supervisor/UniqueFd.h"

#include <cstdint>
#include <filesystem>

namespace tarvo {

// The rotated log's path: the extension replaced by "1.log", so
// "Tarvo Studio.log" becomes "Tarvo Studio.1.log".
[[nodiscard]] std::filesystem::path rotatedLogPath(const std::filesystem::path& logFile);

// Opens the service log for appending, creating its folder and the file when
// missing, after moving a log larger than `maxLog` bytes aside (one older
// generation is kept). An invalid descriptor when it cannot be opened; every
// failure on the way is swallowed.
[[nodiscard]] UniqueFd logHandle(const std::filesystem::path& logFile, std::uintmax_t maxLog);

} // namespace tarvo
