#include "gtk/Places.h"

#include <pwd.h>
#include <unistd.h>

#include <system_error>
#include <vector>

namespace tarvo::platform::gtk {

std::filesystem::path executableFolder() {
  std::error_code error;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    return {};
  }
  return exe.parent_path();
}

std::filesystem::path webExtensionsFolder() {
  const auto bin = executableFolder();
  if (bin.empty()) {
    return {};
  }
  return (bin.parent_path() / "lib" / "web-extensions").lexically_normal();
}

std::filesystem::path userHome() {
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 4096);
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1U << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr || found->pw_dir == nullptr) {
      return {};
    }
    return found->pw_dir;
  }
}

std::filesystem::path stateFolder() {
  const auto home = userHome();
  if (home.empty()) {
    return {};
  }
  return home / ".local" / "state" / "Tarvo Studio";
}

} // namespace tarvo::platform::gtk
