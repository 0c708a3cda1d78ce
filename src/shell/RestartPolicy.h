#pragma once

#include "platform/Queues.h"
#include "shell/Backend.h"
#include "shell/OffMain.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarvo {

// What happens when the backend dies: it is started again after a growing
// delay, until the sixth death without a quiet period; a backend that stays
// up five minutes after a start earns the whole budget back. Main thread
// only, so its state needs no lock.
class RestartPolicy : public std::enable_shared_from_this<RestartPolicy> {
public:
  static constexpr std::int64_t maxRestarts = 5;

  enum class Verdict {
    ignored,          // a restart is already pending: not counted
    restartScheduled, // counted; `bringUp` follows after the delay
    gaveUp,           // counted, and the budget is spent
  };

  // `bringUp` starts the backend once a delay has passed.
  static std::shared_ptr<RestartPolicy> make(std::shared_ptr<Backend> service, OffMain offMain,
                                             std::shared_ptr<platform::MainQueue> main,
                                             std::function<void()> bringUp);

  Verdict serviceDied();
  // What the user is told when the policy gives up after a death with `status`.
  [[nodiscard]] std::string giveUpMessage(std::int32_t status) const;
  // After a successful start: schedules the stability check.
  void settle();

  // 0.5, 1, 2, 4, 8 seconds after the first to the fifth counted death.
  [[nodiscard]] static double restartDelay(std::int64_t restarts);

  [[nodiscard]] std::int64_t restarts() const { return restarts_; }
  [[nodiscard]] bool restarting() const { return restarting_; }

private:
  RestartPolicy(std::shared_ptr<Backend> service, OffMain offMain,
                std::shared_ptr<platform::MainQueue> main, std::function<void()> bringUp);
  void checkStability(std::int64_t taken);

  std::shared_ptr<Backend> service_;
  OffMain offMain_;
  std::shared_ptr<platform::MainQueue> main_;
  std::function<void()> bringUp_;
  std::int64_t restarts_ = 0;
  bool restarting_ = false;
};

} // namespace tarvo
