// What the page asks of its window besides its own pages: new windows,
// answers that are not a page, downloads and notifications, each put to the
// delegate.
#include "gtk/WebView.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace tarvo::gtk {

namespace {

struct Deferred {
  GWeakRef view;
  std::string url;
};

gboolean loadDeferred(gpointer data) {
  auto* deferred = static_cast<Deferred*>(data);
  if (auto* view = static_cast<WebKitWebView*>(g_weak_ref_get(&deferred->view))) {
    webkit_web_view_load_uri(view, deferred->url.c_str());
    g_object_unref(view);
  }
  return G_SOURCE_REMOVE;
}

void freeDeferred(gpointer data) {
  auto* deferred = static_cast<Deferred*>(data);
  g_weak_ref_clear(&deferred->view);
  delete deferred;
}

// "http://127.0.0.1:7810", as the engine writes an origin; empty for none.
std::string originOf(const std::string& url) {
  if (url.empty()) {
    return {};
  }
  WebKitSecurityOrigin* origin = webkit_security_origin_new_for_uri(url.c_str());
  gchar* text = origin != nullptr ? webkit_security_origin_to_string(origin) : nullptr;
  std::string out = text != nullptr ? text : "";
  g_free(text);
  if (origin != nullptr) {
    webkit_security_origin_unref(origin);
  }
  return out;
}

struct Withdrawal {
  std::weak_ptr<DesktopNotifications> desktop;
  DesktopNotifications::Handle handle;
};

void onPageClosed(WebKitNotification* /*notification*/, gpointer data) {
  const auto* withdrawal = static_cast<Withdrawal*>(data);
  if (auto desktop = withdrawal->desktop.lock()) {
    desktop->withdraw(withdrawal->handle);
  }
}

void freeWithdrawal(gpointer data, GClosure* /*closure*/) {
  delete static_cast<Withdrawal*>(data);
}

} // namespace

void WebView::connectPageRequests() {
  WebKitWebView* view = view_.get();
  g_signal_connect(view, "permission-request", G_CALLBACK(onPermissionRequest), this);
  g_signal_connect(view, "show-notification", G_CALLBACK(onShowNotification), this);
  g_signal_connect(view, "context-menu", G_CALLBACK(onContextMenu), this);
  // Before the first web process starts, which is what asks.
  g_signal_connect(context_.get(), "initialize-notification-permissions",
                   G_CALLBACK(onInitializeNotifications), this);
}

platform::NavigationAction WebView::navigationAction(WebKitNavigationAction* action,
                                                     bool newWindow) const {
  platform::NavigationAction out;
  WebKitURIRequest* request =
      action != nullptr ? webkit_navigation_action_get_request(action) : nullptr;
  const char* uri = request != nullptr ? webkit_uri_request_get_uri(request) : nullptr;
  out.url = uri != nullptr ? uri : "";
  out.pageURL = this->uri();
  out.userGesture = action != nullptr && webkit_navigation_action_is_user_gesture(action) != FALSE;
  out.newWindow = newWindow;
  return out;
}

// After the engine has finished with the decision that asked for it.
void WebView::loadInstead(const std::string& url) {
  auto* deferred = new Deferred{{}, url};
  g_weak_ref_init(&deferred->view, view_.get());
  g_idle_add_full(G_PRIORITY_DEFAULT, loadDeferred, deferred, freeDeferred);
}

// window.open(): never a second view. It still returns null to the page.
GtkWidget* WebView::onCreate(WebKitWebView* /*view*/, WebKitNavigationAction* action,
                             gpointer self) {
  auto* me = static_cast<WebView*>(self);
  const auto request = me->navigationAction(action, true);
  auto delegate = me->delegate_.lock();
  if (delegate &&
      delegate->decidePolicyForNavigationAction(request) == platform::NavigationDecision::allow) {
    me->loadInstead(request.url);
  }
  return nullptr;
}

