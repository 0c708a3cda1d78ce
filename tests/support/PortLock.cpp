#include "support/PortLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace tarvo::test {

PortLock::PortLock() : fd_(::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
  if (fd_ < 0) {
    return;
  }
  while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
  }
}

PortLock::~PortLock() {
  if (fd_ >= 0) {
    ::close(fd_); // releases the lock
  }
}

} // namespace tarvo::test
