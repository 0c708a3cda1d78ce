#pragma once

#include "supervisor/UniqueFd.h"

namespace tarvo {

// The backend's port, held by the application itself for as long as it
// runs: a socket bound to 127.0.0.1 and listening, close-on-exec. It asks for
// SO_REUSEADDR, so that a quick relaunch is not refused over connections of
// the last run still in TIME_WAIT, and never for SO_REUSEPORT, so that no
// other socket, of this user or another, can share the port with it.
struct LoopbackListener {
  struct Result {
    UniqueFd socket; // invalid on failure
    int error = 0;   // the errno of what failed
  };
  [[nodiscard]] static Result open(int port);
};

} // namespace tarvo
