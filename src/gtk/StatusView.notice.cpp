// A notice in the status strip: what became of something the page asked
// for, with a button that does what the notice offers.
#include "gtk/StatusView.h"

#include <utility>

namespace tarvo::gtk {

void StatusView::showNotice(const std::string& text, const std::string& button,
                            std::function<void()> action) {
  notice_ = text;
  action_ = text.empty() || button.empty() ? nullptr : std::move(action);
  gtk_button_set_label(GTK_BUTTON(button_), button.c_str());
  refresh();
}

void StatusView::onButton(GtkButton* /*button*/, gpointer self) {
  auto* me = static_cast<StatusView*>(self);
  // A copy: the action may put up another notice.
  if (auto action = me->action_) {
    action();
  }
}

} // namespace tarvo::gtk
