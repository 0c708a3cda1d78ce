#include "supervisor/BytecodeSweep.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>
#include <vector>

namespace tarvo {

namespace fs = std::filesystem;

std::string sweepLine(std::size_t removed) {
  return "sweep: removed " + std::to_string(removed) +
         " stray bytecode item(s) from the bundle \u2014 they invalidate its "
         "signature and stop the app from opening\n";
}

namespace {

bool isStray(const fs::path& item) {
  std::string name = item.filename().string();
  if (name == "__pycache__") {
    return true;
  }
  // The text after the last dot, even for a name that starts with its only dot.
  auto dot = name.rfind('.');
  return dot != std::string::npos && std::string_view(name).substr(dot + 1) == "pyc";
}

bool isRealFolder(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() == fs::file_type::directory;
}

// Each folder is yielded before its contents; links are listed, never entered.
void collect(const fs::path& folder, std::vector<fs::path>& found) {
  std::error_code error;
  fs::directory_iterator entries(folder, error);
  if (error) {
    return;
  }
  for (fs::directory_iterator end; entries != end; entries.increment(error)) {
    if (error) {
      return;
    }
    const fs::path& item = entries->path();
    if (isStray(item)) {
      found.push_back(item);
    }
    if (isRealFolder(item)) {
      collect(item, found);
    }
  }
}

// Removes the item itself: a link as a link, a folder with what is inside it.
bool removeItem(const fs::path& item) {
  std::error_code error;
  if (isRealFolder(item)) {
    return fs::remove_all(item, error) > 0 && !error;
  }
  return fs::remove(item, error) && !error;
}

} // namespace

std::size_t sweepBytecode(const fs::path& folder, LogWriter& log) {
  std::size_t removed = 0;
  for (const char* name : {"studio", "app"}) {
    fs::path subfolder = folder / name;
    if (!isRealFolder(subfolder)) {
      continue; // missing, a file, or a link that may lead out of the bundle
    }
    std::vector<fs::path> found;
    collect(subfolder, found);
    for (const auto& item : found) {
      if (removeItem(item)) {
        ++removed;
      }
    }
  }
  if (removed > 0) {
    log.append(sweepLine(removed));
  }
  return removed;
}

} // namespace tarvo
