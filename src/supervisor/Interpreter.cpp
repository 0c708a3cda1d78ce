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

// Nothing when it passes, else what became of it.
std::optional<std::string> probe(const std::string& path, std::chrono::milliseconds limit) {
  UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  auto probe = ChildProcess::create(
      {path, {"-c", probeCode}, std::nullopt, std::nullopt, null.get(), null.get()});
  if (auto failure = probe->launch()) {
    return "could not be started: " + *failure;
  }
  const std::string limitText = std::to_string(limit.count()) + " ms";
  if (!probe->waitUntilExit(limit)) {
    return probe->stop(std::chrono::milliseconds{0}, killGrace)
               ? "did not finish its version probe within " + limitText + "; killed"
               : "did not finish its version probe within " + limitText +
                     ", and did not end when killed";
  }
  const auto exit = probe->termination();
  if (exit && !exit->signalled && exit->status == 0) {
    return std::nullopt;
  }
  return "is not Python 3.10 or later (its version probe ended with " +
         (exit ? exit->describe() : std::string("no status")) + ")";
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
                                           std::chrono::milliseconds limit,
                                           const std::function<void(std::string_view line)>& note) {
  for (const auto& candidate : candidates) {
    if (!isExecutableFile(candidate)) {
      continue;
    }
    const auto failure = probe(candidate, limit);
    if (!failure) {
      return candidate;
    }
    if (note) {
      note("interpreter " + candidate + " " + *failure);
    }
  }
  return std::nullopt;
}

} // namespace tarvo
