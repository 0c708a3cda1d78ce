#pragma once

#include "platform/Menu.h"

namespace tarvo {

// The application's menu bar as data: four menus (the application's, Edit,
// Studio, Window), each item with its title, action and key. The platform
// draws it and routes the items' actions.
class MainMenu {
public:
  [[nodiscard]] static platform::MenuBar bar();
};

} // namespace tarvo
