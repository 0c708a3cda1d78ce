#pragma once

#include "platform/Menu.h"

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

namespace tarvo::gtk {

using MenuHandler = std::function<void(platform::Action action)>;

// Builds a GtkMenuBar from the shell's menu data. Each item's label is its
// title, whose underscore marks the mnemonic (assistive technology reads the
// title without it). The untitled application menu is named
// `applicationName`, with its first letter as the mnemonic. An item's key is
// shown beside it; the key itself is the application's accelerator (see
// acceleratorOf), so it works while the bar is hidden too.
[[nodiscard]] GtkWidget* buildMenuBar(const platform::MenuBar& bar,
                                      const std::string& applicationName,
                                      const std::shared_ptr<MenuHandler>& handler);

// The accelerator of an item's key in GTK's notation ("<Control><Shift>r"),
// or empty for an item without one.
[[nodiscard]] std::string acceleratorOf(const platform::MenuItem& item);

} // namespace tarvo::gtk
