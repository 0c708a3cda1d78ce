#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvo::platform {

enum class NavigationDecision { allow, cancel };

// A navigation as the view reports it.
struct NavigationAction {
  std::string url;
  std::string pageURL;      // the address the view shows (its main frame)
  bool userGesture = false; // a click or a key of the user started it
  bool newWindow = false;   // window.open() or a target naming another window
};

// The answer of a server to a navigation, before its content is shown.
struct Response {
  std::string url;
  std::string mimeType;
  int status = 0;
  bool mainFrame = false; // the main frame's own document
};

enum class ResponseDecision {
  asTheEngineChooses, // shown, or saved when the server says it is an attachment
  download,
  refuse,
  failLoad, // refused, and the load reported as failed
};

// A download the view is about to start. `id` names it in every later call.
struct DownloadRequest {
  std::uint64_t id = 0;
  std::string url;
  std::string pageURL;
  bool userGesture = false;
};

// The items the view offers in its context menu, as the shell tells them apart.
enum class PageCommand {
  separator,
  cut,
  copy,
  paste,
  deleteSelection,
  selectAll,
  copyLinkLocation,
  copyImage,
  copyImageAddress,
  spellingGuess,
  noGuessesFound,
  ignoreSpelling,
  learnSpelling,
  inputMethods,
  unicode,
  insertEmoji,
  inspectElement,
  other, // anything else the engine offers
};

struct ContextMenuRequest {
  std::vector<PageCommand> items; // as the engine offers them, in order
  std::string linkURL;            // the link under the pointer; empty when none
  std::string pageURL;
};

// What the menu shows: the engine's items kept, in their order, and at its
// top, when `browserLink` is not empty, an item titled `browserTitle` that
// hands the link to the navigation policy as a click would.
struct ContextMenuPlan {
  std::vector<std::size_t> kept; // indexes into ContextMenuRequest::items
  std::string browserLink;
  std::string browserTitle;
};

struct ConsoleMessage {
  std::string level; // "log", "info", "warn", "error", "debug"
  std::string text;
  std::string source; // where it came from (a script's address and line), if known
};

// What the page asks of its window, beyond loading the backend's own pages.
// Every call arrives on the main thread. A delegate that takes no part
// refuses: no navigation, no download, no answer but "no", no menu.
class PageDelegate {
public:
  virtual ~PageDelegate() = default;

  // Answered before it returns. For a new window, allow means: load the
  // address in the one view.
  [[nodiscard]] virtual NavigationDecision
  decidePolicyForNavigationAction(const NavigationAction& /*action*/) {
    return NavigationDecision::cancel;
  }
  [[nodiscard]] virtual ResponseDecision decidePolicyForResponse(const Response& /*response*/) {
    return ResponseDecision::asTheEngineChooses;
  }

  // False cancels the download before anything is written.
  [[nodiscard]] virtual bool decideDownload(const DownloadRequest& /*request*/) { return false; }
  // The file the download is written to, under the name the page suggests;
  // empty cancels it.
  [[nodiscard]] virtual std::string downloadDestination(std::uint64_t /*id*/,
                                                        const std::string& /*suggestedName*/) {
    return {};
  }
  virtual void downloadFinished(std::uint64_t /*id*/) {}
  // Also after a cancellation; `reason` is the engine's words.
  virtual void downloadFailed(std::uint64_t /*id*/, const std::string& /*reason*/) {}

  // The page stays suspended until `completion` runs.
  virtual void runJavaScriptConfirmPanel(const std::string& /*message*/,
                                         std::function<void(bool)> completion) {
    const auto answer = std::move(completion);
    answer(false);
  }
  // nullopt is the page's null (the user cancelled).
  virtual void
  runJavaScriptTextInputPanel(const std::string& /*message*/, const std::string& /*defaultText*/,
                              std::function<void(std::optional<std::string>)> completion) {
    const auto answer = std::move(completion);
    answer(std::nullopt);
  }

  [[nodiscard]] virtual ContextMenuPlan contextMenu(const ContextMenuRequest& /*request*/) {
    return {};
  }

  // The origins ("http://127.0.0.1:7810") whose pages may show desktop
  // notifications without asking; every other origin is refused.
  [[nodiscard]] virtual std::vector<std::string> notificationOrigins() { return {}; }

  // Only while the developer tools are on.
  virtual void didReceiveConsoleMessage(const ConsoleMessage& /*message*/) {}
};

} // namespace tarvo::platform
