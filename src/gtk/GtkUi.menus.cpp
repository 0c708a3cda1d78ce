// What the menu items do: the delegate's own actions call it; the others are
// carried out here on the window, the page or the application.
#include "gtk/GtkUi.h"

#include "platform/Translate.h"

#include <string>

#ifndef TARVO_VERSION
#define TARVO_VERSION "0"
#endif
#ifndef TARVO_HOMEPAGE
#define TARVO_HOMEPAGE ""
#endif
#ifndef TARVO_COPYRIGHT
#define TARVO_COPYRIGHT ""
#endif

namespace tarvo::gtk {

void GtkUi::perform(platform::Action action) {
  if (auto delegate = delegate_.lock(); delegate && deliverToDelegate(action, *delegate)) {
    return;
  }
  switch (action) {
  case platform::Action::about:
    showAbout();
    return;
  case platform::Action::hide:
  case platform::Action::minimize:
    if (window_) {
      window_->iconify();
    }
    return;
  case platform::Action::quit:
    shell_.requestQuit();
    return;
  case platform::Action::cut:
  case platform::Action::copy:
  case platform::Action::paste:
  case platform::Action::selectAll:
    // The find bar's field, while it has the focus; otherwise the page.
    if (GtkEditable* entry = focusedEntry()) {
      editEntry(entry, action);
    } else if (web_) {
      web_->runEditingCommand(action == platform::Action::cut    ? WEBKIT_EDITING_COMMAND_CUT
                              : action == platform::Action::copy ? WEBKIT_EDITING_COMMAND_COPY
                              : action == platform::Action::paste
                                  ? WEBKIT_EDITING_COMMAND_PASTE
                                  : WEBKIT_EDITING_COMMAND_SELECT_ALL);
    }
    return;
  case platform::Action::zoom:
    if (window_) {
      window_->toggleZoom();
    }
    return;
  case platform::Action::close:
    if (window_) {
      window_->close();
    }
    return;
  case platform::Action::reload:
  case platform::Action::restartService:
  case platform::Action::openLog:
  case platform::Action::openHome:
  case platform::Action::showWindow:
    // The delegate's own; without one there is nobody to do it.
    return;
  }
}

void GtkUi::editEntry(GtkEditable* entry, platform::Action action) {
  switch (action) {
  case platform::Action::cut:
    gtk_editable_cut_clipboard(entry);
    return;
  case platform::Action::copy:
    gtk_editable_copy_clipboard(entry);
    return;
  case platform::Action::paste:
    gtk_editable_paste_clipboard(entry);
    return;
  case platform::Action::selectAll:
    gtk_editable_select_region(entry, 0, -1);
    return;
  default:
    return;
  }
}

// The name, what it is in a line, its version, its website, its licence
// and who holds the copyright.
void GtkUi::showAbout() {
  GtkWindow* parent = window_ && window_->visible() ? window_->window() : nullptr;
  const char* name = g_get_application_name();
  const std::string summary = platform::tr("One window onto your local Tarvo Studio service");
  const std::string copyright = std::string("Copyright \u00A9 ") + TARVO_COPYRIGHT;
  gtk_show_about_dialog(parent, "program-name", name != nullptr ? name : "", "version",
                        TARVO_VERSION, "logo-icon-name", TARVO_APP_ID, "comments", summary.c_str(),
                        "website", TARVO_HOMEPAGE, "website-label", TARVO_HOMEPAGE, "license-type",
                        GTK_LICENSE_MIT_X11, "copyright", copyright.c_str(), nullptr);
}

} // namespace tarvo::gtk
