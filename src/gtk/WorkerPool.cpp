#include "gtk/WorkerPool.h"

#include <utility>

namespace tarvo::gtk {

WorkerPool::WorkerPool(std::size_t threads) {
  threads_.reserve(threads);
  for (std::size_t i = 0; i < threads; ++i) {
    threads_.emplace_back([this] { work(); });
  }
}

WorkerPool::~WorkerPool() {
  shutdown();
}

void WorkerPool::post(platform::Job job) {
  {
    std::lock_guard guard(mutex_);
    if (stopping_) {
      return;
    }
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

// Called on the thread that made the pool. The dropped jobs are destroyed
// outside the lock: their captures may post again.
void WorkerPool::shutdown() {
  std::deque<platform::Job> dropped;
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
    dropped.swap(jobs_);
  }
  wake_.notify_all();
  dropped.clear();
  for (auto& thread : threads_) {
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) {
      thread.join();
    }
  }
  threads_.clear();
}

void WorkerPool::work() {
  for (;;) {
    platform::Job job;
    {
      std::unique_lock guard(mutex_);
      wake_.wait(guard, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) {
        return;
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    if (job) {
      job();
    }
  }
}

} // namespace tarvo::gtk
