#pragma once

#include "platform/Queues.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvo::gtk {

// The background queue: a few threads that take jobs in the order posted and
// may run several at once. Jobs block (a start of the backend, a busy query),
// so there are more threads than cores. Shutting down drops the jobs not yet
// started and waits for the running ones.
class WorkerPool final : public platform::BackgroundQueue {
public:
  explicit WorkerPool(std::size_t threads = 4);
  ~WorkerPool() override;
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  void post(platform::Job job) override;
  void shutdown();

private:
  void work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<platform::Job> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

} // namespace tarvo::gtk
