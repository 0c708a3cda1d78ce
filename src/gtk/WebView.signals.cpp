// What the web view reports, turned into calls of the delegate.
#include "gtk/WebView.h"

#include "gtk/ExtensionWire.h"

#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace tarvo::gtk {

namespace {

platform::LoadFailure classify(const GError* error, bool timedOut) {
  if (error == nullptr) {
    return platform::LoadFailure::failed;
  }
  if (error->domain == WEBKIT_NETWORK_ERROR && error->code == WEBKIT_NETWORK_ERROR_CANCELLED) {
    return timedOut ? platform::LoadFailure::failed : platform::LoadFailure::replaced;
  }
  if (error->domain == WEBKIT_POLICY_ERROR &&
      error->code == WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) {
    return platform::LoadFailure::cancelledByPolicy;
  }
  return platform::LoadFailure::failed;
}

} // namespace

gboolean WebView::onDecidePolicy(WebKitWebView* /*view*/, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self) {
  auto* me = static_cast<WebView*>(self);
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    return me->decideResponse(WEBKIT_RESPONSE_POLICY_DECISION(decision));
  }
  const bool newWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
  const auto action = me->navigationAction(webkit_navigation_policy_decision_get_navigation_action(
                                               WEBKIT_NAVIGATION_POLICY_DECISION(decision)),
                                           newWindow);
  // While the view is being emptied, the empty document is the one load
  // that goes, without asking the delegate; nothing of the page's may take
  // its place meanwhile.
  if (me->clearing()) {
    if (!newWindow && action.url == blankURI) {
      webkit_policy_decision_use(decision);
    } else {
      webkit_policy_decision_ignore(decision);
    }
    return TRUE;
  }
  me->downloads_->noteNavigation(action.url, action.userGesture);
  auto delegate = me->delegate_.lock();
  const auto policy = delegate ? delegate->decidePolicyForNavigationAction(action)
                               : platform::NavigationDecision::cancel;
  // A new window is never opened: an address the delegate keeps loads in
  // this view instead; whatever else it wanted done, it has done (a browser
  // link) or dropped.
  if (policy == platform::NavigationDecision::allow && !newWindow) {
    webkit_policy_decision_use(decision);
  } else {
    webkit_policy_decision_ignore(decision);
    if (policy == platform::NavigationDecision::allow) {
      me->loadInstead(action.url);
    }
  }
  return TRUE;
}

gboolean WebView::onLoadFailed(WebKitWebView* /*view*/, WebKitLoadEvent event, gchar* /*uri*/,
                               GError* error, gpointer self) {
  auto* me = static_cast<WebView*>(self);
  const bool cancelled =
      g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED);
  // A cancelled load may be an older one that a newer load() replaced: the
  // newer load keeps its timer. Any other failure is the newest load's.
  const bool timedOut = cancelled && std::exchange(me->timedOut_, false);
  // An error answer the policy refused is a failed load, not the policy's own stop.
  const bool errorAnswer =
      std::exchange(me->failedAnswer_, false) &&
      g_error_matches(error, WEBKIT_POLICY_ERROR,
                      WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE);
  if (!cancelled) {
    me->disarmTimeout();
  }
  // Only a load that failed before the new page began to arrive is reported.
  if (event == WEBKIT_LOAD_STARTED || event == WEBKIT_LOAD_REDIRECTED) {
    const platform::LoadFailure why =
        errorAnswer ? platform::LoadFailure::failed : classify(error, timedOut);
    if (why == platform::LoadFailure::failed) {
      me->afterBlank_.clear(); // the empty document failed: the load ends here
    }
    if (auto delegate = me->delegate_.lock()) {
      delegate->didFailProvisionalNavigation(why);
    }
  }
  return TRUE; // never WebKit's error page
}

gboolean WebView::onUserMessage(WebKitWebView* view, WebKitUserMessage* message, gpointer self) {
  const char* name = webkit_user_message_get_name(message);
  if (name == nullptr || std::strcmp(name, ExtensionWire::messageName) != 0) {
    return FALSE;
  }
  GVariant* parameters = webkit_user_message_get_parameters(message);
  if (parameters == nullptr ||
      !g_variant_is_of_type(parameters, G_VARIANT_TYPE(ExtensionWire::messageType))) {
    return TRUE; // ours by name but malformed: dropped
  }
  gboolean mainFrame = FALSE;
  const char* frameURL = nullptr;
  const char* body = nullptr;
  g_variant_get(parameters, ExtensionWire::messageFields, &mainFrame, &frameURL, &body);

  auto* me = static_cast<WebView*>(self);
  platform::ScriptMessage script;
  script.fromMainView = view == me->view_.get();
  script.mainFrame = mainFrame != FALSE;
  script.frameURL = frameURL;
  script.bodyJSON = body;
  if (auto delegate = me->delegate_.lock()) {
    delegate->didReceiveScriptMessage(script);
  }
  return TRUE;
}

} // namespace tarvo::gtk
