#pragma once

#include "gtk/GObjectPtr.h"

#include <webkit2/webkit2.h>

namespace tarvo::gtk {

// The bar that finds text in the page: it searches as the user types,
// ignoring case and wrapping around, and says how many matches there are.
// Return or Control+G goes to the next match, Shift+Return or
// Shift+Control+G to the one before, and Escape closes the bar and takes
// the highlight away. Its buttons are words, not icons: no picture of it
// needs the SVG renderer.
class FindBar {
public:
  explicit FindBar(WebKitWebView* view);
  ~FindBar();
  FindBar(const FindBar&) = delete;
  FindBar& operator=(const FindBar&) = delete;

  [[nodiscard]] GtkWidget* widget() const { return root_.get(); }

  // Shows the bar with the text to find selected, ready to be typed over.
  void open();
  void next();
  void previous();
  void close();

private:
  static void onChanged(GtkEditable* entry, gpointer self);
  static void onEntryActivate(GtkEntry* entry, gpointer self);
  static gboolean onKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
  static void onCounted(WebKitFindController* finder, guint count, gpointer self);
  static void onNotFound(WebKitFindController* finder, gpointer self);

  void search();
  void step(bool forward);
  void showCount(unsigned count);

  GObjectPtr<WebKitWebView> view_;
  WebKitFindController* finder_; // the view's
  GObjectPtr<GtkWidget> root_;
  GtkWidget* entry_; // owned by root_
  GtkWidget* count_; // owned by root_
};

} // namespace tarvo::gtk
