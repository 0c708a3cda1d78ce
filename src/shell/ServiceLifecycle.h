#pragma once

#include "platform/Log.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace tarvo {

// Where the service is, as the window sees it: one state, and the few facts
// that do not fit a single state. The restart policy and the status line
// read it here rather than keeping their own idea. Every change of state is
// made in one place, which writes it to the service log with its reason, so
// the log tells what the application decided and why. Main thread only.
class ServiceLifecycle {
public:
  enum class State {
    idle,             // before the launch
    starting,         // a bring-up before any page has shown
    restarting,       // a bring-up after a death, or after a page had shown
    up,               // the backend answered and its page has shown
    waitingToRestart, // a death was counted; the restart waits its delay
    givenUp,          // nothing under way: the user decides, through an alert
    stopping,         // the application quits
  };

  explicit ServiceLifecycle(std::shared_ptr<platform::Log> log);

  // What happens, in the words of whoever saw it; `why` is the reason logged.
  void startBegins(std::string_view why);
  // The backend answered its ping; its page is on the way.
  void startSucceeded();
  void startFailed();
  // The page of the running bring-up has begun to show.
  void pageShown();
  // The page gave no sign within its time after a verified start.
  void pageOverdue(std::string_view why);
  // The web process behind the shown page ended; the page is loaded anew.
  void pageLost(std::string_view why);
  void restartScheduled(double delaySeconds, std::string_view why);
  void gaveUp(std::string_view why);
  void stopping(std::string_view why);

  // The restart budget: deaths counted since the last quiet period.
  void deathCounted() { ++restarts_; }
  void deathsForgiven(std::string_view why);

  [[nodiscard]] State state() const { return state_; }
  [[nodiscard]] std::int64_t restarts() const { return restarts_; }
  // A bring-up: changes with every one that begins, so a deferred step can
  // tell whether its own bring-up is still the current one.
  [[nodiscard]] unsigned bringUp() const { return bringUp_; }
  // The running bring-up's backend answered, and its page has not shown yet.
  [[nodiscard]] bool pageLoading() const { return pageLoading_; }
  // The web process of a shown page ended and the page is being loaded anew.
  [[nodiscard]] bool pageReloading() const { return pageReloading_; }
  // The delay of the restart that waits, in seconds.
  [[nodiscard]] double restartDelay() const { return restartDelay_; }

  // Runs after every change, of state or of a fact, with the state before.
  void watch(std::function<void(State before)> onChange);

  [[nodiscard]] static std::string_view name(State state);

private:
  // The one place a state changes.
  void enter(State to, std::string_view why);
  void changed(State before);

  std::shared_ptr<platform::Log> log_;
  State state_ = State::idle;
  std::int64_t restarts_ = 0;
  unsigned bringUp_ = 0;
  bool pageLoading_ = false;
  bool pageReloading_ = false;
  bool pageEverShown_ = false;
  double restartDelay_ = 0;
  std::vector<std::function<void(State)>> watchers_;
};

} // namespace tarvo
