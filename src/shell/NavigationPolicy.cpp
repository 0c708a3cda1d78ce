#include "shell/NavigationPolicy.h"

#include "protocol/Wire.h"

#include <utility>

namespace tarvo {

NavigationPolicy::NavigationPolicy(std::shared_ptr<platform::Ui> ui) : ui_(std::move(ui)) {}

platform::NavigationDecision NavigationPolicy::decidePolicyForNavigation(const std::string& url) {
  switch (decide(url)) {
  case Decision::allow:
    return platform::NavigationDecision::allow;
  case Decision::openInBrowser:
    ui_->openURL(url);
    return platform::NavigationDecision::cancel;
  case Decision::cancel:
    break;
  }
  return platform::NavigationDecision::cancel;
}

NavigationPolicy::Decision NavigationPolicy::decide(std::string_view url) {
  const auto parsed = protocol::Url::parse(url);
  if (!parsed || !parsed->isWeb()) {
    return Decision::cancel;
  }
  return isBackendOrigin(*parsed) ? Decision::allow : Decision::openInBrowser;
}

bool NavigationPolicy::isBackendOrigin(const protocol::Url& url) {
  return url.scheme() == "http" && url.twoSlashes() && url.host() == "127.0.0.1" &&
         url.effectivePort() == protocol::wire::port;
}

} // namespace tarvo
