#include "shell/NavigationPolicy.h"

#include "protocol/Wire.h"

#include <string>
#include <utility>

namespace tarvo {
namespace {

// The address inside "blob:<origin>/<id>".
std::optional<protocol::Url> blobOrigin(std::string_view url) {
  const std::size_t colon = url.find(':');
  return colon == std::string_view::npos ? std::nullopt
                                         : protocol::Url::parse(url.substr(colon + 1));
}

bool isBlobOrData(const std::optional<protocol::Url>& url) {
  return url && (url->scheme() == "blob" || url->scheme() == "data");
}

bool isHtml(std::string_view mimeType) {
  return mimeType == "text/html" || mimeType == "application/xhtml+xml";
}

} // namespace

NavigationPolicy::NavigationPolicy(std::shared_ptr<platform::Ui> ui,
                                   std::shared_ptr<platform::MainQueue> main,
                                   std::shared_ptr<platform::Log> log)
    : ui_(std::move(ui)), log_(std::move(log)),
      unasked_(RateLimit::make(std::move(main), 1, browserPauseSeconds)) {}

platform::NavigationDecision
NavigationPolicy::decidePolicyForNavigation(const platform::NavigationAction& action) {
  switch (decide(action)) {
  case Decision::allow:
    return platform::NavigationDecision::allow;
  case Decision::openInBrowser:
    openInBrowser(action);
    return platform::NavigationDecision::cancel;
  case Decision::cancel:
    break;
  }
  return platform::NavigationDecision::cancel;
}

void NavigationPolicy::openInBrowser(const platform::NavigationAction& action) {
  if (action.userGesture || unasked_->take()) {
    ui_->openURL(action.url);
  } else if (log_) {
    log_->note("not opened in the browser, as no click asked for it and another such address "
               "was opened less than " +
               std::to_string(static_cast<int>(browserPauseSeconds)) + " s ago: " + action.url);
  }
}

NavigationPolicy::Decision NavigationPolicy::decide(std::string_view url) {
  const auto parsed = protocol::Url::parse(url);
  if (!parsed || !parsed->isWeb()) {
    return Decision::cancel;
  }
  return isBackendOrigin(*parsed) ? Decision::allow : Decision::openInBrowser;
}

// A blob: or data: address may become a download of the backend's page;
// whether it does shows only later, and a document of it is refused then.
NavigationPolicy::Decision NavigationPolicy::decide(const platform::NavigationAction& action) {
  if (isBlobOrData(protocol::Url::parse(action.url))) {
    return mayDownload(action.url, action.pageURL) ? Decision::allow : Decision::cancel;
  }
  return decide(action.url);
}

bool NavigationPolicy::isBackendOrigin(const protocol::Url& url) {
  return url.scheme() == "http" && url.twoSlashes() && url.host() == "127.0.0.1" &&
         url.effectivePort() == protocol::wire::port;
}

bool NavigationPolicy::isBackendPage(std::string_view url) {
  const auto parsed = protocol::Url::parse(url);
  return parsed && isBackendOrigin(*parsed);
}

std::string NavigationPolicy::backendOrigin() {
  return "http://127.0.0.1:" + std::to_string(protocol::wire::port);
}

bool NavigationPolicy::mayDownload(std::string_view url, std::string_view pageURL) {
  const auto parsed = protocol::Url::parse(url);
  if (!parsed) {
    return false;
  }
  if (parsed->scheme() == "blob") {
    const auto origin = blobOrigin(url);
    return origin && isBackendOrigin(*origin) && isBackendPage(pageURL);
  }
  if (parsed->scheme() == "data") {
    return isBackendPage(pageURL);
  }
  return isBackendOrigin(*parsed);
}

platform::ResponseDecision NavigationPolicy::decideResponse(const platform::Response& response) {
  const auto parsed = protocol::Url::parse(response.url);
  if (isBlobOrData(parsed)) {
    return platform::ResponseDecision::refuse;
  }
  if (!response.mainFrame || !parsed || !isBackendOrigin(*parsed) || isHtml(response.mimeType)) {
    return platform::ResponseDecision::asTheEngineChooses;
  }
  // 204 and 205 carry no content to save: the engine stays where it is.
  if (response.status == 204 || response.status == 205) {
    return platform::ResponseDecision::asTheEngineChooses;
  }
  const bool success = response.status >= 200 && response.status < 300;
  return success ? platform::ResponseDecision::download : platform::ResponseDecision::failLoad;
}

} // namespace tarvo