gboolean WebView::decideResponse(WebKitResponsePolicyDecision* decision) {
  WebKitURIResponse* response = webkit_response_policy_decision_get_response(decision);
  auto delegate = delegate_.lock();
  if (response == nullptr || !delegate) {
    return FALSE;
  }
  platform::Response answer;
  const char* uri = webkit_uri_response_get_uri(response);
  const char* mime = webkit_uri_response_get_mime_type(response);
  answer.url = uri != nullptr ? uri : "";
  answer.mimeType = mime != nullptr ? mime : "";
  answer.status = static_cast<int>(webkit_uri_response_get_status_code(response));
  answer.mainFrame = webkit_response_policy_decision_is_main_frame_main_resource(decision) != FALSE;
  auto* policy = WEBKIT_POLICY_DECISION(decision);
  switch (delegate->decidePolicyForResponse(answer)) {
  case platform::ResponseDecision::asTheEngineChooses:
    return FALSE;
  case platform::ResponseDecision::download:
    webkit_policy_decision_download(policy);
    return TRUE;
  case platform::ResponseDecision::failLoad:
    failedAnswer_ = true;
    webkit_policy_decision_ignore(policy);
    return TRUE;
  case platform::ResponseDecision::refuse:
    webkit_policy_decision_ignore(policy);
    return TRUE;
  }
  return FALSE;
}

void WebView::cancelDownloads() {
  downloads_->cancelAll();
}

void WebView::showNotificationsWith(std::shared_ptr<DesktopNotifications> notifications) {
  notifications_ = std::move(notifications);
}

// Pages of these origins find permission granted from their first script on.
void WebView::onInitializeNotifications(WebKitWebContext* context, gpointer self) {
  auto delegate = static_cast<WebView*>(self)->delegate_.lock();
  const auto origins = delegate ? delegate->notificationOrigins() : std::vector<std::string>();
  GList* allowed = nullptr;
  for (const auto& origin : origins) {
    allowed = g_list_append(allowed, webkit_security_origin_new_for_uri(origin.c_str()));
  }
  webkit_web_context_initialize_notification_permissions(context, allowed, nullptr);
  g_list_free_full(allowed, reinterpret_cast<GDestroyNotify>(webkit_security_origin_unref));
}

// A page that asks all the same is answered without asking the user, by
// the origin it shows. Other permissions keep the engine's answer (no).
gboolean WebView::onPermissionRequest(WebKitWebView* /*view*/, WebKitPermissionRequest* request,
                                      gpointer self) {
  if (!WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) {
    return FALSE;
  }
  auto* me = static_cast<WebView*>(self);
  auto delegate = me->delegate_.lock();
  const auto origins = delegate ? delegate->notificationOrigins() : std::vector<std::string>();
  const std::string origin = originOf(me->uri());
  if (!origin.empty() && std::find(origins.begin(), origins.end(), origin) != origins.end()) {
    webkit_permission_request_allow(request);
  } else {
    webkit_permission_request_deny(request);
  }
  return TRUE;
}

gboolean WebView::onShowNotification(WebKitWebView* /*view*/, WebKitNotification* notification,
                                     gpointer self) {
  auto* me = static_cast<WebView*>(self);
  if (!me->notifications_) {
    return TRUE; // nowhere to show it: dropped, never the engine's own way
  }
  const char* title = webkit_notification_get_title(notification);
  const char* body = webkit_notification_get_body(notification);
  auto kept = GObjectPtr<WebKitNotification>::retain(notification);
  std::weak_ptr<platform::Delegate> delegate = me->delegate_;
  const auto handle = me->notifications_->send(title != nullptr ? title : "",
                                               body != nullptr ? body : "", [kept, delegate] {
                                                 webkit_notification_clicked(kept.get());
                                                 if (auto shell = delegate.lock()) {
                                                   shell->showWindow();
                                                 }
                                               });
  // The page closed it: it goes from the desktop too.
  g_signal_connect_data(notification, "closed", G_CALLBACK(onPageClosed),
                        new Withdrawal{me->notifications_, handle}, freeWithdrawal,
                        GConnectFlags(0));
  return TRUE;
}

} // namespace tarvo::gtk
