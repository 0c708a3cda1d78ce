#pragma once

#include "platform/Queues.h"
#include "platform/Ui.h"

#include <functional>
#include <memory>
#include <string>

namespace tarvo {

// Decides the line the window shows while the backend comes up, so the user
// is never left with a blank or stale page and no word of what is going on:
// "Starting Tarvo Studio…" until the first page shows, "Restarting the
// service…" from a counted death until the reloaded page shows, with a
// countdown while the delayed restart waits. The line is held back for the
// first moments of a start, so a fast start never flashes it, and it gives
// way to any alert of the application. Main thread only.
class StatusLine : public std::enable_shared_from_this<StatusLine> {
public:
  // A start whose page shows within this time never shows the line.
  static constexpr double graceSeconds = 0.2;

  static std::shared_ptr<StatusLine> make(std::shared_ptr<platform::MainQueue> main,
                                          std::shared_ptr<platform::Ui> ui);

  // A bring-up of the backend begins: at launch, after a restart's delay, on
  // "Try Again", or after a failed load found the backend gone.
  void startBegins();
  // The backend answered and its page is being loaded: the next page that
  // shows ends the line.
  void startSucceeded();
  // The start failed or the restarts gave up: nothing is under way until the
  // user chooses. A restart that is already waiting keeps its countdown.
  void startFailed();
  // A death was counted; the backend is started again after `delaySeconds`.
  void restartScheduled(double delaySeconds);
  // The web view has begun to show a page.
  void pageShown();
  // `done` wrapped so that the line stays away from the moment this is
  // called until the alert is answered (the first answer counts).
  [[nodiscard]] platform::AlertDone whileAlertUp(platform::AlertDone done);

  // What the line says now; empty when the view is not shown.
  [[nodiscard]] std::string line() const;

private:
  enum class Phase {
    idle,       // a page shows, or nothing is under way
    starting,   // no page has shown yet in this run
    waiting,    // a counted death; the restart waits its delay
    restarting, // the backend is being started again
  };

  StatusLine(std::shared_ptr<platform::MainQueue> main, std::shared_ptr<platform::Ui> ui);
  void enter(Phase phase);
  void after(double seconds, std::function<void(StatusLine&)> step);
  void publish();

  std::shared_ptr<platform::MainQueue> main_;
  std::shared_ptr<platform::Ui> ui_;
  Phase phase_ = Phase::idle;
  unsigned generation_ = 0; // a delayed step of an earlier phase does nothing
  bool revealed_ = false;   // the grace of a start has passed
  int secondsLeft_ = 0;     // of a waiting restart, in whole seconds rounded up
  bool loading_ = false;    // the start succeeded; its page is on the way
  bool pageEverShown_ = false;
  int alertsUp_ = 0;
  std::string shown_; // what the platform was last told
};

} // namespace tarvo
