#pragma once

#include "platform/Delegate.h"

#include <string>
#include <vector>

namespace tarvo::platform {

// What a menu item does. The delegate's own actions go to it; the platform
// carries out the others on the focused page, the window or the application.
enum class Action {
  about,
  hide,
  quit,
  cut,
  copy,
  paste,
  selectAll,
  reload,
  restartService,
  openLog,
  openHome,
  minimize,
  zoom,
  close,
  showWindow,
};

struct MenuItem {
  bool separator = false;
  std::string title; // the letter after an underscore is its mnemonic
  Action action = Action::about;
  std::string key;    // a lower-case letter or a digit, or empty for no shortcut
  bool shift = false; // the primary modifier (Control here) is always on
};

struct Menu {
  std::string title; // as an item's; empty for the application menu, which the platform names
  std::vector<MenuItem> items;
};

using MenuBar = std::vector<Menu>;

// Calls the delegate's method for one of its own actions; false for an action
// the platform carries out itself.
[[nodiscard]] inline bool deliverToDelegate(Action action, Delegate& delegate) {
  switch (action) {
  case Action::reload:
    delegate.reload();
    return true;
  case Action::restartService:
    delegate.restartService();
    return true;
  case Action::openLog:
    delegate.openLog();
    return true;
  case Action::openHome:
    delegate.openHome();
    return true;
  case Action::showWindow:
    delegate.showWindow();
    return true;
  case Action::about:
  case Action::hide:
  case Action::quit:
  case Action::cut:
  case Action::copy:
  case Action::paste:
  case Action::selectAll:
  case Action::minimize:
  case Action::zoom:
  case Action::close:
    return false;
  }
  return false;
}

} // namespace tarvo::platform
