#pragma once

#include "gtk/DesktopNotifications.h"
#include "gtk/Downloads.h"
#include "gtk/GObjectPtr.h"
#include "gtk/WebsiteData.h"
#include "platform/Delegate.h"
#include "platform/Ui.h"

#include <webkit2/webkit2.h>

#include <filesystem>
#include <memory>
#include <string>

namespace tarvo::gtk {

// The one web view and its own web context: website data kept in memory only,
// no proxy, no caches, no back/forward gestures. Its signals become calls of
// the delegate; the decisions are the delegate's.
class WebView {
public:
  // `sandboxed`: the web processes run in WebKit's sandbox (see Sandbox.h).
  WebView(std::weak_ptr<platform::Delegate> delegate, std::filesystem::path extensions,
          bool sandboxed);
  ~WebView();
  WebView(const WebView&) = delete;
  WebView& operator=(const WebView&) = delete;

  [[nodiscard]] GtkWidget* widget() const { return GTK_WIDGET(view_.get()); }

  // The address shown or being loaded; empty when none.
  [[nodiscard]] std::string uri() const;
  // The page at `url`, fetched afresh into a new document. A document on
  // screen is first replaced by an empty one of our own, so it never sees
  // `url`: a navigation that differs only in its fragment would hand the
  // address to it. A load that has not begun to show its page after
  // `timeoutSeconds` is stopped and reported as failed.
  void load(const std::string& url, double timeoutSeconds);
  void runEditingCommand(const char* command);
  // While a sheet stands over the window, the page takes no input.
  void setBlocked(bool blocked);
  // Whether the page's requests to `port` go out; carried out in every web
  // process by the extension.
  void setBackendGate(int port, bool open);

  // What the page asks of its window (WebView.page.cpp and beside it).
  // The page's notifications go to the desktop through `notifications`.
  void showNotificationsWith(std::shared_ptr<DesktopNotifications> notifications);
  void cancelDownloads();
  // The web inspector inside the window (Ctrl+Shift+I, "Inspect Element"),
  // and the page's console messages told to the delegate.
  void enableDeveloperTools();
  void showInspector();

private:
  // The empty document of our own: shown before a load, and at start-up.
  static constexpr const char* blankURI = "about:blank";

  static void onInitializeExtensions(WebKitWebContext* context, gpointer self);
  [[nodiscard]] GVariant* gate() const; // floating
  static gboolean onDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static gboolean onLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri,
                               GError* error, gpointer self);
  static gboolean onUserMessage(WebKitWebView* view, WebKitUserMessage* message, gpointer self);
  static gboolean onScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog, gpointer self);
  static GtkWidget* onCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self);
  static gboolean onLoadTimeout(gpointer self);

  void connectPageRequests();
  [[nodiscard]] platform::NavigationAction navigationAction(WebKitNavigationAction* action,
                                                            bool newWindow) const;
  void loadInstead(const std::string& url);
  [[nodiscard]] gboolean decideResponse(WebKitResponsePolicyDecision* decision);
  static void onInitializeNotifications(WebKitWebContext* context, gpointer self);
  static gboolean onPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request,
                                      gpointer self);
  static gboolean onShowNotification(WebKitWebView* view, WebKitNotification* notification,
                                     gpointer self);
  static gboolean onContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                                WebKitHitTestResult* hit, gpointer self);
  static void onConsoleMessage(WebKitUserContentManager* manager, WebKitJavascriptResult* result,
                               gpointer self);

  void disarmTimeout();
  void request(const std::string& url);
  [[nodiscard]] bool clearing() const { return !afterBlank_.empty(); }
  // Whether the empty document has taken the view's place; the load after it
  // is then asked for.
  void blankCommitted();

  std::weak_ptr<platform::Delegate> delegate_;
  std::filesystem::path extensions_;
  WebsiteData data_; // outlives the context that keeps its data there
  GObjectPtr<WebKitWebContext> context_;
  GObjectPtr<WebKitWebView> view_;
  std::string afterBlank_;     // asked for once the empty document shows; empty when none
  bool documentShown_ = false; // a document other than the empty one may be on screen
  guint timeoutSource_ = 0;
  bool timedOut_ = false; // the next cancellation is our own time-out
  int gatePort_ = 0;      // none yet: the web processes refuse every web request
  bool gateOpen_ = false;
  bool failedAnswer_ = false; // the next refused load is an error answer: a failure
  std::unique_ptr<Downloads> downloads_;
  std::shared_ptr<DesktopNotifications> notifications_;
};

} // namespace tarvo::gtk
