#include "shell/RateLimit.h"

#include <utility>

namespace tarvo {

std::shared_ptr<RateLimit> RateLimit::make(std::shared_ptr<platform::MainQueue> main, int count,
                                           double seconds) {
  return std::shared_ptr<RateLimit>(new RateLimit(std::move(main), count, seconds));
}

RateLimit::RateLimit(std::shared_ptr<platform::MainQueue> main, int count, double seconds)
    : main_(std::move(main)), free_(count), seconds_(seconds) {}

bool RateLimit::take() {
  if (free_ <= 0) {
    return false;
  }
  --free_;
  std::weak_ptr<RateLimit> weak = weak_from_this();
  main_->postAfter(seconds_, [weak] {
    if (auto self = weak.lock()) {
      ++self->free_;
    }
  });
  return true;
}

} // namespace tarvo
