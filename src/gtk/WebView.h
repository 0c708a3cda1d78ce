#pragma once

#include "gtk/GObjectPtr.h"
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
  static void onWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                                     gpointer self);
  static gboolean onLoadTimeout(gpointer self);

  void disarmTimeout();
  void request(const std::string& url);
  [[nodiscard]] bool clearing() const { return !afterBlank_.empty(); }
  // Whether the empty document has taken the view's place; the load after it
  // is then asked for.
  void blankCommitted();

  std::weak_ptr<platform::Delegate> delegate_;
  std::filesystem::path extensions_;
  GObjectPtr<WebKitWebContext> context_;
  GObjectPtr<WebKitWebView> view_;
  std::string afterBlank_;     // asked for once the empty document shows; empty when none
  bool documentShown_ = false; // a document other than the empty one may be on screen
  guint timeoutSource_ = 0;
  bool timedOut_ = false; // the next cancellation is our own time-out
  int gatePort_ = 0;      // none yet: the web processes refuse every web request
  bool gateOpen_ = false;
};

} // namespace tarvo::gtk
