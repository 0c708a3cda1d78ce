#pragma once

#include "supervisor/ChildExit.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvo {

struct LaunchSpec {
  // What most children need is given in order; the rest keep their defaults.
  LaunchSpec(std::string program, std::vector<std::string> programArguments,
             std::optional<std::string> folder = std::nullopt,
             std::optional<std::vector<std::string>> variables = std::nullopt, int output = -1,
             int error = -1, std::vector<int> handedOn = {}, bool announce = false,
             bool dies = true)
      : executable(std::move(program)), arguments(std::move(programArguments)),
        workingDirectory(std::move(folder)), environment(std::move(variables)),
        standardOutput(output), standardError(error), handed(std::move(handedOn)),
        socketActivation(announce), dieWithParent(dies) {}

  std::string executable;
  std::vector<std::string> arguments;                  // without argv[0]
  std::optional<std::string> workingDirectory;         // inherited when absent
  std::optional<std::vector<std::string>> environment; // "NAME=value"; inherited when absent
  int standardOutput = -1;                             // -1: inherited
  int standardError = -1;                              // -1: inherited
  std::vector<int> handed;       // the child's descriptors 3, 4, ... (see SpawnRequest)
  bool socketActivation = false; // they are listening sockets, announced to it
  bool dieWithParent = true;     // off: it notices the application's end by itself
};

// A child process owned through a shared handle, started as Spawner starts
// every child (it dies with the application, in a process group of its own,
// with no descriptor of ours but 0, 1, 2 and those handed to it). A waiter thread of its
// own reaps it by process id and runs the termination handler, if one is
// still installed. The status is the exit code, or the signal number for a
// child killed by a signal.
class ChildProcess {
public:
  using TerminationHandler = std::function<void(const ChildExit& exit)>;

  static std::shared_ptr<ChildProcess> create(LaunchSpec spec);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void setTerminationHandler(TerminationHandler handler);
  void removeTerminationHandler();

  // Nothing on success, else the description of the error.
  [[nodiscard]] std::optional<std::string> launch();

  [[nodiscard]] bool isRunning() const;
  [[nodiscard]] pid_t pid() const;
  void terminate(); // SIGTERM then SIGCONT, unless it has exited
  void kill();      // SIGKILL, unless it has exited

  // True once the child has exited (and been reaped).
  bool waitUntilExit(std::optional<std::chrono::milliseconds> limit = std::nullopt);

  // Ends the child the one way this application ends children: SIGTERM, up
  // to `terminateGrace` for it to exit, then SIGKILL and up to `killGrace`.
  // True once it has exited; at once for a child that already has.
  bool stop(std::chrono::milliseconds terminateGrace, std::chrono::milliseconds killGrace);

  [[nodiscard]] std::optional<std::int32_t> terminationStatus() const;
  [[nodiscard]] std::optional<ChildExit> termination() const;

private:
  explicit ChildProcess(LaunchSpec spec);
  struct State;
  std::shared_ptr<State> state_;
};

} // namespace tarvo
