#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace tarvo::protocol {

// Where a blocking request meets its completion. Both sides hold it through a
// std::shared_ptr, so it lives as long as the longer of the two: a completion
// that comes after the waiter gave up writes a slot nobody reads again.
template <typename Value> class ReplySlot {
public:
  // Called once by the completion, whatever the outcome.
  void fill(std::optional<Value> value) {
    {
      std::lock_guard guard(mutex_);
      value_ = std::move(value);
      filled_ = true;
    }
    filledSignal_.notify_all();
  }

  // Waits until the completion has filled the slot or `seconds` have passed,
  // then reads the slot once.
  std::optional<Value> waitFor(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + duration(seconds);
    std::unique_lock guard(mutex_);
    filledSignal_.wait_until(guard, deadline, [this] { return filled_; });
    return value_;
  }

  // Seconds as a steady-clock duration; no wait at all for nonsense.
  static std::chrono::steady_clock::duration duration(double seconds) {
    if (!(seconds > 0)) { // also NaN
      return {};
    }
    const double bounded = std::min(seconds, 86400.0 * 365);
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(bounded));
  }

private:
  std::mutex mutex_;
  std::condition_variable filledSignal_;
  bool filled_ = false;
  std::optional<Value> value_;
};

} // namespace tarvo::protocol
