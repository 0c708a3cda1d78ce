#pragma once

#include "platform/Delegate.h"
#include "platform/DownloadFolder.h"
#include "platform/Log.h"
#include "platform/Queues.h"
#include "platform/Ui.h"
#include "shell/ApplicationAlert.h"
#include "shell/Backend.h"
#include "shell/Downloads.h"
#include "shell/NavigationPolicy.h"
#include "shell/OffMain.h"
#include "shell/PageDialogs.h"
#include "shell/PageRecovery.h"
#include "shell/QuitConfirmation.h"
#include "shell/RestartPolicy.h"
#include "shell/ServiceLifecycle.h"
#include "shell/StatusLine.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

// The one application delegate: launch, menus, the window and its web view,
// bring-up, the web view's script bridge and page alerts. Where the service
// is lives in its lifecycle; the restart policy, the navigation policy, the
// quit confirmation, the recovery of a lost page and the one alert of the
// application are small classes it owns and forwards to. It reaches the desktop only through the
// platform seam, so each rule here runs under a fake platform and a fake clock.
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

  // The number of deaths that are followed by an automatic restart.
  static constexpr std::int64_t maxRestarts = 5;
  // How long the page of a verified start may take to begin to show.
  static constexpr int pageDeadlineSeconds = 30;

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
  void webProcessTerminated(platform::WebProcessEnd why) override;
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

  // Bring-up and restart policy. `why` is the reason the log gives.
  void bringUp(std::string_view why = "asked");
  void settle();
  void serviceDied(std::int32_t status);
  // What "Try Again" of the could-not-start alert does.
  enum class Retry { start, restartService };
  void fail(const std::string& message, Retry retry = Retry::start);

  // Quit confirmation: answers the open decision with the busy query's
  // result, or with none.
  void answerQuit(std::optional<protocol::Busy> busy);

  [[nodiscard]] std::int64_t restarts() const { return lifecycle_->restarts(); }
  [[nodiscard]] bool restarting() const {
    return lifecycle_->state() == ServiceLifecycle::State::waitingToRestart;
  }
  [[nodiscard]] bool askingToQuit() const { return quitConfirmation_->askingToQuit(); }

private:
  AppDelegate(std::shared_ptr<Backend> service, Platform platform);
  void retryFailedLoad();
  void watchPageDeadline();
  void noteRefusedNavigation(const std::string& url);
  void setLogoutInhibited(bool on);
  void setGateOpen(bool open);
  // The page is going: its dialogs are answered as cancelled.
  void pageGoes();

  std::shared_ptr<Backend> service_;
  Platform platform_;
  OffMain offMain_;
  NavigationPolicy navigationPolicy_;
  std::shared_ptr<ServiceLifecycle> lifecycle_;
  std::shared_ptr<StatusLine> status_;
  std::shared_ptr<ApplicationAlert> alert_;
  std::shared_ptr<QuitConfirmation> quitConfirmation_;
  // Made once the delegate has an owner.
  std::shared_ptr<RestartPolicy> restartPolicy_;
  std::shared_ptr<PageRecovery> pageRecovery_;
  std::shared_ptr<Downloads> downloads_;
  std::shared_ptr<PageDialogs> pageDialogs_;
  bool logoutInhibited_ = false;
  bool gateOpen_ = false; // the page may reach the backend's port
};

} // namespace tarvo
