// Loaded into every web process of the application. It gives each frame the
// page API window.webkit.messageHandlers.studio.postMessage(body) and, when a
// frame calls it, tells the application which frame that was: main frame or
// not, the frame's address, and the body as JSON. WebKitGTK's own script
// message signal carries no frame, and the application's judgement of a
// message rests on the frame that sent it.
//
// It also keeps the backend's gate: while the application says the backend's
// port is not our backend's, the page's requests to that port are refused
// here, before they leave, so whoever took the port gets none of them.
#include "gtk/ExtensionWire.h"
#include "gtk/GObjectPtr.h"
#include "gtk/GlibPtr.h"

#include <webkit2/webkit-web-extension.h>

#include <cstring>

namespace {

using tarvo::gtk::ExtensionWire;
using tarvo::gtk::GCharPtr;
using tarvo::gtk::GErrorPtr;
using tarvo::gtk::GObjectPtr;
using tarvo::gtk::OutPtr;

// Installs `post` as postMessage of the handler called `name`. Where WebKit
// already keeps a messageHandlers object, the handler joins it; otherwise the
// namespace is made here, shaped the same way.
constexpr const char* installScript = R"JS(
(function (post, name) {
  'use strict';
  var handler = Object.freeze({
    postMessage: function postMessage(body) { post(body); }
  });
  try {
    var existing = window.webkit;
    if (existing && existing.messageHandlers) {
      Object.defineProperty(existing.messageHandlers, name, { value: handler, enumerable: true });
      if (existing.messageHandlers[name] === handler) {
        return true;
      }
    }
  } catch (e) {}
  try {
    var handlers = {};
    handlers[name] = handler;
    Object.defineProperty(window, 'webkit', {
      value: Object.freeze({ messageHandlers: Object.freeze(handlers) }),
      configurable: true, enumerable: false, writable: false
    });
    return window.webkit.messageHandlers[name] === handler;
  } catch (e) {
    return false;
  }
})
)JS";

WebKitWebExtension* theExtension = nullptr;

// As the application last said; until it has, every web request is refused.
struct Gate {
  int port = 0;
  bool open = false;
};
Gate gate;

void hear(GVariant* value) {
  if (value == nullptr || !g_variant_is_of_type(value, G_VARIANT_TYPE(ExtensionWire::gateType))) {
    gate = {};
    return;
  }
  gboolean open = FALSE;
  gint32 port = 0;
  g_variant_get(value, ExtensionWire::gateType, &port, &open);
  gate = {port, open != FALSE};
}

bool isWeb(const char* scheme) {
  for (const char* web : {"http", "https", "ws", "wss"}) {
    if (std::strcmp(scheme, web) == 0) {
      return true;
    }
  }
  return false;
}

// Any host: this machine answers to many names (localhost, 127.0.0.0/8, ::1,
// its own addresses), and the port is what another user can take.
bool refused(const char* uri) {
  if (gate.open) {
    return false;
  }
  const char* scheme = g_uri_peek_scheme(uri); // lower case
  if (scheme == nullptr || !isWeb(scheme)) {
    return false; // about:, data:, blob: never reach a port
  }
  if (gate.port <= 0) {
    return true;
  }
  GErrorPtr error;
  GUri* parsed = g_uri_parse(uri, G_URI_FLAGS_NONE, OutPtr(error));
  if (parsed == nullptr) {
    return true;
  }
  int port = g_uri_get_port(parsed);
  if (port < 0) {
    const bool secure = std::strcmp(scheme, "https") == 0 || std::strcmp(scheme, "wss") == 0;
    port = secure ? 443 : 80;
  }
  g_uri_unref(parsed);
  return port == gate.port;
}

// Redirects come here too, so a redirect cannot lead a request to the port.
gboolean onSendRequest(WebKitWebPage* /*page*/, WebKitURIRequest* request,
                       WebKitURIResponse* /*redirected*/, gpointer /*data*/) {
  const char* uri = webkit_uri_request_get_uri(request);
  return uri == nullptr || refused(uri) ? TRUE : FALSE;
}

void onPageCreated(WebKitWebExtension* /*extension*/, WebKitWebPage* page, gpointer /*data*/) {
  g_signal_connect(page, "send-request", G_CALLBACK(onSendRequest), nullptr);
}

