#pragma once

#include <sys/types.h>

namespace tarvo {

// What a child is started with. Every pointer must stay valid until spawn()
// returns; argv and envp end with a null pointer.
struct SpawnRequest {
  static constexpr int maxHanded = 4;

  const char* executable = nullptr;
  char* const* argv = nullptr;
  char* const* envp = nullptr;
  const char* workingDirectory = nullptr; // inherited when null
  int standardOutput = -1;                // -1: inherited
  int standardError = -1;                 // -1: inherited
  // Descriptors the child gets as 3, 4, ... in this order (at most maxHanded).
  const int* handed = nullptr;
  int handedCount = 0;
  // The handed descriptors are listening sockets, and the child is told so
  // as service managers tell it: LISTEN_FDS (their count) and LISTEN_PID (the
  // child's own process id, set in the child, so no other process that sees
  // the variables takes them for its own).
  bool socketActivation = false;
  // The child is killed when the application is gone. Off only for a child
  // that notices the application's end by itself and has work to do then.
  bool dieWithParent = true;
};

struct SpawnResult {
  pid_t pid = -1;
  int error = 0; // the errno of what failed, in the parent or in the child before its exec
};

// The one way this application starts a program. The child
// - never outlives the application, however the application ends (killed
//   included): it is killed when the application is gone, unless asked not
//   to be;
// - runs in a process group of its own, so signals that a terminal sends to
//   the application's group (Ctrl+C, hang-up, Ctrl+\) do not reach it, and
//   reads its standard input from /dev/null, since it is not in the
//   terminal's foreground;
// - gets no descriptor of the application other than 0, 1, 2 and those
//   handed to it, no blocked signal and the default action for every signal;
// - inherits no LISTEN_FDS, LISTEN_PID or LISTEN_FDNAMES: sockets are
//   announced only to a child they are handed to.
// An error of the exec itself (no such file, not executable) is reported
// here, never as an exit of a child.
class Spawner {
public:
  [[nodiscard]] static SpawnResult spawn(const SpawnRequest& request);
};

} // namespace tarvo
