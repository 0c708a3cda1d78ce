#pragma once

#include <sys/types.h>

namespace tarvo {

// What a child is started with. Every pointer must stay valid until spawn()
// returns; argv and envp end with a null pointer.
struct SpawnRequest {
  const char* executable = nullptr;
  char* const* argv = nullptr;
  char* const* envp = nullptr;
  const char* workingDirectory = nullptr; // inherited when null
  int standardOutput = -1;                // -1: inherited
  int standardError = -1;                 // -1: inherited
};

struct SpawnResult {
  pid_t pid = -1;
  int error = 0; // the errno of what failed, in the parent or in the child before its exec
};

// The one way this application starts a program. The child
// - never outlives the application, however the application ends (killed
//   included): it is killed when the application is gone;
// - runs in a process group of its own, so signals that a terminal sends to
//   the application's group (Ctrl+C, hang-up, Ctrl+\) do not reach it, and
//   reads its standard input from /dev/null, since it is not in the
//   terminal's foreground;
// - gets no descriptor of the application other than 0, 1 and 2, no blocked
//   signal and the default action for every signal.
// An error of the exec itself (no such file, not executable) is reported
// here, never as an exit of a child.
class Spawner {
public:
  [[nodiscard]] static SpawnResult spawn(const SpawnRequest& request);
};

} // namespace tarvo
