// What the page asks of its window: navigations with what the view knows of
// them, responses, downloads, questions, the context menu, notifications and
// the console. Each goes to the small class that decides it.
#include "shell/AppDelegate.h"

#include "shell/ContextMenuPolicy.h"
#include "shell/DeveloperMode.h"

#include <utility>

namespace tarvo {

void AppDelegate::pageGoes() {
  pageDialogs_->closeAll();
}

platform::NavigationDecision
AppDelegate::decidePolicyForNavigationAction(const platform::NavigationAction& action) {
  return navigationPolicy_.decidePolicyForNavigation(action);
}

platform::ResponseDecision
AppDelegate::decidePolicyForResponse(const platform::Response& response) {
  return NavigationPolicy::decideResponse(response);
}

bool AppDelegate::decideDownload(const platform::DownloadRequest& request) {
  return downloads_->begin(request);
}

std::string AppDelegate::downloadDestination(std::uint64_t id, const std::string& suggestedName) {
  return downloads_->destination(id, suggestedName);
}

void AppDelegate::downloadFinished(std::uint64_t id) {
  downloads_->finished(id);
}

void AppDelegate::downloadFailed(std::uint64_t id, const std::string& reason) {
  downloads_->failed(id, reason);
}

void AppDelegate::runJavaScriptConfirmPanel(const std::string& message,
                                            std::function<void(bool)> completion) {
  pageDialogs_->confirm(message, std::move(completion));
}

void AppDelegate::runJavaScriptTextInputPanel(
    const std::string& message, const std::string& defaultText,
    std::function<void(std::optional<std::string>)> completion) {
  pageDialogs_->prompt(message, defaultText, std::move(completion));
}

platform::ContextMenuPlan AppDelegate::contextMenu(const platform::ContextMenuRequest& request) {
  return contextMenuPlan(request, platform_.developer);
}

std::vector<std::string> AppDelegate::notificationOrigins() {
  return {NavigationPolicy::backendOrigin()};
}

void AppDelegate::didReceiveConsoleMessage(const platform::ConsoleMessage& message) {
  if (platform_.developer && platform_.log) {
    platform_.log->note(consoleLogLine(message, tokenOf(service_->windowURL().value_or(""))));
  }
}

} // namespace tarvo
