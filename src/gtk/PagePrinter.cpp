#include "gtk/PagePrinter.h"

#include "gtk/GlibLog.h"
#include "platform/Translate.h"

#include <gtk/gtkunixprint.h>

namespace tarvo::gtk {

PagePrinter::~PagePrinter() {
  if (dialog_ != nullptr) {
    g_signal_handlers_disconnect_by_data(dialog_, this);
    gtk_widget_destroy(dialog_);
  }
}

void PagePrinter::print(WebKitWebView* view, GtkWindow* parent) {
  if (dialog_ != nullptr) {
    gtk_window_present(GTK_WINDOW(dialog_));
    return;
  }
  view_ = GObjectPtr<WebKitWebView>::retain(view);
  dialog_ = gtk_print_unix_dialog_new(platform::tr("Print").c_str(), parent);
  GtkPrintUnixDialog* dialog = GTK_PRINT_UNIX_DIALOG(dialog_);
  // What WebKit can do with a page; the rest the printer does.
  gtk_print_unix_dialog_set_manual_capabilities(
      dialog,
      GtkPrintCapabilities(GTK_PRINT_CAPABILITY_NUMBER_UP | GTK_PRINT_CAPABILITY_NUMBER_UP_LAYOUT |
                           GTK_PRINT_CAPABILITY_PAGE_SET | GTK_PRINT_CAPABILITY_REVERSE |
                           GTK_PRINT_CAPABILITY_COPIES | GTK_PRINT_CAPABILITY_COLLATE |
                           GTK_PRINT_CAPABILITY_SCALE));
  gtk_print_unix_dialog_set_embed_page_setup(dialog, TRUE);
  if (settings_) {
    gtk_print_unix_dialog_set_settings(dialog, settings_.get());
  }
  if (pageSetup_) {
    gtk_print_unix_dialog_set_page_setup(dialog, pageSetup_.get());
  }
  gtk_window_set_modal(GTK_WINDOW(dialog_), TRUE);
  g_signal_connect(dialog_, "response", G_CALLBACK(onResponse), this);
  gtk_window_present(GTK_WINDOW(dialog_));
}

void PagePrinter::onResponse(GtkDialog* widget, gint response, gpointer self) {
  auto* me = static_cast<PagePrinter*>(self);
  GtkPrintUnixDialog* dialog = GTK_PRINT_UNIX_DIALOG(widget);
  GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(dialog);
  if (response == GTK_RESPONSE_OK && printer != nullptr && me->view_) {
    me->settings_ = GObjectPtr<GtkPrintSettings>::adopt(gtk_print_unix_dialog_get_settings(dialog));
    gtk_print_settings_set_printer(me->settings_.get(), gtk_printer_get_name(printer));
    me->pageSetup_ = GObjectPtr<GtkPageSetup>::retain(gtk_print_unix_dialog_get_page_setup(dialog));
    WebKitPrintOperation* operation = webkit_print_operation_new(me->view_.get());
    webkit_print_operation_set_print_settings(operation, me->settings_.get());
    webkit_print_operation_set_page_setup(operation, me->pageSetup_.get());
    g_signal_connect(operation, "failed", G_CALLBACK(onFailed), nullptr);
    // The operation lives until it has finished, whatever happens to us.
    g_signal_connect(operation, "finished", G_CALLBACK(g_object_unref), nullptr);
    webkit_print_operation_print(operation);
  }
  me->view_ = {};
  me->dialog_ = nullptr;
  g_signal_handlers_disconnect_by_data(widget, me);
  gtk_widget_destroy(GTK_WIDGET(widget));
}

void PagePrinter::onFailed(WebKitPrintOperation* /*operation*/, GError* error, gpointer /*data*/) {
  g_log(GlibLog::domain, G_LOG_LEVEL_WARNING, "printing the page failed: %s",
        error != nullptr ? error->message : "no reason given");
}

} // namespace tarvo::gtk
