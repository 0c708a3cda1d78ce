#pragma once

#include "platform/Delegate.h"
#include "platform/Queues.h"
#include "platform/Ui.h"
#include "shell/Backend.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tarvo {

// The one application delegate: launch, menus, the window and its web view,
// bring-up and restart policy, the web view's policy and script bridge, and
// the quit confirmation. It reaches the desktop only through the platform
// seam, so each rule here runs under a fake platform and a fake clock.
class AppDelegate : public platform::Delegate, public std::enable_shared_from_this<AppDelegate> {
public:
  struct Platform {
    std::shared_ptr<platform::MainQueue> main;
    std::shared_ptr<platform::BackgroundQueue> background;
    std::shared_ptr<platform::Ui> ui;
  };

  static std::shared_ptr<AppDelegate> make(std::shared_ptr<Backend> service, Platform platform);

  static constexpr std::int64_t maxRestarts = 5;

  // platform::Delegate
  void applicationDidFinishLaunching() override;
  bool applicationShouldTerminateAfterLastWindowClosed() override;
  bool applicationShouldHandleReopen(bool hasVisibleWindows) override;
  void applicationWillTerminate() override;
  platform::TerminateReply applicationShouldTerminate() override;
  void showWindow() override;
  void reload() override;
  void openLog() override;
  void openHome() override;
  void restartService() override;
  platform::NavigationPolicy decidePolicyForNavigation(const std::string& url) override;
  void didFailProvisionalNavigation(platform::LoadFailure why) override;
  void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
  void runJavaScriptAlertPanel(const std::string& message,
                               std::function<void()> completion) override;

  // Bring-up and restart policy.
  void bringUp();
  void settle();
  void serviceDied(std::int32_t status);
  void fail(const std::string& message);

  // Read by tests.
  [[nodiscard]] std::int64_t restarts() const { return restarts_; }
  [[nodiscard]] bool restarting() const { return restarting_; }
  [[nodiscard]] bool askingToQuit() const { return askingToQuit_; }

private:
  AppDelegate(std::shared_ptr<Backend> service, Platform platform);
  void answerQuit(std::optional<Service::Busy> busy);
  void replyToQuit(bool quit);
  void checkStability(std::int64_t taken);
  // Pings the backend on the background queue, where a slow answer freezes
  // nothing, and hands the verdict to `then` on the main thread while the
  // delegate still exists.
  void askAlive(std::function<void(AppDelegate& self, bool alive)> then);
  void retryFailedLoad();
  void setLogoutInhibited(bool on);

  std::shared_ptr<Backend> service_;
  Platform platform_;
  std::int64_t restarts_ = 0;
  bool restarting_ = false;
  bool askingToQuit_ = false;
  bool logoutInhibited_ = false;
};

} // namespace tarvo
