#include "gtk/MenuBarView.h"

#include <utility>

namespace tarvo::gtk {

namespace {

struct Binding {
  platform::Action action;
  std::shared_ptr<MenuHandler> handler;
};

void onActivate(GtkMenuItem* /*widget*/, gpointer data) {
  const auto* binding = static_cast<const Binding*>(data);
  // A copy keeps the handler alive even if the bar is rebuilt from inside it.
  const auto handler = binding->handler;
  const platform::Action action = binding->action;
  if (handler && *handler) {
    (*handler)(action);
  }
}

void freeBinding(gpointer data, GClosure* /*closure*/) {
  delete static_cast<Binding*>(data);
}

// A key equivalent is one character: a lower-case letter or a digit.
guint keyvalFor(const std::string& key) {
  if (key.size() != 1) {
    return 0;
  }
  const guint keyval = gdk_unicode_to_keyval(static_cast<unsigned char>(key[0]));
  return gdk_keyval_to_lower(keyval);
}

GtkWidget* buildItem(const platform::MenuItem& item, GtkAccelGroup* accelerators,
                     const std::shared_ptr<MenuHandler>& handler) {
  if (item.separator) {
    return gtk_separator_menu_item_new();
  }
  GtkWidget* widget = gtk_menu_item_new_with_label(item.title.c_str());
  g_signal_connect_data(widget, "activate", G_CALLBACK(onActivate),
                        new Binding{item.action, handler}, freeBinding, GConnectFlags(0));
  if (const guint keyval = keyvalFor(item.key); keyval != 0) {
    auto modifiers = GdkModifierType(GDK_CONTROL_MASK | (item.shift ? GDK_SHIFT_MASK : 0));
    gtk_widget_add_accelerator(widget, "activate", accelerators, keyval, modifiers,
                               GTK_ACCEL_VISIBLE);
  }
  return widget;
}

} // namespace

GtkWidget* buildMenuBar(const platform::MenuBar& bar, GtkAccelGroup* accelerators,
                        const std::string& applicationName,
                        const std::shared_ptr<MenuHandler>& handler) {
  GtkWidget* menuBar = gtk_menu_bar_new();
  for (const auto& menu : bar) {
    const std::string& title = menu.title.empty() ? applicationName : menu.title;
    GtkWidget* top = gtk_menu_item_new_with_label(title.c_str());
    GtkWidget* submenu = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(submenu), accelerators);
    for (const auto& item : menu.items) {
      gtk_menu_shell_append(GTK_MENU_SHELL(submenu), buildItem(item, accelerators, handler));
    }
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), submenu);
    gtk_menu_shell_append(GTK_MENU_SHELL(menuBar), top);
  }
  return menuBar;
}

} // namespace tarvo::gtk
