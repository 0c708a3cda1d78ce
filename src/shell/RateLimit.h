#pragma once

#include "platform/Queues.h"

#include <memory>

namespace tarvo {

// At most `count` uses in any `seconds`: each use holds one of `count`
// slots, and gives it back `seconds` later. Main thread only.
class RateLimit : public std::enable_shared_from_this<RateLimit> {
public:
  static std::shared_ptr<RateLimit> make(std::shared_ptr<platform::MainQueue> main, int count,
                                         double seconds);

  // True, and a slot taken, when one is free.
  [[nodiscard]] bool take();

private:
  RateLimit(std::shared_ptr<platform::MainQueue> main, int count, double seconds);

  std::shared_ptr<platform::MainQueue> main_;
  int free_;
  double seconds_;
};

} // namespace tarvo
