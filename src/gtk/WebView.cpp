#include "gtk/WebView.h"

#include "gtk/ExtensionWire.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarvo::gtk {

namespace {

// The view only ever shows the backend on 127.0.0.1; every other web address
// goes to the browser. So no request of this context needs a proxy, whatever
// the desktop's proxy settings or http_proxy say.
void turnProxyOff(WebKitWebsiteDataManager* manager) {
  webkit_website_data_manager_set_network_proxy_settings(
      manager, WEBKIT_NETWORK_PROXY_MODE_NO_PROXY, nullptr);
}

WebKitSettings* makeSettings() {
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  // The backend's page is a plain document: software compositing shows it as
  // well, and leaves out the GL context that costs the web process about 70 MB.
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  return settings;
}

} // namespace

WebView::WebView(std::weak_ptr<platform::Delegate> delegate, std::filesystem::path extensions,
                 bool sandboxed)
    : delegate_(std::move(delegate)), extensions_(std::move(extensions)) {
  // Nothing the page keeps outlives this run (WebsiteData).
  turnProxyOff(data_.manager());
  context_ = GObjectPtr<WebKitWebContext>::adopt(
      webkit_web_context_new_with_website_data_manager(data_.manager()));
  // No memory or disk cache at all: a load always fetches the page afresh.
  webkit_web_context_set_cache_model(context_.get(), WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  // The web process runs the page's scripts: it runs in namespaces of its
  // own (bubblewrap), seeing little of the user's files, and its system calls
  // filtered, wherever the system lets it. Both must be said before the first
  // web process starts; the extensions folder is mounted into it, read-only.
  if (sandboxed) {
    webkit_web_context_set_sandbox_enabled(context_.get(), TRUE);
    std::error_code missing;
    if (!extensions_.empty() && std::filesystem::is_directory(extensions_, missing)) {
      webkit_web_context_add_path_to_sandbox(context_.get(), extensions_.c_str(), TRUE);
    }
  }
  // Before the first web process starts, which is what asks for extensions.
  g_signal_connect(context_.get(), "initialize-web-extensions", G_CALLBACK(onInitializeExtensions),
                   this);

  auto settings = GObjectPtr<WebKitSettings>::adopt(makeSettings());
  view_ = GObjectPtr<WebKitWebView>::adopt(WEBKIT_WEB_VIEW(g_object_new(
      WEBKIT_TYPE_WEB_VIEW, "web-context", context_.get(), "settings", settings.get(), nullptr)));

  WebKitWebView* view = view_.get();
  g_signal_connect(view, "decide-policy", G_CALLBACK(onDecidePolicy), this);
  g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), this);
  g_signal_connect(view, "load-failed", G_CALLBACK(onLoadFailed), this);
  g_signal_connect(view, "user-message-received", G_CALLBACK(onUserMessage), this);
  g_signal_connect(view, "script-dialog", G_CALLBACK(onScriptDialog), this);
  g_signal_connect(view, "create", G_CALLBACK(onCreate), this);
  downloads_ = std::make_unique<Downloads>(context_.get(), view, delegate_);
  connectPageRequests();

  // The web process starts with a view's first navigation. Asking for an
  // empty page now starts it while the backend is still coming up, so the
  // real page does not wait for it; the navigation policy cancels this load
  // and the view stays empty.
  webkit_web_view_load_uri(view, blankURI);
}

WebView::~WebView() {
  disarmTimeout();
  g_signal_handlers_disconnect_by_data(view_.get(), this);
  g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(view_.get()), this);
  g_signal_handlers_disconnect_by_data(context_.get(), this);
}

// Runs before each new web process starts: it learns the gate as it stands.
void WebView::onInitializeExtensions(WebKitWebContext* context, gpointer self) {
  auto* me = static_cast<WebView*>(self);
  if (!me->extensions_.empty()) {
    webkit_web_context_set_web_extensions_directory(context, me->extensions_.c_str());
  }
  webkit_web_context_set_web_extensions_initialization_user_data(context, me->gate());
}

