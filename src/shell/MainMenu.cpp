#include "shell/MainMenu.h"

#include "platform/Translate.h"

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
// empty key means no shortcut at all. The letter after an underscore is the
// item's mnemonic, chosen as GNOME applications choose it (and by each
// translation for its own words). The application's name stays as it is.
platform::MenuBar MainMenu::bar() {
  using platform::tr;
  platform::MenuBar bar;
  bar.push_back({"",
                 {item(tr("_About Tarvo Studio"), Action::about, ""), separator(),
                  item(tr("_Hide Tarvo Studio"), Action::hide, "h"), separator(),
                  item(tr("_Quit Tarvo Studio"), Action::quit, "q")}});
  bar.push_back(
      {tr("_Edit"),
       {item(tr("Cu_t"), Action::cut, "x"), item(tr("_Copy"), Action::copy, "c"),
        item(tr("_Paste"), Action::paste, "v"), item(tr("Select _All"), Action::selectAll, "a")}});
  bar.push_back({tr("_Studio"),
                 {item(tr("_Reload the Window"), Action::reload, "r"),
                  item(tr("Restart the _Service"), Action::restartService, "r", true), separator(),
                  item(tr("Open the _Log"), Action::openLog, "l"),
                  item(tr("Open Studio's _Data Folder"), Action::openHome, "")}});
  bar.push_back({tr("_Window"),
                 {item(tr("Mi_nimize"), Action::minimize, "m"), item(tr("_Zoom"), Action::zoom, ""),
                  item(tr("_Close"), Action::close, "w"), separator(),
                  item("_Tarvo Studio", Action::showWindow, "0")}});
  return bar;
}

} // namespace tarvo
