#pragma once

#include <string_view>

namespace tarvo::platform {

// Where the application leaves a trace of what it decided and of every
// failure it swallows. Safe to call from any thread.
class Log {
public:
  virtual ~Log() = default;
  // A line in the service log, the one "Open the Log" shows; marked as the
  // application's own.
  virtual void note(std::string_view line) = 0;
  // A warning that concerns the desktop rather than the service (a folder
  // that would not open, a window size that could not be saved): it goes to
  // the desktop's journal.
  virtual void warn(std::string_view line) = 0;
};

} // namespace tarvo::platform
