#pragma once

#include <gtk/gtk.h>

namespace tarvo::gtk {

// A busy spinner drawn with a few lines of cairo in the theme's text colour.
// GTK's own spinner draws a symbolic icon, which loads the SVG renderer into
// the process for the sake of one turning circle.
class SpinnerView {
public:
  SpinnerView();
  ~SpinnerView();
  SpinnerView(const SpinnerView&) = delete;
  SpinnerView& operator=(const SpinnerView&) = delete;

  // Owned by the container it is packed into.
  [[nodiscard]] GtkWidget* widget() const { return area_; }

  void start();
  void stop();

private:
  static gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static gboolean onTick(GtkWidget* widget, GdkFrameClock* clock, gpointer self);

  GtkWidget* area_;
  guint tick_ = 0;
  double turn_ = 0.0; // of a whole turn, 0 to 1
};

} // namespace tarvo::gtk