gboolean onApplicationMessage(WebKitWebExtension* /*extension*/, WebKitUserMessage* message,
                              gpointer /*data*/) {
  const char* name = webkit_user_message_get_name(message);
  if (name == nullptr || std::strcmp(name, ExtensionWire::gateName) != 0) {
    return FALSE;
  }
  hear(webkit_user_message_get_parameters(message));
  return TRUE;
}

// Which frame a postMessage function belongs to. The frame is held weakly: a
// frame that is gone sends nothing.
struct FrameBinding {
  guint64 page = 0;
  GWeakRef frame;
};

void freeBinding(gpointer data) {
  auto* binding = static_cast<FrameBinding*>(data);
  g_weak_ref_clear(&binding->frame);
  delete binding;
}

void post(JSCValue* body, gpointer data) {
  auto* binding = static_cast<FrameBinding*>(data);
  const auto frame =
      GObjectPtr<WebKitFrame>::adopt(static_cast<WebKitFrame*>(g_weak_ref_get(&binding->frame)));
  if (!frame) {
    return;
  }
  WebKitWebPage* page = webkit_web_extension_get_page(theExtension, binding->page);
  GCharPtr json;
  bool sendable = true;
  if (body != nullptr && !jsc_value_is_undefined(body)) {
    json.reset(jsc_value_to_json(body, 0));
    if (!json) {
      // Not expressible as JSON (a cycle, say): dropped, as the application
      // could not read it anyway. The page is not made to fail over it.
      jsc_context_clear_exception(jsc_value_get_context(body));
      sendable = false;
    }
  }
  if (page != nullptr && sendable) {
    const gchar* uri = webkit_frame_get_uri(frame.get());
    // The variant and the message are floating: the send takes both.
    GVariant* parameters =
        g_variant_new(ExtensionWire::messageType, webkit_frame_is_main_frame(frame.get()),
                      uri != nullptr ? uri : "", json ? json.get() : "");
    webkit_web_page_send_message_to_view(
        page, webkit_user_message_new(ExtensionWire::messageName, parameters), nullptr, nullptr,
        nullptr);
  }
}

// A frame's window object was made anew (a new document): bind a fresh
// postMessage to this frame before any script of the document runs.
void onWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame,
                           gpointer /*data*/) {
  const auto context =
      GObjectPtr<JSCContext>::adopt(webkit_frame_get_js_context_for_script_world(frame, world));
  if (!context) {
    return;
  }
  auto* binding = new FrameBinding{};
  binding->page = webkit_web_page_get_id(page);
  g_weak_ref_init(&binding->frame, frame);
  const auto function = GObjectPtr<JSCValue>::adopt(
      jsc_value_new_function(context.get(), "postMessage", G_CALLBACK(post), binding, freeBinding,
                             G_TYPE_NONE, 1, JSC_TYPE_VALUE));
  const auto install =
      GObjectPtr<JSCValue>::adopt(jsc_context_evaluate(context.get(), installScript, -1));
  if (install && jsc_value_is_function(install.get())) {
    // Its answer (installed or not) changes nothing here.
    [[maybe_unused]] const auto installed = GObjectPtr<JSCValue>::adopt(
        jsc_value_function_call(install.get(), JSC_TYPE_VALUE, function.get(), G_TYPE_STRING,
                                ExtensionWire::handlerName, G_TYPE_NONE));
  }
  jsc_context_clear_exception(context.get());
}

} // namespace

// The name WebKit looks for in every module of the extensions folder; the
// data is the gate as it stood when this web process was started.
extern "C" G_MODULE_EXPORT void
// NOLINTNEXTLINE(readability-identifier-naming)
webkit_web_extension_initialize_with_user_data(WebKitWebExtension* extension,
                                               const GVariant* data) {
  theExtension = extension;
  hear(const_cast<GVariant*>(data));
  g_signal_connect(extension, "page-created", G_CALLBACK(onPageCreated), nullptr);
  g_signal_connect(extension, "user-message-received", G_CALLBACK(onApplicationMessage), nullptr);
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                   G_CALLBACK(onWindowObjectCleared), nullptr);
}
