#pragma once

#include "platform/Menu.h"

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

namespace tarvo::gtk {

using MenuHandler = std::function<void(platform::Action action)>;

// Builds a GtkMenuBar from the shell's menu data. Each item's label is its
// title (no mnemonics), which is also its accessible name; key equivalents
// become Control (or Control+Shift) accelerators in `accelerators`. The
// untitled application menu is named `applicationName`.
[[nodiscard]] GtkWidget* buildMenuBar(const platform::MenuBar& bar, GtkAccelGroup* accelerators,
                                      const std::string& applicationName,
                                      const std::shared_ptr<MenuHandler>& handler);

} // namespace tarvo::gtk
