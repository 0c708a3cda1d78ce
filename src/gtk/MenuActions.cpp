// What the menu items do: the delegate's own actions call it; the others are
// carried out here on the window, the page or the application.
#include "gtk/GtkUi.h"

#ifndef TARVO_VERSION
#define TARVO_VERSION "0"
#endif

namespace tarvo::platform::gtk {

void GtkUi::perform(Action action) {
  if (auto delegate = delegate_.lock(); delegate && deliverToDelegate(action, *delegate)) {
    return;
  }
  switch (action) {
  case Action::about:
    showAbout();
    return;
  case Action::hide:
  case Action::minimize:
    if (window_) {
      window_->iconify();
    }
    return;
  case Action::quit:
    shell_.requestQuit();
    return;
  case Action::cut:
  case Action::copy:
  case Action::paste:
  case Action::selectAll:
    // The page is the window's only content that edits.
    if (web_) {
      web_->runEditingCommand(action == Action::cut     ? WEBKIT_EDITING_COMMAND_CUT
                              : action == Action::copy  ? WEBKIT_EDITING_COMMAND_COPY
                              : action == Action::paste ? WEBKIT_EDITING_COMMAND_PASTE
                                                        : WEBKIT_EDITING_COMMAND_SELECT_ALL);
    }
    return;
  case Action::zoom:
    if (window_) {
      window_->toggleZoom();
    }
    return;
  case Action::close:
    if (window_) {
      window_->close();
    }
    return;
  case Action::reload:
  case Action::restartService:
  case Action::openLog:
  case Action::openHome:
  case Action::showWindow:
    // The delegate's own; without one there is nobody to do it.
    return;
  }
}

void GtkUi::showAbout() {
  GtkWindow* parent = window_ && window_->visible() ? window_->window() : nullptr;
  const char* name = g_get_application_name();
  gtk_show_about_dialog(parent, "program-name", name != nullptr ? name : "", "version",
                        TARVO_VERSION, "logo-icon-name", TARVO_APP_ID, nullptr);
}

} // namespace tarvo::platform::gtk
