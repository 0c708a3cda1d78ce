#pragma once

#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>

namespace tarvo {

// Lets one start run at a time: a caller that arrives while a start is under
// way waits for it and takes its result instead of starting a second one.
class StartGate {
public:
  using Result = std::optional<std::string>;

  // Runs `start` unless another run is in flight. An exception from `start`
  // becomes the message of a start that could not be made.
  Result run(const std::function<Result()>& start);

private:
  std::mutex mutex_;
  std::shared_future<Result> inFlight_;
};

} // namespace tarvo
