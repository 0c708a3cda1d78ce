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

GtkWidget* buildItem(const platform::MenuItem& item, const std::shared_ptr<MenuHandler>& handler) {
  if (item.separator) {
    return gtk_separator_menu_item_new();
  }
  GtkWidget* widget = gtk_menu_item_new_with_mnemonic(item.title.c_str());
  g_signal_connect_data(widget, "activate", G_CALLBACK(onActivate),
                        new Binding{item.action, handler}, freeBinding, GConnectFlags(0));
  const std::string accelerator = acceleratorOf(item);
  guint keyval = 0;
  GdkModifierType modifiers{};
  gtk_accelerator_parse(accelerator.c_str(), &keyval, &modifiers);
  GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget));
  if (keyval != 0 && GTK_IS_ACCEL_LABEL(label)) {
    gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), keyval, modifiers);
  }
  return widget;
}

} // namespace

// A key equivalent is one character: a lower-case letter or a digit.
std::string acceleratorOf(const platform::MenuItem& item) {
  if (item.separator || item.key.size() != 1) {
    return {};
  }
  return std::string(item.shift ? "<Control><Shift>" : "<Control>") + item.key;
}

GtkWidget* buildMenuBar(const platform::MenuBar& bar, const std::string& applicationName,
                        const std::shared_ptr<MenuHandler>& handler) {
  GtkWidget* menuBar = gtk_menu_bar_new();
  for (const auto& menu : bar) {
    // The name is not translated and holds no underscore of its own.
    const std::string title = menu.title.empty() ? "_" + applicationName : menu.title;
    GtkWidget* top = gtk_menu_item_new_with_mnemonic(title.c_str());
    GtkWidget* submenu = gtk_menu_new();
    for (const auto& item : menu.items) {
      gtk_menu_shell_append(GTK_MENU_SHELL(submenu), buildItem(item, handler));
    }
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), submenu);
    gtk_menu_shell_append(GTK_MENU_SHELL(menuBar), top);
  }
  return menuBar;
}

} // namespace tarvo::gtk
