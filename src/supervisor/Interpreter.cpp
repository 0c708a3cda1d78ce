#include "supervisor/Interpreter.h"

#include "supervisor/ChildProcess.h"
#include "supervisor/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {

namespace {

// A probe past its limit is ended without a grace for SIGTERM. After SIGKILL a
// child normally goes at once; this only keeps a child stuck in the kernel
// from holding up the search. Its waiter still reaps it later.
constexpr std::chrono::milliseconds killGrace{5000};

bool isExecutableFile(const std::string& path) {
  struct stat attributes {};
  return ::access(path.c_str(), X_OK) == 0 && ::stat(path.c_str(), &attributes) == 0 &&
         S_ISREG(attributes.st_mode);
}

bool passesProbe(const std::string& path, std::chrono::milliseconds limit) {
  UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  auto probe = ChildProcess::create(
      {path, {"-c", probeCode}, std::nullopt, std::nullopt, null.get(), null.get()});
  if (probe->launch()) {
    return false;
  }
  if (!probe->waitUntilExit(limit)) {
    probe->stop(std::chrono::milliseconds{0}, killGrace);
    return false;
  }
  return probe->terminationStatus() == 0;
}

} // namespace

std::vector<std::string> interpreterCandidates(const std::string& resources) {
  return {
      resources + "/python/bin/python3",
      "/opt/homebrew/opt/python@3.14/bin/python3.14",
      "/opt/homebrew/bin/python3",
      "/usr/local/bin/python3",
      "/opt/homebrew/opt/python@3.13/bin/python3.13",
      "/usr/bin/python3",
  };
}

std::optional<std::string> findInterpreter(const std::vector<std::string>& candidates,
                                           std::chrono::milliseconds limit) {
  for (const auto& candidate : candidates) {
    if (isExecutableFile(candidate) && passesProbe(candidate, limit)) {
      return candidate;
    }
  }
  return std::nullopt;
}

} // namespace tarvo
