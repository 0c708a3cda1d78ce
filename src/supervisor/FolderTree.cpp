#include "supervisor/FolderTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace tarvo {

namespace {

// Deeper than any bytecode tree; each level holds one descriptor open.
constexpr int maxDepth = 128;

bool removeTreeAt(int parent, const std::string& name, int depth) {
  // Anything but a folder goes with one call; that a folder refuses it
  // (EISDIR, or EPERM where the system answers so) is what says it is one.
  if (::unlinkat(parent, name.c_str(), 0) == 0 || errno == ENOENT) {
    return true;
  }
  if ((errno != EISDIR && errno != EPERM) || depth >= maxDepth) {
    return false;
  }
  const UniqueFd folder = openFolderAt(parent, name);
  if (!folder) {
    // Swapped for something else since: that goes as itself.
    return ::unlinkat(parent, name.c_str(), 0) == 0 || errno == ENOENT;
  }
  if (const auto names = namesIn(folder.get())) {
    for (const auto& inner : *names) {
      removeTreeAt(folder.get(), inner, depth + 1);
    }
  }
  return ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
}

} // namespace

UniqueFd openFolderAt(int parent, const std::string& name) {
  return UniqueFd(
      ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
}

std::optional<std::vector<std::string>> namesIn(int folder) {
  const int copy = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    return std::nullopt;
  }
  DIR* listing = ::fdopendir(copy);
  if (listing == nullptr) {
    ::close(copy);
    return std::nullopt;
  }
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the stream is this call's own
    const dirent* entry = ::readdir(listing);
    if (entry == nullptr) {
      break;
    }
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") {
      names.emplace_back(name);
    }
  }
  const bool failed = errno != 0;
  ::closedir(listing);
  if (failed) {
    return std::nullopt;
  }
  return names;
}

bool removeTreeAt(int parent, const std::string& name) {
  return removeTreeAt(parent, name, 0);
}

bool removeTree(const std::filesystem::path& path) {
  const std::filesystem::path name = path.filename();
  if (name.empty() || name == "." || name == "..") {
    return false;
  }
  const std::filesystem::path where = path.has_parent_path() ? path.parent_path() : ".";
  const UniqueFd parent(::open(where.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
  if (!parent) {
    return errno == ENOENT;
  }
  return removeTreeAt(parent.get(), name.string());
}

} // namespace tarvo
