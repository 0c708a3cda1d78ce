#include "shell/RestartPolicy.h"

#include "shell/Texts.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarvo {
namespace {

constexpr double stableAfterSeconds = 300;
constexpr double longestDelaySeconds = 8;

} // namespace

std::shared_ptr<RestartPolicy> RestartPolicy::make(std::shared_ptr<Backend> service,
                                                   OffMain offMain,
                                                   std::shared_ptr<platform::MainQueue> main,
                                                   std::function<void()> bringUp) {
  return std::shared_ptr<RestartPolicy>(new RestartPolicy(std::move(service), std::move(offMain),
                                                          std::move(main), std::move(bringUp)));
}

RestartPolicy::RestartPolicy(std::shared_ptr<Backend> service, OffMain offMain,
                             std::shared_ptr<platform::MainQueue> main,
                             std::function<void()> bringUp)
    : service_(std::move(service)), offMain_(std::move(offMain)), main_(std::move(main)),
      bringUp_(std::move(bringUp)) {}

double RestartPolicy::restartDelay(std::int64_t restarts) {
  return std::min(longestDelaySeconds, std::ldexp(0.5, static_cast<int>(restarts - 1)));
}

RestartPolicy::Verdict RestartPolicy::serviceDied() {
  if (restarting_) {
    return Verdict::ignored;
  }
  restarting_ = true;
  ++restarts_;
  if (restarts_ > maxRestarts) {
    restarting_ = false;
    return Verdict::gaveUp;
  }
  std::weak_ptr<RestartPolicy> weak = weak_from_this();
  main_->postAfter(restartDelay(restarts_), [weak] {
    if (auto self = weak.lock()) {
      self->restarting_ = false;
      self->bringUp_();
    }
  });
  return Verdict::restartScheduled;
}

std::string RestartPolicy::giveUpMessage(std::int32_t status) const {
  return tarvo::giveUpMessage(restarts_, status, service_->logPath());
}

void RestartPolicy::settle() {
  const std::int64_t taken = restarts_;
  std::weak_ptr<RestartPolicy> weak = weak_from_this();
  main_->postAfter(stableAfterSeconds, [weak, taken] {
    if (auto self = weak.lock()) {
      self->checkStability(taken);
    }
  });
}

// The health ping can take 1.7 seconds, so it runs on the background queue;
// the counter is cleared on the main thread, and only if no death was
// counted while the ping was out.
void RestartPolicy::checkStability(std::int64_t taken) {
  if (restarts_ != taken) {
    return;
  }
  offMain_.run(
      weak_from_this(), [service = service_] { return service->isAlive(); },
      [taken](RestartPolicy& self, bool alive) {
        if (alive && self.restarts_ == taken) {
          self.restarts_ = 0;
        }
      });
}

} // namespace tarvo
