#include "shell/AppDelegate.h"

#include "shell/NavigationPolicy.h"
#include "shell/ScriptBridge.h"

namespace tarvo {
namespace {

constexpr double reloadAfterFailureSeconds = 1.5;

} // namespace

platform::NavigationPolicy AppDelegate::decidePolicyForNavigation(const std::string& url) {
  switch (decideNavigation(url)) {
  case NavigationDecision::allow:
    return platform::NavigationPolicy::allow;
  case NavigationDecision::openInBrowser:
    platform_.ui->openURL(url);
    return platform::NavigationPolicy::cancel;
  case NavigationDecision::cancel:
    break;
  }
  return platform::NavigationPolicy::cancel;
}

// A load replaced by another navigation, or stopped by the policy above, is
// not a failure of the backend and needs no recovery.
void AppDelegate::didFailProvisionalNavigation(platform::LoadFailure why) {
  if (why != platform::LoadFailure::failed) {
    return;
  }
  // The ping may take 1.7 seconds: it runs off the main thread.
  askAlive([](AppDelegate& self, bool alive) {
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
    service_->restart();
    break;
  }
}

void AppDelegate::runJavaScriptAlertPanel(const std::string& message,
                                          std::function<void()> completion) {
  // The page stays suspended until the completion runs, and it must run once
  // only, however often the platform reports the sheet's end.
  auto pending = std::make_shared<std::function<void()>>(std::move(completion));
  platform_.ui->showSheet({"Tarvo Studio", message, {"OK"}, 0}, [pending](int /*response*/) {
    if (*pending) {
      auto run = std::move(*pending);
      *pending = nullptr;
      run();
    }
  });
}

} // namespace tarvo
