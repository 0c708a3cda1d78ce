#pragma once

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace tarvo::gtk {

// A window that appears asks for the keyboard once it is on screen. A window
// manager would give it focus anyway; without one (a bare X server, as in
// the end-to-end runs) nobody else would, and Return or Escape would go to
// whatever window the pointer happens to be over.
//
// Only on X11. A Wayland compositor alone decides focus, and there GDK
// reports every present of a shown window as a new map: presenting from
// "map-event" would feed itself forever, one event per turn of the loop, and
// starve every source of lower priority (redraws, WebKit's own messages).
inline void focusWhenMapped(GtkWindow* window) {
  if (!GDK_IS_X11_DISPLAY(gtk_widget_get_display(GTK_WIDGET(window)))) {
    return;
  }
  g_signal_connect(window, "map-event",
                   G_CALLBACK(+[](GtkWidget* widget, GdkEvent* /*event*/, gpointer /*data*/) {
                     gtk_window_present(GTK_WINDOW(widget));
                     return gboolean(FALSE);
                   }),
                   nullptr);
}

} // namespace tarvo::gtk
