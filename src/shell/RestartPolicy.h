#pragma once

#include "platform/Queues.h"
#include "shell/Backend.h"
#include "shell/OffMain.h"
#include "shell/ServiceLifecycle.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tarvo {

// What happens when the backend dies: it is started again after a growing
// delay, until the death past AppDelegate::maxRestarts without a quiet
// period; a backend that stays up five minutes after a start earns the whole
// budget back. Where the service is, and the budget spent, are the
// lifecycle's; this class holds the rules. Main thread only.
class RestartPolicy : public std::enable_shared_from_this<RestartPolicy> {
public:
  enum class Verdict {
    ignored,          // a restart is already pending: not counted
    restartScheduled, // counted; `bringUp` follows after the delay
    gaveUp,           // counted, and the budget is spent
  };

  // `bringUp(why)` starts the backend once a delay has passed, or when it
  // no longer answers.
  using BringUp = std::function<void(std::string_view why)>;
  static std::shared_ptr<RestartPolicy>
  make(std::shared_ptr<Backend> service, std::shared_ptr<ServiceLifecycle> lifecycle,
       OffMain offMain, std::shared_ptr<platform::MainQueue> main, BringUp bringUp);

  // Counts a death and moves the lifecycle on. How the backend ended is the
  // supervisor's line in the log; this one says what follows.
  Verdict serviceDied();
  // What the user is told when the policy gives up after a death with `status`.
  [[nodiscard]] std::string giveUpMessage(std::int32_t status) const;
  // After a successful start: schedules the stability check.
  void settle();

  // 0.5, 1, 2, 4, 8 seconds after the first to the fifth counted death.
  [[nodiscard]] static double restartDelay(std::int64_t restarts);

private:
  RestartPolicy(std::shared_ptr<Backend> service, std::shared_ptr<ServiceLifecycle> lifecycle,
                OffMain offMain, std::shared_ptr<platform::MainQueue> main, BringUp bringUp);
  void checkStability(std::int64_t taken);

  std::shared_ptr<Backend> service_;
  std::shared_ptr<ServiceLifecycle> lifecycle_;
  OffMain offMain_;
  std::shared_ptr<platform::MainQueue> main_;
  BringUp bringUp_;
};

} // namespace tarvo
