#pragma once

#include "platform/Delegate.h"
#include "platform/DownloadFolder.h"
#include "platform/Log.h"
#include "platform/Queues.h"
#include "platform/Ui.h"
#include "shell/Backend.h"
#include "shell/Downloads.h"
#include "shell/NavigationPolicy.h"
#include "shell/OffMain.h"
#include "shell/PageDialogs.h"
#include "shell/QuitConfirmation.h"
#include "shell/RestartPolicy.h"
#include "shell/StatusLine.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tarvo {

// The one application delegate: launch, menus, the window and its web view,
// bring-up, the web view's script bridge and page alerts. The restart policy,
// the navigation policy and the quit confirmation are small classes it owns
// and forwards to. It reaches the desktop only through the platform seam, so
// each rule here runs under a fake platform and a fake clock.
class AppDelegate : public platform::Delegate, public std::enable_shared_from_this<AppDelegate> {
public:
  struct Platform {
    std::shared_ptr<platform::MainQueue> main;
    std::shared_ptr<platform::BackgroundQueue> background;
    std::shared_ptr<platform::Ui> ui;
    // The quit decision's busy query runs here, never behind a start or a
    // ping that fills `background`; the same queue when none is given.
    std::shared_ptr<platform::BackgroundQueue> quit;
    // The trace of the shell's decisions; none in tests that do not read it.
    std::shared_ptr<platform::Log> log;
    // Where the page's downloads go; none refuses them all.
    std::shared_ptr<platform::DownloadFolder> downloads;
    // The web inspector and the page's console in the log, for backend authors.
    bool developer = false;
  };

  static std::shared_ptr<AppDelegate> make(std::shared_ptr<Backend> service, Platform platform);

  static constexpr std::int64_t maxRestarts = RestartPolicy::maxRestarts;

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
  platform::NavigationDecision decidePolicyForNavigation(const std::string& url) override;
  void didFailProvisionalNavigation(platform::LoadFailure why) override;
  void didCommitNavigation() override;
  void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
  void runJavaScriptAlertPanel(const std::string& message,
                               std::function<void()> completion) override;

  // platform::PageDelegate (AppDelegate.page.cpp)
  platform::NavigationDecision
  decidePolicyForNavigationAction(const platform::NavigationAction& action) override;
  platform::ResponseDecision decidePolicyForResponse(const platform::Response& response) override;
  bool decideDownload(const platform::DownloadRequest& request) override;
  std::string downloadDestination(std::uint64_t id, const std::string& suggestedName) override;
  void downloadFinished(std::uint64_t id) override;
  void downloadFailed(std::uint64_t id, const std::string& reason) override;
  void runJavaScriptConfirmPanel(const std::string& message,
                                 std::function<void(bool)> completion) override;
  void
  runJavaScriptTextInputPanel(const std::string& message, const std::string& defaultText,
                              std::function<void(std::optional<std::string>)> completion) override;
  platform::ContextMenuPlan contextMenu(const platform::ContextMenuRequest& request) override;
  std::vector<std::string> notificationOrigins() override;
  void didReceiveConsoleMessage(const platform::ConsoleMessage& message) override;

  // Bring-up and restart policy.
  void bringUp();
  void settle();
  void serviceDied(std::int32_t status);
  void fail(const std::string& message);

  // Quit confirmation: answers the open decision with the busy query's
  // result, or with none.
  void answerQuit(std::optional<protocol::Busy> busy);

  [[nodiscard]] std::int64_t restarts() const { return restartPolicy_->restarts(); }
  [[nodiscard]] bool restarting() const { return restartPolicy_->restarting(); }
  [[nodiscard]] bool askingToQuit() const { return quitConfirmation_->askingToQuit(); }

private:
  AppDelegate(std::shared_ptr<Backend> service, Platform platform);
  void retryFailedLoad();
  void setLogoutInhibited(bool on);
  void setGateOpen(bool open);
  // The page is going: its dialogs are answered as cancelled.
  void pageGoes();

  std::shared_ptr<Backend> service_;
  Platform platform_;
  OffMain offMain_;
  NavigationPolicy navigationPolicy_;
  std::shared_ptr<StatusLine> status_;
  std::shared_ptr<QuitConfirmation> quitConfirmation_;
  std::shared_ptr<RestartPolicy> restartPolicy_; // made once the delegate has an owner
  std::shared_ptr<Downloads> downloads_;
  std::shared_ptr<PageDialogs> pageDialogs_;
  bool logoutInhibited_ = false;
  bool gateOpen_ = false; // the page may reach the backend's port
};

} // namespace tarvo
