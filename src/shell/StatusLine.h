#pragma once

#include "platform/Queues.h"
#include "platform/Ui.h"
#include "shell/ServiceLifecycle.h"

#include <functional>
#include <memory>
#include <string>

namespace tarvo {

// The line the window shows while the backend comes up, read from the
// service's lifecycle, so the user is never left with a blank or stale page
// and no word of what is going on: "Starting Tarvo Studio…" until the first
// page shows, "Restarting the service…" from a counted death until the
// reloaded page shows, with a countdown while the delayed restart waits, and
// a word while a page whose web process ended is loaded anew. The line is
// held back for the first moments of a start, so a fast start never flashes
// it, and it gives way to any alert of the application. Main thread only.
class StatusLine : public std::enable_shared_from_this<StatusLine> {
public:
  // A start whose page shows within this time never shows the line.
  static constexpr double graceSeconds = 0.2;

  static std::shared_ptr<StatusLine> make(std::shared_ptr<platform::MainQueue> main,
                                          std::shared_ptr<platform::Ui> ui,
                                          std::shared_ptr<ServiceLifecycle> lifecycle);

  // `done` wrapped so that the line stays away from the moment this is
  // called until the alert is answered (the first answer counts).
  [[nodiscard]] platform::AlertDone whileAlertUp(platform::AlertDone done);

  // What the line says now; empty when the view is not shown.
  [[nodiscard]] std::string line() const;

private:
  StatusLine(std::shared_ptr<platform::MainQueue> main, std::shared_ptr<platform::Ui> ui,
             std::shared_ptr<ServiceLifecycle> lifecycle);
  void follow(ServiceLifecycle::State before);
  void after(double seconds, std::function<void(StatusLine&)> step);
  void publish();

  std::shared_ptr<platform::MainQueue> main_;
  std::shared_ptr<platform::Ui> ui_;
  std::shared_ptr<ServiceLifecycle> lifecycle_;
  unsigned generation_ = 0; // a delayed step of an earlier state does nothing
  bool revealed_ = false;   // the grace of a start has passed
  int secondsLeft_ = 0;     // of a waiting restart, in whole seconds rounded up
  int alertsUp_ = 0;
  std::string shown_; // what the platform was last told
};

} // namespace tarvo
