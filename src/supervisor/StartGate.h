#pragma once

#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>

namespace tarvo {

// Lets one start run at a time: a caller that arrives while a start is under
// way waits for it and takes its result instead of starting a second one -
// but only while that result still holds when the run ends (a stop may have
// undone it meanwhile); otherwise it runs, or joins, again.
class StartGate {
public:
  using Result = std::optional<std::string>;
  using Holds = std::function<bool(const Result&)>;

  // Runs `start` unless another run is in flight. An exception from `start`
  // becomes the message of a start that could not be made.
  Result run(const std::function<Result()>& start, const Holds& holds);

  // Callers waiting for a run in flight (for tests).
  [[nodiscard]] int waiting() const;

private:
  mutable std::mutex mutex_;
  std::shared_future<Result> inFlight_;
  int waiting_ = 0;
};

} // namespace tarvo
