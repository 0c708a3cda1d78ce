#include "shell/RestartPolicy.h"

#include "shell/AppDelegate.h"
#include "shell/Texts.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarvo {
namespace {

using State = ServiceLifecycle::State;

constexpr double stableAfterSeconds = 300;
constexpr double longestDelaySeconds = 8;

// "0.5 s", "2 s": as short as the delay allows.
std::string seconds(double value) {
  std::string text = std::to_string(value);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') {
    text.pop_back();
  }
  return text + " s";
}

} // namespace

std::shared_ptr<RestartPolicy>
RestartPolicy::make(std::shared_ptr<Backend> service, std::shared_ptr<ServiceLifecycle> lifecycle,
                    OffMain offMain, std::shared_ptr<platform::MainQueue> main, BringUp bringUp) {
  return std::shared_ptr<RestartPolicy>(new RestartPolicy(std::move(service), std::move(lifecycle),
                                                          std::move(offMain), std::move(main),
                                                          std::move(bringUp)));
}

RestartPolicy::RestartPolicy(std::shared_ptr<Backend> service,
                             std::shared_ptr<ServiceLifecycle> lifecycle, OffMain offMain,
                             std::shared_ptr<platform::MainQueue> main, BringUp bringUp)
    : service_(std::move(service)), lifecycle_(std::move(lifecycle)), offMain_(std::move(offMain)),
      main_(std::move(main)), bringUp_(std::move(bringUp)) {}

double RestartPolicy::restartDelay(std::int64_t restarts) {
  return std::min(longestDelaySeconds, std::ldexp(0.5, static_cast<int>(restarts - 1)));
}

RestartPolicy::Verdict RestartPolicy::serviceDied() {
  if (lifecycle_->state() == State::waitingToRestart) {
    return Verdict::ignored;
  }
  lifecycle_->deathCounted();
  const std::int64_t restarts = lifecycle_->restarts();
  if (restarts > AppDelegate::maxRestarts) {
    lifecycle_->gaveUp("it stopped " + std::to_string(restarts) +
                       " times without five quiet minutes, so no more automatic restarts");
    return Verdict::gaveUp;
  }
  const double delay = restartDelay(restarts);
  lifecycle_->restartScheduled(delay, "restarting in " + seconds(delay) + " (restart " +
                                          std::to_string(restarts) + " of " +
                                          std::to_string(AppDelegate::maxRestarts) + ")");
  // A bring-up that begins meanwhile ("Try Again") takes this restart's place.
  std::weak_ptr<RestartPolicy> weak = weak_from_this();
  main_->postAfter(delay, [weak, bringUp = lifecycle_->bringUp()] {
    auto self = weak.lock();
    if (self && self->lifecycle_->state() == State::waitingToRestart &&
        self->lifecycle_->bringUp() == bringUp) {
      self->bringUp_("the restart's delay is over");
    }
  });
  return Verdict::restartScheduled;
}

std::string RestartPolicy::giveUpMessage(std::int32_t status) const {
  return tarvo::giveUpMessage(lifecycle_->restarts(), status, service_->logPath());
}

void RestartPolicy::settle() {
  const std::int64_t taken = lifecycle_->restarts();
  std::weak_ptr<RestartPolicy> weak = weak_from_this();
  main_->postAfter(stableAfterSeconds, [weak, taken] {
    if (auto self = weak.lock()) {
      self->checkStability(taken);
    }
  });
}

// The health ping can take 1.7 seconds, so it runs on the background queue;
// the counter is cleared on the main thread, and only if no death was
// counted while the ping was out. A backend that runs but no longer answers
// is started afresh: nothing else would notice it.
void RestartPolicy::checkStability(std::int64_t taken) {
  if (lifecycle_->restarts() != taken) {
    return;
  }
  offMain_.run(
      weak_from_this(), [service = service_] { return service->isAlive(); },
      [taken](RestartPolicy& self, bool alive) {
        if (self.lifecycle_->restarts() != taken) {
          return;
        }
        if (alive) {
          self.lifecycle_->deathsForgiven("up for five minutes: the restart budget is whole again");
        } else if (self.lifecycle_->state() == State::up) {
          self.bringUp_("it no longer answers its ping");
        }
      });
}

} // namespace tarvo
