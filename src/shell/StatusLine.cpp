#include "shell/StatusLine.h"

#include "shell/Texts.h"

#include <cmath>
#include <utility>

namespace tarvo {

std::shared_ptr<StatusLine> StatusLine::make(std::shared_ptr<platform::MainQueue> main,
                                             std::shared_ptr<platform::Ui> ui) {
  return std::shared_ptr<StatusLine>(new StatusLine(std::move(main), std::move(ui)));
}

StatusLine::StatusLine(std::shared_ptr<platform::MainQueue> main, std::shared_ptr<platform::Ui> ui)
    : main_(std::move(main)), ui_(std::move(ui)) {}

void StatusLine::startBegins() {
  loading_ = false;
  switch (phase_) {
  case Phase::waiting:
  case Phase::restarting:
    enter(Phase::restarting);
    break;
  case Phase::idle:
    enter(pageEverShown_ ? Phase::restarting : Phase::starting);
    break;
  case Phase::starting:
    break; // another try of the same start keeps its grace
  }
  publish();
}

void StatusLine::startSucceeded() {
  loading_ = true;
}

void StatusLine::startFailed() {
  loading_ = false;
  if (phase_ != Phase::waiting) {
    enter(Phase::idle);
  }
  publish();
}

// Whole seconds, rounded up, so the line never promises the restart sooner
// than it comes. A delay under a second gets no number at all: it would be
// gone before it could be read.
void StatusLine::restartScheduled(double delaySeconds) {
  loading_ = false;
  enter(Phase::waiting);
  if (delaySeconds >= 1) {
    secondsLeft_ = static_cast<int>(std::ceil(delaySeconds));
    for (int left = secondsLeft_ - 1; left >= 1; --left) {
      after(delaySeconds - left, [left](StatusLine& self) { self.secondsLeft_ = left; });
    }
  }
  publish();
}

void StatusLine::pageShown() {
  // A page that commits while nothing it asked for is loading (say the old
  // page, as its backend goes) does not end a start.
  if (!loading_) {
    return;
  }
  loading_ = false;
  pageEverShown_ = true;
  enter(Phase::idle);
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
  switch (phase_) {
  case Phase::idle:
    return {};
  case Phase::starting:
    return revealed_ ? startingLine() : std::string();
  case Phase::waiting:
    return secondsLeft_ >= 1 ? restartingInLine(secondsLeft_) : restartingLine();
  case Phase::restarting:
    return restartingLine();
  }
  return {};
}

void StatusLine::enter(Phase phase) {
  phase_ = phase;
  ++generation_;
  revealed_ = false;
  secondsLeft_ = 0;
  if (phase == Phase::starting) {
    after(graceSeconds, [](StatusLine& self) { self.revealed_ = true; });
  }
}

// A step of the current phase, `seconds` from now; it does nothing once the
// phase has changed or the line is gone.
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
