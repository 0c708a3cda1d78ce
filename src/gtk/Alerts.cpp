#include "gtk/Alerts.h"

#include "gtk/FocusOnMap.h"

#include <utility>

namespace tarvo::gtk {

namespace {

struct Pending {
  platform::AlertDone done;
  int buttons = 0;
  bool answered = false;
};

gboolean destroyLater(gpointer widget) {
  gtk_widget_destroy(GTK_WIDGET(widget));
  return G_SOURCE_REMOVE;
}

void onResponse(GtkDialog* dialog, gint response, gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  if (pending->answered) {
    return;
  }
  pending->answered = true;
  platform::AlertDone done = std::move(pending->done);
  const int answer = response >= 0 && response < pending->buttons ? response : -1;
  // Hidden at once, so whatever `done` shows next is not stacked under it;
  // destroyed once the event that answered it (a key press, a click) has
  // been fully handled, since GTK and the accessibility bridge still look at
  // the dialog on the way out of that event.
  gtk_widget_hide(GTK_WIDGET(dialog));
  // The idle source holds a reference of its own until it is gone.
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, destroyLater, g_object_ref(dialog), g_object_unref);
  if (done) {
    done(answer);
  }
}

void freePending(gpointer data, GClosure* /*closure*/) {
  delete static_cast<Pending*>(data);
}

} // namespace

GtkWidget* showDialog(const platform::Alert& alert, GtkWindow* parent, bool modal,
                      platform::AlertDone done) {
  const auto flags = modal ? GTK_DIALOG_MODAL : GtkDialogFlags(0);
  // "%s" keeps any percent sign of the message literal.
  GtkWidget* widget = gtk_message_dialog_new(parent, flags, GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE,
                                             "%s", alert.message.c_str());
  GtkDialog* dialog = GTK_DIALOG(widget);
  if (!alert.informative.empty()) {
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(widget), "%s",
                                             alert.informative.c_str());
  }
  // The title is what assistive technology names the dialog by.
  gtk_window_set_title(GTK_WINDOW(widget), alert.message.c_str());
  gtk_window_set_position(GTK_WINDOW(widget),
                          parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  if (parent != nullptr) {
    gtk_window_set_destroy_with_parent(GTK_WINDOW(widget), FALSE);
  }

  const int count = static_cast<int>(alert.buttons.size());
  GtkWidget* defaultButton = nullptr;
  for (int i = 0; i < count; ++i) {
    GtkWidget* button =
        gtk_dialog_add_button(dialog, alert.buttons[static_cast<std::size_t>(i)].c_str(), i);
    gtk_button_set_use_underline(GTK_BUTTON(button), FALSE);
    if (i == alert.defaultButton) {
      defaultButton = button;
    }
  }
  if (defaultButton != nullptr) {
    gtk_dialog_set_default_response(dialog, alert.defaultButton);
    // Focus on the default button, so Return answers it whatever else the
    // dialog holds (its labels are selectable and would take focus).
    gtk_widget_grab_focus(defaultButton);
  }

  g_signal_connect_data(widget, "response", G_CALLBACK(onResponse),
                        new Pending{std::move(done), count}, freePending, GConnectFlags(0));
  focusWhenMapped(GTK_WINDOW(widget));
  gtk_window_present(GTK_WINDOW(widget));
  return widget;
}

} // namespace tarvo::gtk
