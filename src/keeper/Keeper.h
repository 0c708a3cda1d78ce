#pragma once

#include "supervisor/KeeperWire.h"
#include "supervisor/LogWriter.h"
#include "supervisor/UniqueFd.h"

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>

namespace tarvo::keeper {

class OutputRelay;

// The keeper of one backend: it launches the backend with the held port and
// a pipe to the log, tells the application what becomes of it, and ends its
// whole family - at the application's request, when the backend exits, and
// when the application is gone (killed, or its display lost) - the one way
// the application ends its children: SIGTERM, the grace, SIGKILL.
class Keeper {
public:
  explicit Keeper(KeeperWire::Options options);
  Keeper(const Keeper&) = delete;
  Keeper& operator=(const Keeper&) = delete;

  // Runs until the family is gone; the keeper's exit status.
  int run();

private:
  enum class Phase { running, terminating, killing };

  void reap(OutputRelay& relay);
  void readChannel();
  void beginEnding(std::string_view why);
  void keepEnding();
  [[nodiscard]] int pollTimeout() const;
  void tell(std::string_view line);
  void note(std::string_view text) { log_.note("keeper: " + std::string(text)); }

  KeeperWire::Options options_;
  LogWriter log_;
  UniqueFd channel_;
  std::string heard_; // what came on the channel and is not a whole line yet
  pid_t backend_ = -1;
  bool backendExited_ = false;
  Phase phase_ = Phase::running;
  bool familyGone_ = false;
  std::string why_; // what began the ending
  std::chrono::steady_clock::time_point endingBegan_{};
  std::chrono::steady_clock::time_point deadline_{};
  int signalled_ = 0; // processes sent SIGTERM when the ending began
  bool killed_ = false;
};

} // namespace tarvo::keeper
