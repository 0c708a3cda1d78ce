#pragma once

#include "supervisor/UniqueFd.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace tarvo {

// Reads a file front to back through a fixed buffer, one field at a time; a
// field ends at `separator` or at the end of the file. A field longer than
// the buffer, or a failed read, ends the fields and sets failed(). Made for
// the kernel's text tables, which must be read without allocating.
class FieldReader {
public:
  FieldReader(const char* path, char separator);

  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] bool missing() const { return missing_; } // the file does not exist

  // The next field, valid until the next call; false at the end or on failure.
  bool next(std::string_view& field);

private:
  UniqueFd fd_;
  char separator_;
  bool failed_;
  bool missing_;
  bool atEnd_ = false;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::array<char, 4096> buffer_{};
};

} // namespace tarvo
