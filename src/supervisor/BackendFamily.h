#pragma once

#include "supervisor/ChildExit.h"
#include "supervisor/ChildProcess.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

// What the backend is launched with, through its keeper.
struct FamilyLaunch {
  std::filesystem::path keeper; // the keeper program (KeeperWire::program)
  // The backend: its executable, arguments, folder and environment. Its
  // outputs are the keeper's to give: a pipe to the log.
  LaunchSpec backend;
  int listener = -1; // the held port, handed to the backend as descriptor 3
  std::filesystem::path log;
  std::uintmax_t maxLog = 0;
  std::chrono::milliseconds terminateGrace{0};
  std::chrono::milliseconds killGrace{0};
  // Where what goes wrong between the application and the keeper is said.
  std::function<void(std::string_view line)> note;
};

// The backend and every process it starts, held by a keeper process of
// their own (src/keeper). The keeper tells when the backend has started,
// when it has exited (with the backend's own status) and when its whole
// family is gone; asked to stop, or when the application is gone, it ends
// the family: SIGTERM, the grace, SIGKILL. The application itself never
// adopts a process, so no exit of another child of it is ever taken here.
// Owned through a shared handle; dropping it leaves the family running.
class BackendFamily {
public:
  using TerminationHandler = std::function<void(const ChildExit& exit)>;

  static std::shared_ptr<BackendFamily> create(FamilyLaunch launch);
  ~BackendFamily();
  BackendFamily(const BackendFamily&) = delete;
  BackendFamily& operator=(const BackendFamily&) = delete;

  // Run once, on a thread of the family's own, when the backend exits, unless
  // removed before; removing it waits out a call in progress.
  void setTerminationHandler(TerminationHandler handler);
  void removeTerminationHandler();

  // Nothing once the backend runs, else the description of the error.
  [[nodiscard]] std::optional<std::string> launch();

  // The backend itself runs (its family may outlive it for a while).
  [[nodiscard]] bool isRunning() const;
  [[nodiscard]] pid_t pid() const;
  [[nodiscard]] std::optional<ChildExit> termination() const;
  // Its output said that the port was taken: it bound the port itself
  // instead of serving on the socket it was handed.
  [[nodiscard]] bool boundItself() const;
  // Every process of the family is gone.
  [[nodiscard]] bool hasEnded() const;

  // Ends the backend and its family; returns once they are gone (true), or
  // false when the keeper did not say so within the graces and a little
  // more, and was killed itself.
  bool stop();
  // True once the family is gone, waiting at most `limit`.
  bool waitUntilEnded(std::chrono::milliseconds limit);
  // How long the keeper may take beyond the graces: the last of the
  // backend's output, and a keeper slow to be scheduled.
  static constexpr std::chrono::milliseconds slack{2000};

private:
  explicit BackendFamily(FamilyLaunch launch);
  struct State;
  std::shared_ptr<State> state_;
};

} // namespace tarvo
