// Loaded into every web process of the application. It gives each frame the
// page API window.webkit.messageHandlers.studio.postMessage(body) and, when a
// frame calls it, tells the application which frame that was: main frame or
// not, the frame's address, and the body as JSON. WebKitGTK's own script
// message signal carries no frame, and the application's judgement of a
// message rests on the frame that sent it.
#include <webkit2/webkit-web-extension.h>

namespace {

// Must match what the application's web view listens for.
constexpr const char* messageName = "studio-message";

// Installs `post` as postMessage of the handler "studio". Where WebKit already
// keeps a messageHandlers object, the handler joins it; otherwise the
// namespace is made here, shaped the same way.
constexpr const char* installScript = R"JS(
(function (post) {
  'use strict';
  var studio = Object.freeze({
    postMessage: function postMessage(body) { post(body); }
  });
  try {
    var existing = window.webkit;
    if (existing && existing.messageHandlers) {
      Object.defineProperty(existing.messageHandlers, 'studio', { value: studio, enumerable: true });
      if (existing.messageHandlers.studio === studio) {
        return true;
      }
    }
  } catch (e) {}
  try {
    Object.defineProperty(window, 'webkit', {
      value: Object.freeze({ messageHandlers: Object.freeze({ studio: studio }) }),
      configurable: true, enumerable: false, writable: false
    });
    return window.webkit.messageHandlers.studio === studio;
  } catch (e) {
    return false;
  }
})
)JS";

WebKitWebExtension* theExtension = nullptr;

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
  auto* frame = static_cast<WebKitFrame*>(g_weak_ref_get(&binding->frame));
  if (frame == nullptr) {
    return;
  }
  WebKitWebPage* page = webkit_web_extension_get_page(theExtension, binding->page);
  gchar* json = nullptr;
  bool sendable = true;
  if (body != nullptr && !jsc_value_is_undefined(body)) {
    json = jsc_value_to_json(body, 0);
    if (json == nullptr) {
      // Not expressible as JSON (a cycle, say): dropped, as the application
      // could not read it anyway. The page is not made to fail over it.
      jsc_context_clear_exception(jsc_value_get_context(body));
      sendable = false;
    }
  }
  if (page != nullptr && sendable) {
    const gchar* uri = webkit_frame_get_uri(frame);
    GVariant* parameters = g_variant_new("(bss)", webkit_frame_is_main_frame(frame),
                                         uri != nullptr ? uri : "", json != nullptr ? json : "");
    webkit_web_page_send_message_to_view(page, webkit_user_message_new(messageName, parameters),
                                         nullptr, nullptr, nullptr);
  }
  g_free(json);
  g_object_unref(frame);
}

// A frame's window object was made anew (a new document): bind a fresh
// postMessage to this frame before any script of the document runs.
void onWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame,
                           gpointer /*data*/) {
  JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
  if (context == nullptr) {
    return;
  }
  auto* binding = new FrameBinding{};
  binding->page = webkit_web_page_get_id(page);
  g_weak_ref_init(&binding->frame, frame);
  JSCValue* function = jsc_value_new_function(context, "postMessage", G_CALLBACK(post), binding,
                                              freeBinding, G_TYPE_NONE, 1, JSC_TYPE_VALUE);
  JSCValue* install = jsc_context_evaluate(context, installScript, -1);
  if (install != nullptr && jsc_value_is_function(install)) {
    JSCValue* result = jsc_value_function_call(install, JSC_TYPE_VALUE, function, G_TYPE_NONE);
    if (result != nullptr) {
      g_object_unref(result);
    }
  }
  jsc_context_clear_exception(context);
  if (install != nullptr) {
    g_object_unref(install);
  }
  g_object_unref(function);
  g_object_unref(context);
}

} // namespace

// The name WebKit looks for in every module of the extensions folder.
// NOLINTNEXTLINE(readability-identifier-naming)
extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize(WebKitWebExtension* extension) {
  theExtension = extension;
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                   G_CALLBACK(onWindowObjectCleared), nullptr);
}
