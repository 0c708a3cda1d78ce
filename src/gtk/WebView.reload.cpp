// Loading the address the view already shows, with another fragment, must
// still fetch the page: the fragment carries the install token, and a page
// that was only scrolled would go on with the old one.
#include "gtk/WebView.h"

#include <memory>
#include <string>

namespace tarvo::gtk {

namespace {

// Runs in a world of its own, out of reach of the page's scripts. It checks
// that the document really is the one the view names (a load may be under
// way), gives the current history entry the new address and reloads it.
constexpr const char* reloadAsScript = R"JS(
const next = new URL(target);
const here = new URL(location.href);
next.hash = '';
here.hash = '';
if (next.href !== here.href) {
  return false;
}
history.replaceState(history.state, '', target);
location.reload();
return true;
)JS";

constexpr const char* scriptWorld = "tarvo-studio-loader";

struct PendingReload {
  WebView* view;
  unsigned generation;
  std::string url;
};

} // namespace

void WebView::reloadAs(const std::string& url) {
  GVariantDict arguments;
  g_variant_dict_init(&arguments, nullptr);
  g_variant_dict_insert(&arguments, "target", "s", url.c_str());
  webkit_web_view_call_async_javascript_function(
      view_.get(), reloadAsScript, -1, g_variant_dict_end(&arguments), scriptWorld, nullptr,
      cancellable_.get(), onReloadAsChecked, new PendingReload{this, loadGeneration_, url});
}

void WebView::onReloadAsChecked(GObject* view, GAsyncResult* result, gpointer data) {
  std::unique_ptr<PendingReload> pending(static_cast<PendingReload*>(data));
  GError* error = nullptr;
  JSCValue* value =
      webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, &error);
  const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
  g_clear_error(&error);
  const bool reloaded =
      value != nullptr && jsc_value_is_boolean(value) && jsc_value_to_boolean(value);
  if (value != nullptr) {
    g_object_unref(value);
  }
  // The view is gone (cancelled), or a later load() has taken over.
  if (cancelled || pending->view->loadGeneration_ != pending->generation) {
    return;
  }
  if (!reloaded) {
    pending->view->request(pending->url);
  }
}

} // namespace tarvo::gtk
