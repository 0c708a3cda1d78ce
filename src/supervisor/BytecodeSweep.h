#pragma once

#include "supervisor/LogWriter.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace tarvo {

// The line the sweep appends to the log when it removed anything.
[[nodiscard]] std::string sweepLine(std::size_t removed);

// Removes every "__pycache__" item and every "*.pyc" item at any depth of the
// "studio" and "app" subfolders of `folder`: compiled bytecode inside the
// bundle breaks its signature. Symbolic links are never followed: a link is
// not descended into, and a link with such a name is removed as a link. When
// anything was removed, one line saying how many items goes to the log.
// Failures are swallowed; the result is the number of items removed.
std::size_t sweepBytecode(const std::filesystem::path& folder, LogWriter& log);

// Removes the bytecode cache where earlier versions kept it (`folder`, under
// ~/.cache, which the web process's sandbox may write), without following
// any link planted there. Says in the log that it did, or could not.
void removeOldBytecodeCache(const std::filesystem::path& folder, LogWriter& log);

} // namespace tarvo
