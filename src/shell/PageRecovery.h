#pragma once

#include "platform/Delegate.h"
#include "platform/Log.h"
#include "platform/Queues.h"
#include "shell/ApplicationAlert.h"
#include "shell/ServiceLifecycle.h"

#include <functional>
#include <memory>

namespace tarvo {

// When the web process behind the page ends by itself (a crash, a kill, its
// memory limit), the window would keep a frozen picture of a page that no
// longer answers. The page is loaded anew, as "Reload the Window" does, a
// few times a minute; past that the user is asked, rather than loop. Main
// thread only.
class PageRecovery : public std::enable_shared_from_this<PageRecovery> {
public:
  // Reloads within any minute before the user is asked.
  static constexpr int budget = 3;
  static constexpr double budgetSeconds = 60;

  static std::shared_ptr<PageRecovery>
  make(std::shared_ptr<platform::MainQueue> main, std::shared_ptr<platform::Log> log,
       std::shared_ptr<ServiceLifecycle> lifecycle, std::shared_ptr<ApplicationAlert> alert,
       std::function<void()> reload, std::function<void()> quit);

  void webProcessEnded(platform::WebProcessEnd why);

private:
  PageRecovery(std::shared_ptr<platform::MainQueue> main, std::shared_ptr<platform::Log> log,
               std::shared_ptr<ServiceLifecycle> lifecycle, std::shared_ptr<ApplicationAlert> alert,
               std::function<void()> reload, std::function<void()> quit);
  void ask();

  std::shared_ptr<platform::MainQueue> main_;
  std::shared_ptr<platform::Log> log_;
  std::shared_ptr<ServiceLifecycle> lifecycle_;
  std::shared_ptr<ApplicationAlert> alert_;
  std::function<void()> reload_;
  std::function<void()> quit_;
  int spent_ = 0; // reloads of the last minute
};

} // namespace tarvo
