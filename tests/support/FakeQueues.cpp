#include "support/FakeQueues.h"

#include <vector>

namespace tarvo::test {

void FakeMainQueue::post(platform::Job job) {
  {
    std::lock_guard guard(mutex_);
    ready_.push_back(std::move(job));
  }
  posted_.notify_all();
}

void FakeMainQueue::postAfter(double seconds, platform::Job job) {
  std::lock_guard guard(mutex_);
  delayed_.emplace(std::make_pair(now_ + (seconds > 0 ? seconds : 0), sequence_++), std::move(job));
}

double FakeMainQueue::now() const {
  std::lock_guard guard(mutex_);
  return now_;
}

std::size_t FakeMainQueue::runReady() {
  std::size_t ran = 0;
  for (;;) {
    platform::Job job;
    {
      std::lock_guard guard(mutex_);
      if (!ready_.empty()) {
        job = std::move(ready_.front());
        ready_.pop_front();
      } else if (!delayed_.empty() && delayed_.begin()->first.first <= now_) {
        job = std::move(delayed_.begin()->second);
        delayed_.erase(delayed_.begin());
      } else {
        return ran;
      }
    }
    job();
    ++ran;
  }
}

void FakeMainQueue::advance(double seconds) {
  double target = 0;
  {
    std::lock_guard guard(mutex_);
    target = now_ + seconds;
  }
  runReady();
  for (;;) {
    {
      std::lock_guard guard(mutex_);
      if (delayed_.empty() || delayed_.begin()->first.first > target) {
        now_ = target;
        break;
      }
      now_ = delayed_.begin()->first.first;
    }
    runReady();
  }
  runReady();
}

bool FakeMainQueue::waitAndRun(std::chrono::milliseconds limit) {
  {
    std::unique_lock guard(mutex_);
    posted_.wait_for(guard, limit, [this] { return !ready_.empty(); });
  }
  return runReady() > 0;
}

std::size_t FakeMainQueue::delayedCount() const {
  std::lock_guard guard(mutex_);
  return delayed_.size();
}

std::vector<double> FakeMainQueue::delays() const {
  std::lock_guard guard(mutex_);
  std::vector<double> result;
  for (const auto& [key, job] : delayed_) {
    result.push_back(key.first - now_);
  }
  return result;
}

void FakeBackgroundQueue::post(platform::Job job) {
  std::lock_guard guard(mutex_);
  jobs_.push_back(std::move(job));
}

std::size_t FakeBackgroundQueue::runAll() {
  std::size_t ran = 0;
  for (;;) {
    platform::Job job;
    {
      std::lock_guard guard(mutex_);
      if (jobs_.empty()) {
        return ran;
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
    ++ran;
  }
}

std::size_t FakeBackgroundQueue::size() const {
  std::lock_guard guard(mutex_);
  return jobs_.size();
}

} // namespace tarvo::test
