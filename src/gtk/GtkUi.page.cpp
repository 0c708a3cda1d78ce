// What the window does for the page: its questions as sheets, the notice of
// a download, desktop notifications, and the developer tools.
#include "gtk/GtkUi.h"

#include "gtk/Alerts.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace tarvo::gtk {

void GtkUi::showPageDialog(const platform::PageDialog& dialog, platform::PageDialogDone done) {
  // The field is read when the dialog answers, before it is destroyed.
  auto field = std::make_shared<GtkWidget*>(nullptr);
  auto widget = std::make_shared<GtkWidget*>(nullptr);
  GtkWidget* shown = sheet({dialog.title, dialog.message, dialog.buttons, dialog.defaultButton},
                           [this, field, widget, done = std::move(done)](int response) {
                             std::erase(pageDialogs_, *widget);
                             const char* text =
                                 *field != nullptr ? gtk_entry_get_text(GTK_ENTRY(*field)) : "";
                             done(response, text != nullptr ? text : "");
                           });
  *widget = shown;
  pageDialogs_.push_back(shown);
  if (dialog.text) {
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(entry), dialog.text->c_str());
    // Return answers the default button (OK), as it does in the alert.
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(shown));
    gtk_box_pack_end(GTK_BOX(area), entry, FALSE, FALSE, 0);
    gtk_widget_show(entry);
    gtk_widget_grab_focus(entry);
    *field = entry;
  }
}

void GtkUi::closePageDialogs() {
  const auto open = pageDialogs_;
  for (GtkWidget* dialog : open) {
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  }
}

void GtkUi::showNotice(const platform::Notice& notice) {
  if (!status_ && notice.text.empty()) {
    return;
  }
  if (auto* view = statusView()) {
    view->showNotice(notice.text, notice.button, notice.action);
  }
}

bool GtkUi::windowIsActive() {
  return window_ && window_->visible() && gtk_window_is_active(window_->window()) != FALSE;
}

void GtkUi::notify(const std::string& text) {
  notifications_->send(text, "", [delegate = delegate_] {
    if (auto shell = delegate.lock()) {
      shell->showWindow();
    }
  });
}

void GtkUi::cancelDownloads() {
  if (web_) {
    web_->cancelDownloads();
  }
}

// Ctrl+Shift+I, a key of the window and never an item of its menus.
void GtkUi::enableDeveloperTools() {
  if (!web_ || !window_) {
    return;
  }
  web_->enableDeveloperTools();
  gtk_accel_group_connect(window_->accelerators(), GDK_KEY_i,
                          GdkModifierType(GDK_CONTROL_MASK | GDK_SHIFT_MASK), GtkAccelFlags(0),
                          g_cclosure_new(G_CALLBACK(onInspectKey), this, nullptr));
}

gboolean GtkUi::onInspectKey(GtkAccelGroup* /*group*/, GObject* /*window*/, guint /*key*/,
                             GdkModifierType /*modifiers*/, gpointer self) {
  auto* me = static_cast<GtkUi*>(self);
  if (me->web_) {
    me->web_->showInspector();
  }
  return TRUE;
}

} // namespace tarvo::gtk
