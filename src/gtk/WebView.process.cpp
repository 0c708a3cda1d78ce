// The end of the web process behind the page, told to the delegate, which
// decides whether the page is loaded anew.
#include "gtk/WebView.h"

namespace tarvo::gtk {

void WebView::onWebProcessTerminated(WebKitWebView* /*view*/,
                                     WebKitWebProcessTerminationReason reason, gpointer self) {
  platform::WebProcessEnd why = platform::WebProcessEnd::crashed;
  if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT) {
    why = platform::WebProcessEnd::exceededMemory;
  } else if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) {
    why = platform::WebProcessEnd::asked;
  }
  // A load that was under way is gone with the process: its time-out has
  // nothing left to stop.
  auto* me = static_cast<WebView*>(self);
  me->disarmTimeout();
  if (auto delegate = me->delegate_.lock()) {
    delegate->webProcessTerminated(why);
  }
}

} // namespace tarvo::gtk