GVariant* WebView::gate() const {
  return g_variant_new(ExtensionWire::gateType, gatePort_, gateOpen_ ? TRUE : FALSE);
}

// Every web process hears it, in order with the loads that follow: a page
// loaded after an opening finds the gate open.
void WebView::setBackendGate(int port, bool open) {
  if (port == gatePort_ && open == gateOpen_) {
    return;
  }
  gatePort_ = port;
  gateOpen_ = open;
  webkit_web_context_send_message_to_all_extensions(
      context_.get(), webkit_user_message_new(ExtensionWire::gateName, gate()));
}

std::string WebView::uri() const {
  const char* shown = webkit_web_view_get_uri(view_.get());
  return shown != nullptr ? shown : "";
}

// WebKit has no per-request cache policy or time-out. The context has no
// cache to consult, and the time-out is kept here: until the new page begins
// to arrive, a timer stands ready to stop the load. It covers the empty
// document before it too.
void WebView::load(const std::string& url, double timeoutSeconds) {
  disarmTimeout();
  timedOut_ = false;
  if (documentShown_ || clearing()) {
    afterBlank_ = url;
    webkit_web_view_load_uri(view_.get(), blankURI);
  } else {
    request(url);
  }
  if (timeoutSeconds > 0.0 && std::isfinite(timeoutSeconds)) {
    const auto ms = static_cast<guint>(std::min(timeoutSeconds * 1000.0, double(G_MAXUINT)));
    timeoutSource_ = g_timeout_add(ms, onLoadTimeout, this);
  }
}

void WebView::request(const std::string& url) {
  auto request = GObjectPtr<WebKitURIRequest>::adopt(webkit_uri_request_new(url.c_str()));
  webkit_web_view_load_request(view_.get(), request.get());
}

gboolean WebView::onLoadTimeout(gpointer self) {
  auto* me = static_cast<WebView*>(self);
  me->timeoutSource_ = 0;
  // Stopping makes WebKit report the load as cancelled; this flag turns that
  // report into the failure it really is.
  me->timedOut_ = true;
  if (webkit_web_view_is_loading(me->view_.get())) {
    webkit_web_view_stop_loading(me->view_.get());
  } else if (auto delegate = me->delegate_.lock()) {
    // Nothing reached the network at all (the page never let go of itself).
    me->timedOut_ = false;
    me->afterBlank_.clear();
    delegate->didFailProvisionalNavigation(platform::LoadFailure::failed);
  }
  return G_SOURCE_REMOVE;
}

void WebView::disarmTimeout() {
  if (timeoutSource_ != 0) {
    g_source_remove(timeoutSource_);
    timeoutSource_ = 0;
  }
}

void WebView::onLoadChanged(WebKitWebView* /*view*/, WebKitLoadEvent event, gpointer self) {
  if (event != WEBKIT_LOAD_COMMITTED) {
    return;
  }
  auto* me = static_cast<WebView*>(self);
  // While the view is being emptied, only the empty document counts, and it
  // is no page of the backend's: the status line and the timer wait for the
  // load that follows it.
  if (me->clearing()) {
    me->blankCommitted();
    return;
  }
  // Otherwise a commit is always the newest load's: its page has begun to arrive.
  me->documentShown_ = me->uri() != blankURI;
  me->disarmTimeout();
  if (auto delegate = me->delegate_.lock()) {
    delegate->didCommitNavigation();
  }
}

// The old document is gone once the empty one has committed in its place;
// only then is the new address asked for.
void WebView::blankCommitted() {
  if (uri() == blankURI) {
    documentShown_ = false;
    request(std::exchange(afterBlank_, {}));
  }
}

void WebView::runEditingCommand(const char* command) {
  webkit_web_view_execute_editing_command(view_.get(), command);
}

void WebView::setBlocked(bool blocked) {
  gtk_widget_set_sensitive(widget(), blocked ? FALSE : TRUE);
  if (!blocked) {
    gtk_widget_grab_focus(widget());
  }
}

} // namespace tarvo::gtk
