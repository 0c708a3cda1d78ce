#include "gtk/StatusView.h"

namespace tarvo::gtk {

namespace {

constexpr int iconPixels = 32;
constexpr int spacing = 12;
constexpr int marginV = 8;
constexpr int marginH = 16;

} // namespace

StatusView::StatusView(const char* iconName)
    : root_(GObjectPtr<GtkWidget>::adopt(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0))),
      spinner_(gtk_spinner_new()), label_(gtk_label_new(nullptr)), button_(gtk_button_new()) {
  GtkWidget* root = root_.get();
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, spacing);
  gtk_widget_set_margin_top(row, marginV);
  gtk_widget_set_margin_bottom(row, marginV);
  gtk_widget_set_margin_start(row, marginH);
  gtk_widget_set_margin_end(row, marginH);

  GtkWidget* icon = gtk_image_new_from_icon_name(iconName, GTK_ICON_SIZE_DND);
  gtk_image_set_pixel_size(GTK_IMAGE(icon), iconPixels);
  gtk_label_set_xalign(GTK_LABEL(label_), 0);
  gtk_label_set_ellipsize(GTK_LABEL(label_), PANGO_ELLIPSIZE_END);
  gtk_label_set_single_line_mode(GTK_LABEL(label_), TRUE);

  gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), spinner_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), label_, TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(row), button_, FALSE, FALSE, 0);
  g_signal_connect(button_, "clicked", G_CALLBACK(onButton), this);
  gtk_box_pack_start(GTK_BOX(root), row, FALSE, FALSE, 0);
  // The window's own background shows through; the separator, in the
  // theme's colour, sets the strip off from the page below.
  gtk_box_pack_start(GTK_BOX(root), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), FALSE, FALSE, 0);
  gtk_widget_show_all(row);
  gtk_widget_set_no_show_all(button_, TRUE);
  gtk_widget_hide(button_);
  gtk_widget_show_all(root);
  gtk_widget_set_no_show_all(root, TRUE);
  gtk_widget_hide(root);

  atk_object_set_role(gtk_widget_get_accessible(root), ATK_ROLE_STATUSBAR);
}

void StatusView::show(const std::string& line) {
  line_ = line;
  refresh();
}

// The line of a start comes first; a notice waits below it.
void StatusView::refresh() {
  GtkWidget* root = root_.get();
  AtkObject* accessible = gtk_widget_get_accessible(root);
  const std::string& text = line_.empty() ? notice_ : line_;
  if (text.empty()) {
    gtk_spinner_stop(GTK_SPINNER(spinner_));
    gtk_widget_hide(root);
    atk_object_set_name(accessible, "");
    return;
  }
  gtk_label_set_text(GTK_LABEL(label_), text.c_str());
  atk_object_set_name(accessible, text.c_str());
  const bool notice = line_.empty();
  gtk_widget_set_visible(spinner_, notice ? FALSE : TRUE);
  if (notice) {
    gtk_spinner_stop(GTK_SPINNER(spinner_));
  } else {
    gtk_spinner_start(GTK_SPINNER(spinner_));
  }
  gtk_widget_set_visible(button_, notice && action_ ? TRUE : FALSE);
  gtk_widget_show(root);
}

} // namespace tarvo::gtk
