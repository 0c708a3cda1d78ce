#pragma once

#include <chrono>

namespace tarvo {

// How long the supervisor waits at each step. The defaults are the
// application's; tests pass short ones.
struct ServiceTiming {
  // A health ping outside the readiness wait: whether something already
  // holds the port, and whether our child still answers.
  double pingTimeout = 1.2;
  // The busy query of a quit decision.
  double busyTimeout = 2.5;
  // The readiness wait after a launch: pings until the backend answers, for
  // at most `readiness`, each bounded by the timeout. A ping waits in the
  // held port's queue until the backend accepts it; one answered at once
  // with something else is followed by the pause.
  std::chrono::milliseconds readiness{20000};
  double attemptTimeout = 0.6;
  std::chrono::milliseconds attemptPause{250};
  // A child that ignores SIGTERM is killed after the first, so stop() always
  // returns; SIGKILL cannot be ignored, the second only bounds a child stuck
  // in the kernel.
  std::chrono::milliseconds terminateGrace{5000};
  std::chrono::milliseconds killGrace{2000};
};

} // namespace tarvo
