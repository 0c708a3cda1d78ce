#include "gtk/FindBar.h"

#include "platform/Translate.h"

#include <cstring>
#include <string>

namespace tarvo::gtk {

namespace {

constexpr int spacing = 6;
constexpr int marginV = 4;
constexpr int marginH = 8;
constexpr int entryChars = 28;
constexpr auto options = WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;

GtkWidget* textButton(const std::string& label, GCallback clicked, gpointer self) {
  GtkWidget* button = gtk_button_new_with_label(label.c_str());
  gtk_widget_set_focus_on_click(button, FALSE);
  g_signal_connect_swapped(button, "clicked", clicked, self);
  return button;
}

} // namespace

FindBar::FindBar(WebKitWebView* view)
    : view_(GObjectPtr<WebKitWebView>::retain(view)),
      finder_(webkit_web_view_get_find_controller(view)),
      root_(GObjectPtr<GtkWidget>::adopt(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0))),
      entry_(gtk_entry_new()), count_(gtk_label_new(nullptr)) {
  using platform::tr;
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, spacing);
  gtk_widget_set_margin_top(row, marginV);
  gtk_widget_set_margin_bottom(row, marginV);
  gtk_widget_set_margin_start(row, marginH);
  gtk_widget_set_margin_end(row, marginH);

  const std::string findLabel = tr("Find in page");
  gtk_entry_set_placeholder_text(GTK_ENTRY(entry_), findLabel.c_str());
  gtk_entry_set_width_chars(GTK_ENTRY(entry_), entryChars);
  atk_object_set_name(gtk_widget_get_accessible(entry_), findLabel.c_str());
  gtk_label_set_xalign(GTK_LABEL(count_), 0);

  gtk_box_pack_start(GTK_BOX(row), entry_, FALSE, FALSE, 0);
  gtk_box_pack_start(
      GTK_BOX(row),
      textButton(tr("Previous"), G_CALLBACK(+[](FindBar* me) { me->step(false); }), this), FALSE,
      FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row),
                     textButton(tr("Next"), G_CALLBACK(+[](FindBar* me) { me->step(true); }), this),
                     FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), count_, TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(row),
                   textButton(tr("Close"), G_CALLBACK(+[](FindBar* me) { me->close(); }), this),
                   FALSE, FALSE, 0);

  GtkWidget* root = root_.get();
  gtk_box_pack_start(GTK_BOX(root), row, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(root), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), FALSE, FALSE, 0);
  gtk_widget_show_all(root);
  gtk_widget_set_no_show_all(root, TRUE);
  gtk_widget_hide(root);
  atk_object_set_name(gtk_widget_get_accessible(root), findLabel.c_str());

  g_signal_connect(entry_, "changed", G_CALLBACK(onChanged), this);
  g_signal_connect(entry_, "activate", G_CALLBACK(onEntryActivate), this);
  g_signal_connect(entry_, "key-press-event", G_CALLBACK(onKeyPress), this);
  g_signal_connect(finder_, "counted-matches", G_CALLBACK(onCounted), this);
  g_signal_connect(finder_, "failed-to-find-text", G_CALLBACK(onNotFound), this);
}

FindBar::~FindBar() {
  g_signal_handlers_disconnect_by_data(finder_, this);
  g_signal_handlers_disconnect_by_data(entry_, this);
}

void FindBar::open() {
  gtk_widget_show(root_.get());
  gtk_widget_grab_focus(entry_); // selects the text, so typing replaces it
}

void FindBar::close() {
  webkit_find_controller_search_finish(finder_);
  gtk_widget_hide(root_.get());
  gtk_label_set_text(GTK_LABEL(count_), "");
  gtk_widget_grab_focus(GTK_WIDGET(view_.get()));
}

void FindBar::next() {
  step(true);
}

void FindBar::previous() {
  step(false);
}

// From the page's keys too: the bar comes back with the text it had.
void FindBar::step(bool forward) {
  if (!gtk_widget_get_visible(root_.get())) {
    gtk_widget_show(root_.get());
  }
  const char* text = gtk_entry_get_text(GTK_ENTRY(entry_));
  if (text == nullptr || *text == '\0') {
    open();
    return;
  }
  const char* searched = webkit_find_controller_get_search_text(finder_);
  if (searched == nullptr || std::strcmp(searched, text) != 0) {
    search(); // the text changed since: start over
  } else if (forward) {
    webkit_find_controller_search_next(finder_);
  } else {
    webkit_find_controller_search_previous(finder_);
  }
}

void FindBar::search() {
  const char* text = gtk_entry_get_text(GTK_ENTRY(entry_));
  if (text == nullptr || *text == '\0') {
    webkit_find_controller_search_finish(finder_);
    gtk_label_set_text(GTK_LABEL(count_), "");
    return;
  }
  webkit_find_controller_search(finder_, text, options, G_MAXUINT);
  webkit_find_controller_count_matches(finder_, text, options, G_MAXUINT);
}

void FindBar::showCount(unsigned count) {
  const std::string line =
      count == 0 ? platform::tr("No matches")
                 : platform::fill(platform::trn("{count} match", "{count} matches", count),
                                  {{"count", std::to_string(count)}});
  gtk_label_set_text(GTK_LABEL(count_), line.c_str());
}

void FindBar::onChanged(GtkEditable* /*entry*/, gpointer self) {
  static_cast<FindBar*>(self)->search();
}

void FindBar::onEntryActivate(GtkEntry* /*entry*/, gpointer self) {
  static_cast<FindBar*>(self)->step(true);
}

gboolean FindBar::onKeyPress(GtkWidget* /*widget*/, GdkEventKey* event, gpointer self) {
  auto* me = static_cast<FindBar*>(self);
  const auto modifiers = event->state & gtk_accelerator_get_default_mod_mask();
  if (event->keyval == GDK_KEY_Escape && modifiers == 0) {
    me->close();
    return TRUE;
  }
  const bool enter = event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter ||
                     event->keyval == GDK_KEY_ISO_Enter;
  if (enter && modifiers == GDK_SHIFT_MASK) {
    me->step(false);
    return TRUE;
  }
  return FALSE;
}

void FindBar::onCounted(WebKitFindController* /*finder*/, guint count, gpointer self) {
  static_cast<FindBar*>(self)->showCount(count);
}

void FindBar::onNotFound(WebKitFindController* /*finder*/, gpointer self) {
  static_cast<FindBar*>(self)->showCount(0);
}

} // namespace tarvo::gtk
