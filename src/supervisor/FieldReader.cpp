#include "supervisor/FieldReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvo {

FieldReader::FieldReader(const char* path, char separator)
    : fd_(::open(path, O_RDONLY | O_CLOEXEC)), separator_(separator), failed_(!fd_),
      missing_(!fd_ && errno == ENOENT) {}

bool FieldReader::next(std::string_view& field) {
  while (!failed_) {
    const char* start = buffer_.data() + begin_;
    const std::size_t held = end_ - begin_;
    if (const void* hit = std::memchr(start, separator_, held)) {
      const auto length = static_cast<std::size_t>(static_cast<const char*>(hit) - start);
      field = {start, length};
      begin_ += length + 1;
      return true;
    }
    if (atEnd_) {
      field = {start, held};
      begin_ = end_;
      return held > 0;
    }
    std::memmove(buffer_.data(), start, held);
    begin_ = 0;
    end_ = held;
    if (end_ == buffer_.size()) {
      failed_ = true;
      break;
    }
    const ssize_t count = ::read(fd_.get(), buffer_.data() + end_, buffer_.size() - end_);
    if (count < 0 && errno != EINTR) {
      failed_ = true;
    } else if (count == 0) {
      atEnd_ = true;
    } else if (count > 0) {
      end_ += static_cast<std::size_t>(count);
    }
  }
  return false;
}

} // namespace tarvo
