#pragma once

#include "platform/Delegate.h"
#include "platform/Log.h"
#include "platform/Queues.h"
#include "platform/Ui.h"
#include "protocol/Url.h"
#include "shell/RateLimit.h"

#include <memory>
#include <string>
#include <string_view>

namespace tarvo {

// Which addresses the web view keeps: the backend's own origin stays in the
// view, other web addresses go to the user's browser, and everything else is
// refused without opening anything. A blob: or data: address passes only
// from the backend's own page, for a download; shown as a document it is
// refused when its response comes.
class NavigationPolicy {
public:
  enum class Decision { allow, openInBrowser, cancel };

  // The browser is opened at most once in this time for requests no user
  // gesture started (frames, scripts), so a page cannot flood it.
  static constexpr double browserPauseSeconds = 5;

  NavigationPolicy(std::shared_ptr<platform::Ui> ui, std::shared_ptr<platform::MainQueue> main,
                   std::shared_ptr<platform::Log> log);

  // The answer to the view, once a web address of elsewhere has been handed
  // to the browser. A new window is never opened: allow means the address
  // loads in the one view.
  [[nodiscard]] platform::NavigationDecision
  decidePolicyForNavigation(const platform::NavigationAction& action);

  [[nodiscard]] static Decision decide(std::string_view url);
  // As decide, for an action that knows the page it comes from.
  [[nodiscard]] static Decision decide(const platform::NavigationAction& action);
  // The backend's own origin: http, host exactly 127.0.0.1, port 7810.
  [[nodiscard]] static bool isBackendOrigin(const protocol::Url& url);
  [[nodiscard]] static bool isBackendPage(std::string_view url);
  // "http://127.0.0.1:7810", as an engine writes an origin.
  [[nodiscard]] static std::string backendOrigin();
  // Downloads come from the backend's origin only: its own addresses, its
  // blob: addresses, and data: from its own page.
  [[nodiscard]] static bool mayDownload(std::string_view url, std::string_view pageURL);
  // A successful answer of the backend to the main frame that is not a page
  // is saved; an error that is not a page is a failed load; a blob: or data:
  // document is refused; the rest is shown as the engine sees fit.
  [[nodiscard]] static platform::ResponseDecision
  decideResponse(const platform::Response& response);

private:
  void openInBrowser(const platform::NavigationAction& action);

  std::shared_ptr<platform::Ui> ui_;
  std::shared_ptr<platform::Log> log_;
  std::shared_ptr<RateLimit> unasked_; // browser opens no gesture started
};

} // namespace tarvo
