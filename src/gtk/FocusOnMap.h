#pragma once

#include <gtk/gtk.h>

namespace tarvo::platform::gtk {

// A window that appears asks for the keyboard once it is on screen. A window
// manager would give it focus anyway; without one (a bare X server, as in
// the end-to-end runs) nobody else would, and Return or Escape would go to
// whatever window the pointer happens to be over.
inline void focusWhenMapped(GtkWindow* window) {
  g_signal_connect(window, "map-event",
                   G_CALLBACK(+[](GtkWidget* widget, GdkEvent* /*event*/, gpointer /*data*/) {
                     gtk_window_present(GTK_WINDOW(widget));
                     return gboolean(FALSE);
                   }),
                   nullptr);
}

} // namespace tarvo::platform::gtk
