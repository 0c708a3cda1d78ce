#pragma once

#include "gtk/GObjectPtr.h"

#include <webkit2/webkit2.h>

namespace tarvo::gtk {

// Prints the page through the desktop's print dialog. The dialog answers
// later, so the main loop never waits on it; the settings chosen are kept
// for the next time.
class PagePrinter {
public:
  PagePrinter() = default;
  ~PagePrinter();
  PagePrinter(const PagePrinter&) = delete;
  PagePrinter& operator=(const PagePrinter&) = delete;

  // One dialog at a time: asked again, the open one comes to the front.
  void print(WebKitWebView* view, GtkWindow* parent);

private:
  static void onResponse(GtkDialog* dialog, gint response, gpointer self);
  static void onFailed(WebKitPrintOperation* operation, GError* error, gpointer data);

  GtkWidget* dialog_ = nullptr; // owned by GTK until destroyed
  GObjectPtr<WebKitWebView> view_;
  GObjectPtr<GtkPrintSettings> settings_;
  GObjectPtr<GtkPageSetup> pageSetup_;
};

} // namespace tarvo::gtk
