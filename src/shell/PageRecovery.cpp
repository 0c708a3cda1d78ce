#include "shell/PageRecovery.h"

#include "shell/Texts.h"

#include <string>
#include <utility>

namespace tarvo {

std::shared_ptr<PageRecovery> PageRecovery::make(std::shared_ptr<platform::MainQueue> main,
                                                 std::shared_ptr<platform::Log> log,
                                                 std::shared_ptr<ServiceLifecycle> lifecycle,
                                                 std::shared_ptr<ApplicationAlert> alert,
                                                 std::function<void()> reload,
                                                 std::function<void()> quit) {
  return std::shared_ptr<PageRecovery>(new PageRecovery(std::move(main), std::move(log),
                                                        std::move(lifecycle), std::move(alert),
                                                        std::move(reload), std::move(quit)));
}

PageRecovery::PageRecovery(std::shared_ptr<platform::MainQueue> main,
                           std::shared_ptr<platform::Log> log,
                           std::shared_ptr<ServiceLifecycle> lifecycle,
                           std::shared_ptr<ApplicationAlert> alert, std::function<void()> reload,
                           std::function<void()> quit)
    : main_(std::move(main)), log_(std::move(log)), lifecycle_(std::move(lifecycle)),
      alert_(std::move(alert)), reload_(std::move(reload)), quit_(std::move(quit)) {}

// The application's own request to end it is no loss of the page.
void PageRecovery::webProcessEnded(platform::WebProcessEnd why) {
  if (why == platform::WebProcessEnd::asked ||
      lifecycle_->state() == ServiceLifecycle::State::stopping) {
    return;
  }
  const std::string what = why == platform::WebProcessEnd::exceededMemory
                               ? "its web process went past its memory limit"
                               : "its web process crashed or was killed";
  if (spent_ >= budget) {
    log_->note("page: " + what + ", more than " + std::to_string(budget) +
               " times within a minute: asking the user");
    ask();
    return;
  }
  // Each reload is spent for a minute.
  ++spent_;
  std::weak_ptr<PageRecovery> weak = weak_from_this();
  main_->postAfter(budgetSeconds, [weak] {
    if (auto self = weak.lock()) {
      --self->spent_;
    }
  });
  lifecycle_->pageLost(what + ": reloading it");
  reload_();
}

// While the service cannot start, that alert speaks for the window: a
// successful start loads the page anyway.
void PageRecovery::ask() {
  if (alert_->shown() == ApplicationAlert::Kind::couldNotStart) {
    return;
  }
  std::weak_ptr<PageRecovery> weak = weak_from_this();
  alert_->show(ApplicationAlert::Kind::pageStopped, pageStoppedAlert(), [weak](int response) {
    auto self = weak.lock();
    if (!self) {
      return;
    }
    if (response == 0) {
      self->lifecycle_->pageLost("reloading it, as the user asked");
      self->reload_();
    } else if (response == 1) {
      self->quit_();
    } else {
      self->ask(); // dismissed without a button: no answer
    }
  });
}

} // namespace tarvo
