#pragma once

#include "platform/Delegate.h"
#include "platform/Ui.h"
#include "protocol/Url.h"

#include <memory>
#include <string>
#include <string_view>

namespace tarvo {

// Which addresses the web view keeps: the backend's own origin stays in the
// view, other web addresses go to the user's browser, and everything else is
// refused without opening anything.
class NavigationPolicy {
public:
  enum class Decision { allow, openInBrowser, cancel };

  explicit NavigationPolicy(std::shared_ptr<platform::Ui> ui);

  // The answer to the view, once a web address of elsewhere has been handed
  // to the browser.
  [[nodiscard]] platform::NavigationDecision decidePolicyForNavigation(const std::string& url);

  [[nodiscard]] static Decision decide(std::string_view url);
  // The backend's own origin: http, host exactly 127.0.0.1, port 7810.
  [[nodiscard]] static bool isBackendOrigin(const protocol::Url& url);

private:
  std::shared_ptr<platform::Ui> ui_;
};

} // namespace tarvo
