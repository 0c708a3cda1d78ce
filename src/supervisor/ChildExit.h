#pragma once

#include <cstdint>
#include <string>

namespace tarvo {

// How a child ended, as the system reports it.
struct ChildExit {
  std::int32_t status = 0; // the exit code, or the number of the signal that ended it
  bool signalled = false;
  bool coreDumped = false;

  // "exit 3", "killed by SIGKILL", "killed by SIGSEGV (core dumped)": an
  // exit code and a signal of the same number read differently.
  [[nodiscard]] std::string describe() const;
};

} // namespace tarvo
