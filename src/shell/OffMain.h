#pragma once

#include "platform/Queues.h"

#include <memory>
#include <utility>

namespace tarvo {

// The hop off the main thread and back: blocking work (a start, a ping, a
// busy query) runs on the background queue, and its result comes back to the
// main thread. The owner is held weakly throughout: it is not kept alive
// while the work blocks, no work starts once it is gone, and the main-thread
// step runs only while it still exists.
class OffMain {
public:
  OffMain(std::shared_ptr<platform::BackgroundQueue> background,
          std::shared_ptr<platform::MainQueue> main)
      : background_(std::move(background)), main_(std::move(main)) {}

  // `work()` runs on the background queue and must hold what it needs itself
  // (never the owner); `then(owner, result)` runs on the main thread.
  template <typename Owner, typename Work, typename Then>
  void run(std::weak_ptr<Owner> owner, Work work, Then then) const {
    background_->post([main = main_, owner = std::move(owner), work = std::move(work),
                       then = std::move(then)]() mutable {
      if (owner.expired()) {
        return;
      }
      auto result = work();
      main->post(
          [owner = std::move(owner), result = std::move(result), then = std::move(then)]() mutable {
            if (auto self = owner.lock()) {
              then(*self, std::move(result));
            }
          });
    });
  }

private:
  std::shared_ptr<platform::BackgroundQueue> background_;
  std::shared_ptr<platform::MainQueue> main_;
};

} // namespace tarvo
