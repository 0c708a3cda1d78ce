// What the web view reports, turned into calls of the delegate.
#include "gtk/WebView.h"

#include "gtk/ExtensionWire.h"

#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace tarvo::gtk {

namespace {

std::string requestURI(WebKitPolicyDecision* decision) {
  WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  WebKitURIRequest* request =
      action != nullptr ? webkit_navigation_action_get_request(action) : nullptr;
  const char* uri = request != nullptr ? webkit_uri_request_get_uri(request) : nullptr;
  return uri != nullptr ? uri : "";
}

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

// An alert of the page, open until the delegate's completion runs; if the
// completion is dropped without running, the page is let go all the same.
class OpenDialog {
public:
  explicit OpenDialog(WebKitScriptDialog* dialog) : dialog_(webkit_script_dialog_ref(dialog)) {}
  ~OpenDialog() { close(); }
  OpenDialog(const OpenDialog&) = delete;
  OpenDialog& operator=(const OpenDialog&) = delete;
  void close() {
    if (dialog_ != nullptr) {
      webkit_script_dialog_close(dialog_);
      webkit_script_dialog_unref(std::exchange(dialog_, nullptr));
    }
  }

private:
  WebKitScriptDialog* dialog_;
};

} // namespace

gboolean WebView::onDecidePolicy(WebKitWebView* /*view*/, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
      type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    return FALSE; // responses: WebKit's own choice
  }
  auto* me = static_cast<WebView*>(self);
  // While the view is being emptied, the empty document is the one load
  // that goes, without asking the delegate; nothing of the page's may take
  // its place meanwhile.
  if (me->clearing()) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && requestURI(decision) == blankURI) {
      webkit_policy_decision_use(decision);
    } else {
      webkit_policy_decision_ignore(decision);
    }
    return TRUE;
  }
  auto delegate = me->delegate_.lock();
  const auto policy = delegate ? delegate->decidePolicyForNavigation(requestURI(decision))
                               : platform::NavigationDecision::cancel;
  // A new window is never opened: whatever the delegate wanted done with
  // the address, it has done (a browser link) or dropped.
  if (policy == platform::NavigationDecision::allow &&
      type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    webkit_policy_decision_use(decision);
  } else {
    webkit_policy_decision_ignore(decision);
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
  if (!cancelled) {
    me->disarmTimeout();
  }
  // Only a load that failed before the new page began to arrive is reported.
  if (event == WEBKIT_LOAD_STARTED || event == WEBKIT_LOAD_REDIRECTED) {
    const platform::LoadFailure why = classify(error, timedOut);
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

gboolean WebView::onScriptDialog(WebKitWebView* /*view*/, WebKitScriptDialog* dialog,
                                 gpointer self) {
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
  case WEBKIT_SCRIPT_DIALOG_ALERT: {
    auto delegate = static_cast<WebView*>(self)->delegate_.lock();
    if (!delegate) {
      return TRUE; // answered at once: the page goes on
    }
    const char* text = webkit_script_dialog_get_message(dialog);
    auto open = std::make_shared<OpenDialog>(dialog);
    delegate->runJavaScriptAlertPanel(text != nullptr ? text : "", [open] { open->close(); });
    return TRUE;
  }
  case WEBKIT_SCRIPT_DIALOG_CONFIRM:
    // No confirmation panel: the page reads "no".
    webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
    return TRUE;
  case WEBKIT_SCRIPT_DIALOG_PROMPT:
    // No text-input panel: left unset, the page reads null.
    return TRUE;
  case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
    // A page may not hold the window on itself.
    webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
    return TRUE;
  }
  return TRUE;
}

GtkWidget* WebView::onCreate(WebKitWebView* /*view*/, WebKitNavigationAction* /*action*/,
                             gpointer /*self*/) {
  return nullptr; // no second web view, ever
}

} // namespace tarvo::gtk
