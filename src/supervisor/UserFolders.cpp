#include "supervisor/UserFolders.h"

#include "supervisor/ExecutablePath.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

namespace tarvo {

namespace {

std::filesystem::path passwdHome() {
  const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::size_t size = suggested > 0 ? static_cast<std::size_t>(suggested) : 1024;
  for (; size <= std::size_t{1024} * 1024; size *= 2) {
    std::string buffer(size, '\0');
    passwd entry{};
    passwd* found = nullptr;
    const int error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE) {
      continue;
    }
    if (error != 0 || found == nullptr || found->pw_dir == nullptr) {
      return {};
    }
    return found->pw_dir;
  }
  return {};
}

// The bundle keeps bin/tarvo-studio beside Resources/.
std::filesystem::path bundleResources() {
  const std::filesystem::path executable = executablePath();
  if (executable.empty()) {
    return {};
  }
  return executable.parent_path().parent_path() / "Resources";
}

} // namespace

UserFolders UserFolders::under(const std::filesystem::path& userHome,
                               std::filesystem::path resources) {
  return {userHome,
          std::move(resources),
          userHome / ".local/share/Tarvo Studio",
          userHome / ".local/state/Tarvo Studio.log",
          userHome / ".local/state/Tarvo Studio",
          userHome / ".local/state/Tarvo Studio",
          userHome / ".cache/Tarvo Studio"};
}

const UserFolders& UserFolders::current() {
  static const UserFolders folders = under(passwdHome(), bundleResources());
  return folders;
}

} // namespace tarvo
