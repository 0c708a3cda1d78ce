#include "supervisor/BytecodeSweep.h"

#include "supervisor/FolderTree.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string_view>
#include <system_error>

namespace tarvo {

namespace fs = std::filesystem;

std::string sweepLine(std::size_t removed) {
  return "sweep: removed " + std::to_string(removed) +
         " stray bytecode item(s) from the bundle \u2014 they invalidate its "
         "signature and stop the app from opening\n";
}

namespace {

bool isStray(std::string_view name) {
  if (name == "__pycache__") {
    return true;
  }
  // The text after the last dot, even for a name that starts with its only dot.
  auto dot = name.rfind('.');
  return dot != std::string_view::npos && name.substr(dot + 1) == "pyc";
}

// Removes the stray items of the open folder `folder`, and of the real
// folders inside it; links are removed when named as bytecode, never entered.
std::size_t sweepFolder(int folder) {
  std::size_t removed = 0;
  const auto names = namesIn(folder);
  if (!names) {
    return 0;
  }
  for (const auto& name : *names) {
    if (isStray(name)) {
      removed += removeTreeAt(folder, name) ? 1 : 0;
    } else if (const UniqueFd inner = openFolderAt(folder, name)) {
      removed += sweepFolder(inner.get());
    }
  }
  return removed;
}

} // namespace

std::size_t sweepBytecode(const fs::path& folder, LogWriter& log) {
  std::size_t removed = 0;
  const UniqueFd bundle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
  for (const char* name : {"studio", "app"}) {
    // Missing, a file, or a link that may lead out of the bundle: skipped.
    if (const UniqueFd subfolder = bundle ? openFolderAt(bundle.get(), name) : UniqueFd()) {
      removed += sweepFolder(subfolder.get());
    }
  }
  if (removed > 0) {
    log.append(sweepLine(removed));
  }
  return removed;
}

void removeOldBytecodeCache(const fs::path& folder, LogWriter& log) {
  std::error_code error;
  if (folder.empty() || fs::symlink_status(folder, error).type() == fs::file_type::not_found) {
    return;
  }
  if (removeTree(folder)) {
    log.note("removed the bytecode cache of earlier versions, " + folder.string() +
             ": the web process's sandbox can write there");
  } else {
    log.note("could not remove all of the bytecode cache of earlier versions, " + folder.string() +
             "; nothing reads it any more");
  }
}

} // namespace tarvo
