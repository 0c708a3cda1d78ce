#include "shell/ServiceLifecycle.h"

#include <string>
#include <utility>

namespace tarvo {

ServiceLifecycle::ServiceLifecycle(std::shared_ptr<platform::Log> log) : log_(std::move(log)) {}

std::string_view ServiceLifecycle::name(State state) {
  switch (state) {
  case State::idle:
    return "idle";
  case State::starting:
    return "starting";
  case State::restarting:
    return "restarting";
  case State::up:
    return "up";
  case State::waitingToRestart:
    return "waiting to restart";
  case State::givenUp:
    return "given up";
  case State::stopping:
    return "stopping";
  }
  return "?";
}

void ServiceLifecycle::watch(std::function<void(State before)> onChange) {
  watchers_.push_back(std::move(onChange));
}

void ServiceLifecycle::enter(State to, std::string_view why) {
  const State before = state_;
  state_ = to;
  log_->note("service: " + std::string(name(before)) + " -> " + std::string(name(to)) + ": " +
             std::string(why));
  changed(before);
}

void ServiceLifecycle::changed(State before) {
  for (const auto& watcher : watchers_) {
    watcher(before);
  }
}

// A bring-up after a death, or once a page has shown, is a restart to the
// user; another try of a first start is still the first start.
void ServiceLifecycle::startBegins(std::string_view why) {
  ++bringUp_;
  pageLoading_ = false;
  pageReloading_ = false;
  const bool again =
      state_ == State::waitingToRestart || state_ == State::restarting || pageEverShown_;
  enter(again ? State::restarting : State::starting, why);
}

void ServiceLifecycle::startSucceeded() {
  switch (state_) {
  case State::starting:
  case State::restarting:
    pageLoading_ = true;
    changed(state_);
    return;
  case State::idle:
  case State::givenUp:
    // Another start, still under way when this one had failed, came up.
    pageLoading_ = true;
    enter(pageEverShown_ ? State::restarting : State::starting, "a start under way came up");
    return;
  case State::up:               // a second start found it up: the page is only reloaded
  case State::waitingToRestart: // it died meanwhile: the restart comes all the same
  case State::stopping:
    changed(state_);
    return;
  }
}

// A death counted while the start ran keeps its restart.
void ServiceLifecycle::startFailed() {
  pageLoading_ = false;
  if (state_ == State::waitingToRestart || state_ == State::stopping) {
    changed(state_);
    return;
  }
  enter(State::givenUp, "the start failed");
}

// A page that commits while nothing asked for one (the old page, say, as its
// backend goes) ends nothing.
void ServiceLifecycle::pageShown() {
  if (pageLoading_ && state_ != State::stopping) {
    pageLoading_ = false;
    pageReloading_ = false;
    pageEverShown_ = true;
    enter(State::up, "its page shows");
  } else if (pageReloading_ && state_ == State::up) {
    pageReloading_ = false;
    changed(state_);
  }
}

// The page may still come: it then ends the alert as any start would.
void ServiceLifecycle::pageOverdue(std::string_view why) {
  enter(State::givenUp, why);
}

void ServiceLifecycle::pageLost(std::string_view why) {
  pageReloading_ = true;
  log_->note("page: " + std::string(why));
  changed(state_);
}

void ServiceLifecycle::restartScheduled(double delaySeconds, std::string_view why) {
  restartDelay_ = delaySeconds;
  pageLoading_ = false;
  pageReloading_ = false;
  enter(State::waitingToRestart, why);
}

void ServiceLifecycle::gaveUp(std::string_view why) {
  pageLoading_ = false;
  pageReloading_ = false;
  enter(State::givenUp, why);
}

void ServiceLifecycle::stopping(std::string_view why) {
  enter(State::stopping, why);
}

void ServiceLifecycle::deathsForgiven(std::string_view why) {
  if (restarts_ == 0) {
    return;
  }
  restarts_ = 0;
  log_->note("service: " + std::string(why));
}

} // namespace tarvo
