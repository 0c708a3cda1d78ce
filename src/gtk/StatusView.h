#pragma once

#include "gtk/GObjectPtr.h"

#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace tarvo::gtk {

// The strip above the web view that says what is under way: the
// application's icon, a spinner and one line of text, drawn in the desktop
// theme's own colours. Assistive technology reads it as a status bar whose
// name is the line.
class StatusView {
public:
  explicit StatusView(const char* iconName);
  StatusView(const StatusView&) = delete;
  StatusView& operator=(const StatusView&) = delete;

  [[nodiscard]] GtkWidget* widget() const { return root_.get(); }

  // Shows `line`; an empty line hides the strip and stops the spinner.
  void show(const std::string& line);
  // Says what happened, without the spinner, with a button when `button`
  // names one, while no line is shown (StatusView.notice.cpp). An empty
  // text takes it away.
  void showNotice(const std::string& text, const std::string& button, std::function<void()> action);

private:
  void refresh();
  static void onButton(GtkButton* button, gpointer self);

  GObjectPtr<GtkWidget> root_;
  GtkWidget* spinner_; // owned by root_
  GtkWidget* label_;   // owned by root_
  GtkWidget* button_;  // owned by root_
  std::string line_;
  std::string notice_;
  std::function<void()> action_;
};

} // namespace tarvo::gtk
