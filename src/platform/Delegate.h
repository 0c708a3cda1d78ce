#pragma once

#include "platform/PageDelegate.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tarvo::platform {

enum class TerminateReply { cancel = 0, now = 1, later = 2 };

// Why a load ended before any content of the new page arrived.
enum class LoadFailure {
  failed,            // a real failure: refused, reset, timed out, ...
  replaced,          // another navigation took its place
  cancelledByPolicy, // this application's own navigation policy stopped it
};

// A message the page posted to the handler "studio", as the web process
// reported it: which view and frame sent it, and the body as JSON text.
struct ScriptMessage {
  bool fromMainView = false; // sent by the application's one web view
  bool mainFrame = false;
  std::string frameURL; // the sending frame's address; its origin is judged
  std::string bodyJSON; // the posted value serialised as JSON; empty if none
};

// What the platform tells the shell. Every call arrives on the main thread.
class Delegate : public PageDelegate {
public:
  ~Delegate() override = default;

  virtual void applicationDidFinishLaunching() = 0;
  [[nodiscard]] virtual bool applicationShouldTerminateAfterLastWindowClosed() = 0;
  virtual bool applicationShouldHandleReopen(bool hasVisibleWindows) = 0;
  virtual void applicationWillTerminate() = 0;
  [[nodiscard]] virtual TerminateReply applicationShouldTerminate() = 0;

  // Delegate-targeted menu actions.
  virtual void showWindow() = 0;
  virtual void reload() = 0;
  virtual void openLog() = 0;
  virtual void openHome() = 0;
  virtual void restartService() = 0;

  // The web view. A navigation decision is made before this returns.
  [[nodiscard]] virtual NavigationDecision decidePolicyForNavigation(const std::string& url) = 0;
  virtual void didFailProvisionalNavigation(LoadFailure why) = 0;
  // The newest load's page has begun to show (its first content arrived).
  virtual void didCommitNavigation() = 0;
  virtual void didReceiveScriptMessage(const ScriptMessage& message) = 0;
  // The page stays suspended until `completion` runs.
  virtual void runJavaScriptAlertPanel(const std::string& message,
                                       std::function<void()> completion) = 0;
};

} // namespace tarvo::platform
