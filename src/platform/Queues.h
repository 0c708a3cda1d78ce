#pragma once

#include <functional>

namespace tarvo::platform {

using Job = std::function<void()>;

// The thread that runs the user interface. Jobs run one at a time, in the
// order they become due; a job posted from any thread is safe.
class MainQueue {
public:
  virtual ~MainQueue() = default;
  virtual void post(Job job) = 0;
  virtual void postAfter(double seconds, Job job) = 0;
};

// Work that may block (a start of the backend, a busy query) and must never
// run on the main thread.
class BackgroundQueue {
public:
  virtual ~BackgroundQueue() = default;
  virtual void post(Job job) = 0;
};

} // namespace tarvo::platform
