#include "shell/AppDelegate.h"

#include "protocol/Wire.h"
#include "shell/FileUrl.h"
#include "shell/MainMenu.h"
#include "shell/ScriptBridge.h"
#include "shell/Texts.h"

#include <utility>

namespace tarvo {
namespace {

constexpr double pageTimeoutSeconds = 60;
constexpr double reloadAfterFailureSeconds = 1.5;

} // namespace

std::shared_ptr<AppDelegate> AppDelegate::make(std::shared_ptr<Backend> service,
                                               Platform platform) {
  auto self =
      std::shared_ptr<AppDelegate>(new AppDelegate(std::move(service), std::move(platform)));
  std::weak_ptr<AppDelegate> weak = self;
  self->restartPolicy_ =
      RestartPolicy::make(self->service_, self->offMain_, self->platform_.main, [weak] {
        if (auto delegate = weak.lock()) {
          delegate->bringUp();
        }
      });
  return self;
}

AppDelegate::AppDelegate(std::shared_ptr<Backend> service, Platform platform)
    : service_(std::move(service)), platform_(std::move(platform)),
      offMain_(platform_.background, platform_.main),
      navigationPolicy_(platform_.ui, platform_.main, platform_.log),
      status_(StatusLine::make(platform_.main, platform_.ui)),
      quitConfirmation_(QuitConfirmation::make(
          service_, OffMain(platform_.quit ? platform_.quit : platform_.background, platform_.main),
          platform_.ui, status_)),
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
  bringUp();
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
void AppDelegate::bringUp() {
  status_->startBegins();
  setGateOpen(false);
  offMain_.run(
      weak_from_this(), [service = service_] { return service->start(); },
      [](AppDelegate& self, std::optional<std::string> message) {
        if (message) {
          self.fail(*message);
          return;
        }
        // The child may have died since start() saw it on the port; its
        // exit is on the way, and the gate stays closed.
        self.setGateOpen(self.service_->isMine());
        self.setLogoutInhibited(true);
        self.settle();
        self.status_->startSucceeded();
        self.reload();
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
  }
}

void AppDelegate::serviceDied(std::int32_t status) {
  setGateOpen(false);
  pageGoes();
  switch (restartPolicy_->serviceDied()) {
  case RestartPolicy::Verdict::ignored:
    return;
  case RestartPolicy::Verdict::restartScheduled:
    setLogoutInhibited(false);
    status_->restartScheduled(RestartPolicy::restartDelay(restarts()));
    return;
  case RestartPolicy::Verdict::gaveUp:
    setLogoutInhibited(false);
    fail(restartPolicy_->giveUpMessage(status));
    return;
  }
}

void AppDelegate::fail(const std::string& message) {
  status_->startFailed();
  setGateOpen(false);
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  auto answer = [weak, message](int response) {
    auto self = weak.lock();
    if (!self) {
      return;
    }
    if (response == 0) {
      self->bringUp();
    } else if (response == 1) {
      self->openLog();
      self->fail(message);
    } else if (response == 2) {
      // The quit confirmation decides, as for any other request to quit.
      self->platform_.ui->terminate();
    } else {
      // Dismissed without a button (Escape, the window manager): no
      // answer, so the alert stands again.
      self->fail(message);
    }
  };
  platform_.ui->showAlert(couldNotStartAlert(message), status_->whileAlertUp(std::move(answer)));
}

void AppDelegate::restartService() {
  setGateOpen(false);
  pageGoes();
  service_->restart();
}

platform::NavigationDecision AppDelegate::decidePolicyForNavigation(const std::string& url) {
  platform::NavigationAction action;
  action.url = url;
  return decidePolicyForNavigationAction(action);
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
          self.bringUp();
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
  status_->pageShown();
}

void AppDelegate::didReceiveScriptMessage(const platform::ScriptMessage& message) {
  const auto request = scriptRequest(message);
  if (!request) {
    return;
  }
  switch (*request) {
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
