#include "shell/AppDelegate.h"

namespace tarvo {
namespace {

using platform::Action;
using platform::MenuItem;
using platform::Target;

MenuItem item(std::string title, Action action, std::string key, Target target,
              bool shift = false) {
  return {false, std::move(title), action, std::move(key), shift, target};
}

MenuItem separator() {
  return {true, {}, Action::about, {}, false, Target::firstResponder};
}

constexpr Target responder = Target::firstResponder;
constexpr Target delegate = Target::delegate;

} // namespace

// Control stands where the Mac has Command; every item carries it, and an
// empty key means no shortcut at all.
platform::MenuBar AppDelegate::menuBar() {
  platform::MenuBar bar;
  bar.push_back({"",
                 {item("About Tarvo Studio", Action::about, "", responder), separator(),
                  item("Hide Tarvo Studio", Action::hide, "h", responder), separator(),
                  item("Quit Tarvo Studio", Action::quit, "q", responder)},
                 false});
  bar.push_back(
      {"Edit",
       {item("Cut", Action::cut, "x", responder), item("Copy", Action::copy, "c", responder),
        item("Paste", Action::paste, "v", responder),
        item("Select All", Action::selectAll, "a", responder)},
       false});
  bar.push_back({"Studio",
                 {item("Reload the Window", Action::reload, "r", delegate),
                  item("Restart the Service", Action::restartService, "r", delegate, true),
                  separator(), item("Open the Log", Action::openLog, "l", delegate),
                  item("Open Studio's Data Folder", Action::openHome, "", delegate)},
                 false});
  bar.push_back(
      {"Window",
       {item("Minimize", Action::minimize, "m", responder),
        item("Zoom", Action::zoom, "", responder), item("Close", Action::close, "w", responder),
        separator(), item("Tarvo Studio", Action::showWindow, "0", delegate)},
       true});
  return bar;
}

} // namespace tarvo
