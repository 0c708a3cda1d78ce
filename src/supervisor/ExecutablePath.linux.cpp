// Linux: the kernel names the running executable at /proc/self/exe.
#include "supervisor/ExecutablePath.h"

#include <system_error>

namespace tarvo {

std::filesystem::path executablePath() {
  std::error_code error;
  std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    return {};
  }
  return executable;
}

} // namespace tarvo
