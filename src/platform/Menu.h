#pragma once

#include <string>
#include <vector>

namespace tarvo::platform {

// What a menu item does. Items aimed at the focused content, the window or
// the application (the first responder) are carried out by the platform;
// the others go to the delegate.
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

enum class Target { firstResponder, delegate };

struct MenuItem {
  bool separator = false;
  std::string title;
  Action action = Action::about;
  std::string key;    // one character, or empty for no shortcut
  bool shift = false; // the primary modifier (Control here) is always on
  Target target = Target::firstResponder;
};

struct Menu {
  std::string title; // empty for the application menu, which the platform names
  std::vector<MenuItem> items;
  bool windowsMenu = false;
};

using MenuBar = std::vector<Menu>;

} // namespace tarvo::platform
