#pragma once

#include "platform/Queues.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace tarvo::test {

// A main queue driven by the test: jobs run only when the test says so, and
// delayed jobs follow a clock that only the test moves. Posting is safe from
// any thread, so real worker threads may hand results to it.
class FakeMainQueue : public platform::MainQueue {
public:
  void post(platform::Job job) override;
  void postAfter(double seconds, platform::Job job) override;

  [[nodiscard]] double now() const;
  // Runs every job that is due now, including those they post in turn.
  std::size_t runReady();
  // Moves the clock forward, running each delayed job at its time, in order.
  void advance(double seconds);
  // Real time: waits until a job is posted (or the limit passes), then runs
  // what is due. True when something ran.
  bool waitAndRun(std::chrono::milliseconds limit);
  [[nodiscard]] std::size_t delayedCount() const;
  // The due times of the delayed jobs still waiting, relative to now.
  [[nodiscard]] std::vector<double> delays() const;

private:
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  double now_ = 0;
  std::uint64_t sequence_ = 0;
  std::deque<platform::Job> ready_;
  std::map<std::pair<double, std::uint64_t>, platform::Job> delayed_;
};

// Background jobs wait until the test runs them, on the test's thread.
class FakeBackgroundQueue : public platform::BackgroundQueue {
public:
  void post(platform::Job job) override;
  std::size_t runAll();
  [[nodiscard]] std::size_t size() const;

private:
  mutable std::mutex mutex_;
  std::deque<platform::Job> jobs_;
};

} // namespace tarvo::test
