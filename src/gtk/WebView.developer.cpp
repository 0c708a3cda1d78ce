// The developer tools, for people who write backends: the web inspector,
// kept inside the one window, and the page's console messages told to the
// delegate.
#include "gtk/WebView.h"

#include <string>

namespace tarvo::gtk {

namespace {

constexpr const char* consoleHandler = "tarvoConsole";

// Runs first in every frame of every page: each console call and each
// uncaught error is also posted to the handler, which the page cannot take
// away from it afterwards.
constexpr const char* consoleScript = R"JS(
(function () {
  'use strict';
  var handlers = window.webkit && window.webkit.messageHandlers;
  var handler = handlers && handlers.tarvoConsole;
  if (!handler) {
    return;
  }
  var post = handler.postMessage.bind(handler);
  function text(values) {
    return Array.prototype.map.call(values, function (value) {
      if (typeof value === 'string' || value instanceof Error) {
        return String(value);
      }
      try {
        var json = JSON.stringify(value);
        return json === undefined ? String(value) : json;
      } catch (e) {
        return String(value);
      }
    }).join(' ');
  }
  ['log', 'info', 'warn', 'error', 'debug'].forEach(function (level) {
    var original = console[level];
    console[level] = function () {
      try { post({level: level, text: text(arguments), source: ''}); } catch (e) {}
      return original.apply(console, arguments);
    };
  });
  addEventListener('error', function (event) {
    post({level: 'error', text: String(event.message),
          source: event.filename ? event.filename + ':' + event.lineno : ''});
  });
  addEventListener('unhandledrejection', function (event) {
    post({level: 'error', text: 'unhandled rejection: ' + text([event.reason]), source: ''});
  });
})();
)JS";

std::string property(JSCValue* object, const char* name) {
  auto value = GObjectPtr<JSCValue>::adopt(jsc_value_object_get_property(object, name));
  if (!value || !jsc_value_is_string(value.get())) {
    return {};
  }
  gchar* text = jsc_value_to_string(value.get());
  std::string out = text != nullptr ? text : "";
  g_free(text);
  return out;
}

// The inspector stays in the window: it never gets one of its own.
gboolean keepAttached(WebKitWebInspector* inspector, gpointer /*data*/) {
  webkit_web_inspector_attach(inspector);
  return TRUE;
}

gboolean refuseDetach(WebKitWebInspector* /*inspector*/, gpointer /*data*/) {
  return TRUE;
}

} // namespace

void WebView::enableDeveloperTools() {
  WebKitWebView* view = view_.get();
  webkit_settings_set_enable_developer_extras(webkit_web_view_get_settings(view), TRUE);
  WebKitWebInspector* inspector = webkit_web_view_get_inspector(view);
  g_signal_connect(inspector, "open-window", G_CALLBACK(keepAttached), nullptr);
  g_signal_connect(inspector, "detach", G_CALLBACK(refuseDetach), nullptr);

  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view);
  if (webkit_user_content_manager_register_script_message_handler(content, consoleHandler) ==
      FALSE) {
    return; // already on
  }
  const std::string signal = std::string("script-message-received::") + consoleHandler;
  g_signal_connect(content, signal.c_str(), G_CALLBACK(onConsoleMessage), this);
  WebKitUserScript* script =
      webkit_user_script_new(consoleScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, script);
  webkit_user_script_unref(script);
}

void WebView::showInspector() {
  WebKitWebView* view = view_.get();
  if (webkit_settings_get_enable_developer_extras(webkit_web_view_get_settings(view)) != FALSE) {
    webkit_web_inspector_show(webkit_web_view_get_inspector(view));
  }
}

void WebView::onConsoleMessage(WebKitUserContentManager* /*manager*/,
                               WebKitJavascriptResult* result, gpointer self) {
  JSCValue* value = webkit_javascript_result_get_js_value(result);
  if (value == nullptr || !jsc_value_is_object(value)) {
    return;
  }
  platform::ConsoleMessage message{property(value, "level"), property(value, "text"),
                                   property(value, "source")};
  if (auto delegate = static_cast<WebView*>(self)->delegate_.lock()) {
    delegate->didReceiveConsoleMessage(message);
  }
}

} // namespace tarvo::gtk
