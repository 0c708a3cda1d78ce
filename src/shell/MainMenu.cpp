#include "shell/MainMenu.h"

#include <utility>

namespace tarvo {
namespace {

using platform::Action;
using platform::MenuItem;

MenuItem item(std::string title, Action action, std::string key, bool shift = false) {
  return {false, std::move(title), action, std::move(key), shift};
}

MenuItem separator() {
  return {true, {}, Action::about, {}, false};
}

} // namespace

// Control stands where the Mac has Command; every item carries it, and an
// empty key means no shortcut at all.
platform::MenuBar MainMenu::bar() {
  platform::MenuBar bar;
  bar.push_back({"",
                 {item("About Tarvo Studio", Action::about, ""), separator(),
                  item("Hide Tarvo Studio", Action::hide, "h"), separator(),
                  item("Quit Tarvo Studio", Action::quit, "q")}});
  bar.push_back({"Edit",
                 {item("Cut", Action::cut, "x"), item("Copy", Action::copy, "c"),
                  item("Paste", Action::paste, "v"), item("Select All", Action::selectAll, "a")}});
  bar.push_back({"Studio",
                 {item("Reload the Window", Action::reload, "r"),
                  item("Restart the Service", Action::restartService, "r", true), separator(),
                  item("Open the Log", Action::openLog, "l"),
                  item("Open Studio's Data Folder", Action::openHome, "")}});
  bar.push_back({"Window",
                 {item("Minimize", Action::minimize, "m"), item("Zoom", Action::zoom, ""),
                  item("Close", Action::close, "w"), separator(),
                  item("Tarvo Studio", Action::showWindow, "0")}});
  return bar;
}

} // namespace tarvo
