#include "shell/AppDelegate.h"

#include "protocol/Url.h"
#include "protocol/Wire.h"
#include "shell/FileUrl.h"
#include "shell/MainMenu.h"
#include "shell/ScriptBridge.h"
#include "shell/Texts.h"

#include <string>
#include <utility>

namespace tarvo {
namespace {

constexpr double pageTimeoutSeconds = 60;
constexpr double reloadAfterFailureSeconds = 1.5;

// For a delegate made without a trace: its lines go nowhere.
class NoLog final : public platform::Log {
public:
  void note(std::string_view /*line*/) override {}
  void warn(std::string_view /*line*/) override {}
};

AppDelegate::Platform withLog(AppDelegate::Platform platform) {
  if (!platform.log) {
    platform.log = std::make_shared<NoLog>();
  }
  return platform;
}

} // namespace

std::shared_ptr<AppDelegate> AppDelegate::make(std::shared_ptr<Backend> service,
                                               Platform platform) {
  auto self =
      std::shared_ptr<AppDelegate>(new AppDelegate(std::move(service), std::move(platform)));
  std::weak_ptr<AppDelegate> weak = self;
  self->restartPolicy_ = RestartPolicy::make(self->service_, self->lifecycle_, self->offMain_,
                                             self->platform_.main, [weak](std::string_view why) {
                                               if (auto delegate = weak.lock()) {
                                                 delegate->bringUp(why);
                                               }
                                             });
  self->pageRecovery_ = PageRecovery::make(
      self->platform_.main, self->platform_.log, self->lifecycle_, self->alert_,
      [weak] {
        if (auto delegate = weak.lock()) {
          delegate->reload();
        }
      },
      [weak] {
        if (auto delegate = weak.lock()) {
          delegate->platform_.ui->terminate();
        }
      });
  return self;
}

AppDelegate::AppDelegate(std::shared_ptr<Backend> service, Platform platform)
    : service_(std::move(service)), platform_(withLog(std::move(platform))),
      offMain_(platform_.background, platform_.main),
      navigationPolicy_(platform_.ui, platform_.main, platform_.log),
      lifecycle_(std::make_shared<ServiceLifecycle>(platform_.log)),
      status_(StatusLine::make(platform_.main, platform_.ui, lifecycle_)),
      alert_(ApplicationAlert::make(platform_.ui, status_)),
      quitConfirmation_(QuitConfirmation::make(
          service_, OffMain(platform_.quit ? platform_.quit : platform_.background, platform_.main),
          platform_.ui, status_, platform_.log)),
      downloads_(Downloads::make(platform_.main, platform_.ui, platform_.downloads, platform_.log)),
      pageDialogs_(PageDialogs::make(platform_.ui, status_)) {}

void AppDelegate::applicationDidFinishLaunching() {
  platform_.ui->installMenuBar(MainMenu::bar());
  platform_.ui->createWindow({"Tarvo Studio", 1100, 740, 820, 540, "TarvoStudioMain"});
  platform_.ui->createWebView();
  if (platform_.developer) {
    platform_.ui->enableDeveloperTools();
  }
  downloads_->clearLeftovers();
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  service_->setOnExit([weak](std::int32_t status) {
    if (auto self = weak.lock()) {
      self->serviceDied(status);
    }
  });
  platform_.ui->presentWindow();
  bringUp("launch");
}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed() {
  return false;
}

bool AppDelegate::applicationShouldHandleReopen(bool /*hasVisibleWindows*/) {
  platform_.ui->presentWindow();
  return true;
}

void AppDelegate::showWindow() {
  platform_.ui->presentWindow();
}

// The decision is taken: nothing is left to show while the backend is given
// its time to stop, and the page may send nothing more.
void AppDelegate::applicationWillTerminate() {
  lifecycle_->stopping("the application quits");
  platform_.ui->hideWindow();
  pageGoes();
  downloads_->abandonAll();
  setGateOpen(false);
  // A start in flight is called off too: nothing may outlive the application.
  service_->close();
  setLogoutInhibited(false);
}

platform::TerminateReply AppDelegate::applicationShouldTerminate() {
  return quitConfirmation_->applicationShouldTerminate();
}

void AppDelegate::answerQuit(std::optional<protocol::Busy> busy) {
  quitConfirmation_->answerQuit(std::move(busy));
}

void AppDelegate::openLog() {
  platform_.ui->openURL(fileURL(service_->logPath()));
}

void AppDelegate::openHome() {
  platform_.ui->openURL(fileURL(service_->homePath()));
}

// Once our child is gone its port is anyone's: the page, which carries the
// install token, must not reach whoever takes it next. So the gate opens only
// after a start that found our own child on the port, and closes before the
// child is stopped, when its death is heard, and when a start begins or fails.
void AppDelegate::setGateOpen(bool open) {
  if (open != gateOpen_) {
    gateOpen_ = open;
    platform_.ui->setBackendGate(protocol::wire::port, open);
  }
}

// Keeping the session from ending silently follows the backend: it is
// switched on once a start succeeds and off when the backend goes away.
void AppDelegate::setLogoutInhibited(bool on) {
  if (on != logoutInhibited_) {
    logoutInhibited_ = on;
    platform_.ui->inhibitLogout(on);
  }
}

// start() blocks until the backend answers, so it runs off the main thread;
// the delegate is not kept alive meanwhile.
void AppDelegate::bringUp(std::string_view why) {
  lifecycle_->startBegins(why);
  setGateOpen(false);
  offMain_.run(
      weak_from_this(), [service = service_] { return service->start(); },
      [](AppDelegate& self, std::optional<std::string> message) {
        if (message) {
          self.lifecycle_->startFailed();
          self.fail(*message);
          return;
        }
        // The child may have died since start() saw it on the port; its
        // exit is on the way, and the gate stays closed.
        self.setGateOpen(self.service_->isMine());
        self.setLogoutInhibited(true);
        self.lifecycle_->startSucceeded();
        // A failure shown meanwhile is over.
        self.alert_->close(ApplicationAlert::Kind::couldNotStart);
        self.settle();
        self.watchPageDeadline();
        self.reload();
      });
}

// A backend that answers its ping but never its page would leave a blank
// window for as long as one waits.
void AppDelegate::watchPageDeadline() {
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  platform_.main->postAfter(pageDeadlineSeconds, [weak, bringUp = lifecycle_->bringUp()] {
    auto self = weak.lock();
    if (!self || self->lifecycle_->bringUp() != bringUp || !self->lifecycle_->pageLoading()) {
      return;
    }
    self->lifecycle_->pageOverdue("its page did not load within " +
                                  std::to_string(pageDeadlineSeconds) + " s");
    self->fail(pageDidNotLoadMessage(pageDeadlineSeconds, self->service_->logPath()),
               Retry::restartService);
  });
}

void AppDelegate::settle() {
  restartPolicy_->settle();
}

// The start page, always fetched afresh, into a new document.
void AppDelegate::reload() {
  pageGoes();
  if (auto url = service_->windowURL()) {
    platform_.ui->load(*url, pageTimeoutSeconds);
  } else {
    platform_.log->note("page: the service's address is not usable: nothing was loaded");
  }
}

void AppDelegate::serviceDied(std::int32_t status) {
  setGateOpen(false);
  pageGoes();
  switch (restartPolicy_->serviceDied()) {
  case RestartPolicy::Verdict::ignored:
    platform_.log->note("service: an exit while a restart waits is not counted");
    return;
  case RestartPolicy::Verdict::restartScheduled:
    setLogoutInhibited(false);
    return;
  case RestartPolicy::Verdict::gaveUp:
    setLogoutInhibited(false);
    fail(restartPolicy_->giveUpMessage(status));
    return;
  }
}

// One alert at a time: a failure while the alert is up puts its message on it.
void AppDelegate::fail(const std::string& message, Retry retry) {
  setGateOpen(false);
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  auto answer = [weak, message, retry](int response) {
    auto self = weak.lock();
    if (!self) {
      return;
    }
    if (response == 0 && retry == Retry::restartService) {
      self->restartService();
    } else if (response == 0) {
      // One fresh attempt, in place of any restart still waiting.
      self->bringUp("Try Again");
    } else if (response == 1) {
      self->openLog();
      self->fail(message, retry);
    } else if (response == 2) {
      // The quit confirmation decides, as for any other request to quit.
      self->platform_.ui->terminate();
    } else {
      // Dismissed without a button (Escape, the window manager): no
      // answer, so the alert stands again.
      self->fail(message, retry);
    }
  };
  alert_->show(ApplicationAlert::Kind::couldNotStart, couldNotStartAlert(message),
               std::move(answer));
}

void AppDelegate::restartService() {
  platform_.log->note("service: a restart is asked for");
  setGateOpen(false);
  pageGoes();
  service_->restart();
}

platform::NavigationDecision AppDelegate::decidePolicyForNavigation(const std::string& url) {
  platform::NavigationAction action;
  action.url = url;
  return decidePolicyForNavigationAction(action);
}

// A link that leads nowhere is worth a line for whoever supports the user;
// the address itself is not written (it may carry what is not ours to log),
// its scheme is. Web addresses went to the browser, and about: is the view's
// own empty page and the inner frames'; blob: and data: are the page's own.
void AppDelegate::noteRefusedNavigation(const std::string& url) {
  const auto parsed = protocol::Url::parse(url);
  if (parsed && (parsed->isWeb() || parsed->scheme() == "about" || parsed->scheme() == "blob" ||
                 parsed->scheme() == "data")) {
    return;
  }
  platform_.log->note(parsed
                          ? "page: a navigation to a " + parsed->scheme() + ": address was refused"
                          : std::string("page: a navigation to an unreadable address was refused"));
}

// A load replaced by another navigation, or stopped by the navigation policy,
// is not a failure of the backend and needs no recovery.
void AppDelegate::didFailProvisionalNavigation(platform::LoadFailure why) {
  if (why != platform::LoadFailure::failed) {
    return;
  }
  // The ping may take 1.7 seconds: it runs off the main thread.
  offMain_.run(
      weak_from_this(), [service = service_] { return service->isAlive(); },
      [](AppDelegate& self, bool alive) {
        if (alive) {
          self.retryFailedLoad();
        } else {
          self.bringUp("a page load failed and the service does not answer");
        }
      });
}

// Each failure schedules its own reload; none is merged with another.
void AppDelegate::retryFailedLoad() {
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  platform_.main->postAfter(reloadAfterFailureSeconds, [weak] {
    if (auto self = weak.lock()) {
      self->reload();
    }
  });
}

void AppDelegate::didCommitNavigation() {
  pageGoes(); // a dialog still open belongs to the page that went
  lifecycle_->pageShown();
  // A page that came after all ends the alert that said it would not.
  if (lifecycle_->state() == ServiceLifecycle::State::up) {
    alert_->close(ApplicationAlert::Kind::couldNotStart);
  }
}

void AppDelegate::webProcessTerminated(platform::WebProcessEnd why) {
  pageGoes(); // its dialogs went with it
  pageRecovery_->webProcessEnded(why);
}

void AppDelegate::didReceiveScriptMessage(const platform::ScriptMessage& message) {
  const auto verdict = scriptRequest(message);
  if (!verdict.request) {
    platform_.log->note("page: a message was dropped: " + std::string(verdict.refused));
    return;
  }
  switch (*verdict.request) {
  case ScriptRequest::openLog:
    openLog();
    break;
  case ScriptRequest::openHome:
    openHome();
    break;
  case ScriptRequest::restartService:
    restartService();
    break;
  }
}

void AppDelegate::runJavaScriptAlertPanel(const std::string& message,
                                          std::function<void()> completion) {
  pageDialogs_->alert(message, std::move(completion));
}

} // namespace tarvo
