// The page's alert(), confirm() and prompt(), put to the delegate; the page
// waits until it answers.
#include "gtk/WebView.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace tarvo::gtk {

namespace {

// A dialog of the page, open until the delegate's completion runs; if the
// completion is dropped without running, the page is let go all the same
// (and reads "no", or null).
class OpenDialog {
public:
  explicit OpenDialog(WebKitScriptDialog* dialog) : dialog_(webkit_script_dialog_ref(dialog)) {}
  ~OpenDialog() { close(); }
  OpenDialog(const OpenDialog&) = delete;
  OpenDialog& operator=(const OpenDialog&) = delete;
  [[nodiscard]] WebKitScriptDialog* get() const { return dialog_; }
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

gboolean WebView::onScriptDialog(WebKitWebView* /*view*/, WebKitScriptDialog* dialog,
                                 gpointer self) {
  const auto type = webkit_script_dialog_get_dialog_type(dialog);
  if (type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM) {
    // A page may not hold the window on itself.
    webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
    return TRUE;
  }
  auto delegate = static_cast<WebView*>(self)->delegate_.lock();
  if (!delegate) {
    return TRUE; // answered at once ("no", null): the page goes on
  }
  const char* text = webkit_script_dialog_get_message(dialog);
  const std::string message = text != nullptr ? text : "";
  auto open = std::make_shared<OpenDialog>(dialog);
  switch (type) {
  case WEBKIT_SCRIPT_DIALOG_ALERT:
    delegate->runJavaScriptAlertPanel(message, [open] { open->close(); });
    break;
  case WEBKIT_SCRIPT_DIALOG_CONFIRM:
    delegate->runJavaScriptConfirmPanel(message, [open](bool confirmed) {
      if (open->get() != nullptr) {
        webkit_script_dialog_confirm_set_confirmed(open->get(), confirmed ? TRUE : FALSE);
      }
      open->close();
    });
    break;
  case WEBKIT_SCRIPT_DIALOG_PROMPT: {
    const char* defaultText = webkit_script_dialog_prompt_get_default_text(dialog);
    delegate->runJavaScriptTextInputPanel(message, defaultText != nullptr ? defaultText : "",
                                          [open](std::optional<std::string> answer) {
                                            // Left unset, the page reads null.
                                            if (open->get() != nullptr && answer) {
                                              webkit_script_dialog_prompt_set_text(open->get(),
                                                                                   answer->c_str());
                                            }
                                            open->close();
                                          });
    break;
  }
  case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
    break;
  }
  return TRUE;
}

} // namespace tarvo::gtk
