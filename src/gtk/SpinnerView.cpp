#include "gtk/SpinnerView.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarvo::gtk {

namespace {

constexpr int pixels = 16;
constexpr int spokes = 12;
constexpr double secondsPerTurn = 1.0;
constexpr double innerRadius = 0.45; // of half the side
constexpr double lineWidth = 1.6;

} // namespace

SpinnerView::SpinnerView() : area_(gtk_drawing_area_new()) {
  gtk_widget_set_size_request(area_, pixels, pixels);
  gtk_widget_set_valign(area_, GTK_ALIGN_CENTER);
  g_signal_connect(area_, "draw", G_CALLBACK(onDraw), this);
  atk_object_set_role(gtk_widget_get_accessible(area_), ATK_ROLE_ANIMATION);
}

SpinnerView::~SpinnerView() {
  stop();
  g_signal_handlers_disconnect_by_data(area_, this);
}

void SpinnerView::start() {
  if (tick_ == 0) {
    tick_ = gtk_widget_add_tick_callback(area_, onTick, this, nullptr);
  }
}

void SpinnerView::stop() {
  if (tick_ != 0) {
    gtk_widget_remove_tick_callback(area_, tick_);
    tick_ = 0;
  }
}

gboolean SpinnerView::onTick(GtkWidget* widget, GdkFrameClock* clock, gpointer self) {
  auto* me = static_cast<SpinnerView*>(self);
  const double seconds = static_cast<double>(gdk_frame_clock_get_frame_time(clock)) / 1e6;
  me->turn_ = std::fmod(seconds / secondsPerTurn, 1.0);
  gtk_widget_queue_draw(widget);
  return G_SOURCE_CONTINUE;
}

// Spokes fading behind the leading one, which moves a spoke at a time.
gboolean SpinnerView::onDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
  const auto* me = static_cast<SpinnerView*>(self);
  GdkRGBA colour{};
  gtk_style_context_get_color(gtk_widget_get_style_context(widget),
                              gtk_widget_get_state_flags(widget), &colour);
  const double width = gtk_widget_get_allocated_width(widget);
  const double height = gtk_widget_get_allocated_height(widget);
  const double outer = std::min(width, height) / 2.0 - lineWidth / 2.0;
  const int lead = static_cast<int>(me->turn_ * spokes) % spokes;
  cairo_translate(cr, width / 2.0, height / 2.0);
  cairo_set_line_width(cr, lineWidth);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (int i = 0; i < spokes; ++i) {
    const int behind = (lead - i + spokes) % spokes;
    const double angle = 2.0 * std::numbers::pi * i / spokes - std::numbers::pi / 2.0;
    const double alpha = colour.alpha * (1.0 - 0.8 * behind / (spokes - 1));
    cairo_set_source_rgba(cr, colour.red, colour.green, colour.blue, alpha);
    cairo_move_to(cr, innerRadius * outer * std::cos(angle), innerRadius * outer * std::sin(angle));
    cairo_line_to(cr, outer * std::cos(angle), outer * std::sin(angle));
    cairo_stroke(cr);
  }
  return FALSE;
}

} // namespace tarvo::gtk
