#pragma once

#include "platform/Log.h"

#include <mutex>
#include <string>
#include <vector>

namespace tarvo::test {

// Keeps every line it is given, for tests that read the trace.
class FakeLog : public platform::Log {
public:
  void note(std::string_view line) override {
    std::lock_guard guard(mutex_);
    notes_.emplace_back(line);
  }
  void warn(std::string_view line) override {
    std::lock_guard guard(mutex_);
    warnings_.emplace_back(line);
  }
  [[nodiscard]] std::vector<std::string> notes() const {
    std::lock_guard guard(mutex_);
    return notes_;
  }
  [[nodiscard]] std::vector<std::string> warnings() const {
    std::lock_guard guard(mutex_);
    return warnings_;
  }

private:
  mutable std::mutex mutex_;
  std::vector<std::string> notes_;
  std::vector<std::string> warnings_;
};

} // namespace tarvo::test
