#pragma once

namespace tarvo::test {

// Every test that uses 127.0.0.1:7810 holds this lock (an flock on
// /tmp/tarvo-studio-port-7810.lock, shared with the Python and shell tests),
// so two such tests never run at the same time, whichever runner started them.
class PortLock {
public:
  static constexpr const char* path = "/tmp/tarvo-studio-port-7810.lock";
  PortLock();
  ~PortLock();
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;

private:
  int fd_ = -1;
};

} // namespace tarvo::test
