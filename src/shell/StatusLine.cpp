#include "shell/StatusLine.h"

#include "shell/Texts.h"

#include <cmath>
#include <utility>

namespace tarvo {

using State = ServiceLifecycle::State;

std::shared_ptr<StatusLine> StatusLine::make(std::shared_ptr<platform::MainQueue> main,
                                             std::shared_ptr<platform::Ui> ui,
                                             std::shared_ptr<ServiceLifecycle> lifecycle) {
  auto self = std::shared_ptr<StatusLine>(
      new StatusLine(std::move(main), std::move(ui), std::move(lifecycle)));
  std::weak_ptr<StatusLine> weak = self;
  self->lifecycle_->watch([weak](State before) {
    if (auto line = weak.lock()) {
      line->follow(before);
    }
  });
  return self;
}

StatusLine::StatusLine(std::shared_ptr<platform::MainQueue> main, std::shared_ptr<platform::Ui> ui,
                       std::shared_ptr<ServiceLifecycle> lifecycle)
    : main_(std::move(main)), ui_(std::move(ui)), lifecycle_(std::move(lifecycle)) {}

// A new state starts its own timing: the grace of a start, the countdown of
// a waiting restart. Another try of the same start keeps its grace.
void StatusLine::follow(State before) {
  const State now = lifecycle_->state();
  if (now != before) {
    ++generation_;
    revealed_ = false;
    secondsLeft_ = 0;
    if (now == State::starting) {
      after(graceSeconds, [](StatusLine& self) { self.revealed_ = true; });
    } else if (now == State::waitingToRestart) {
      // Whole seconds, rounded up, so the line never promises the restart
      // sooner than it comes. A delay under a second gets no number at all:
      // it would be gone before it could be read.
      const double delay = lifecycle_->restartDelay();
      if (delay >= 1) {
        secondsLeft_ = static_cast<int>(std::ceil(delay));
        for (int left = secondsLeft_ - 1; left >= 1; --left) {
          after(delay - left, [left](StatusLine& self) { self.secondsLeft_ = left; });
        }
      }
    }
  }
  publish();
}

platform::AlertDone StatusLine::whileAlertUp(platform::AlertDone done) {
  ++alertsUp_;
  publish();
  std::weak_ptr<StatusLine> weak = weak_from_this();
  auto counted = std::make_shared<bool>(false);
  return [weak, counted, done = std::move(done)](int response) {
    // The answer's own consequences (another alert, a new start) come first,
    // so the line does not flicker between them.
    if (done) {
      done(response);
    }
    if (*counted) {
      return;
    }
    *counted = true;
    if (auto self = weak.lock()) {
      --self->alertsUp_;
      self->publish();
    }
  };
}

std::string StatusLine::line() const {
  if (alertsUp_ > 0) {
    return {};
  }
  switch (lifecycle_->state()) {
  case State::idle:
  case State::givenUp:
  case State::stopping:
    return {};
  case State::starting:
    return revealed_ ? startingLine() : std::string();
  case State::restarting:
    return restartingLine();
  case State::waitingToRestart:
    return secondsLeft_ >= 1 ? restartingInLine(secondsLeft_) : restartingLine();
  case State::up:
    return lifecycle_->pageReloading() ? pageReloadingLine() : std::string();
  }
  return {};
}

// A step of the current state, `seconds` from now; it does nothing once the
// state has changed or the line is gone.
void StatusLine::after(double seconds, std::function<void(StatusLine&)> step) {
  std::weak_ptr<StatusLine> weak = weak_from_this();
  main_->postAfter(seconds, [weak, step = std::move(step), generation = generation_] {
    auto self = weak.lock();
    if (self && self->generation_ == generation) {
      step(*self);
      self->publish();
    }
  });
}

void StatusLine::publish() {
  auto now = line();
  if (now != shown_) {
    shown_ = std::move(now);
    ui_->showStatus(shown_);
  }
}

} // namespace tarvo
