#pragma once

namespace tarvo::gtk {

// The page's zoom as the user steps it: steps of 10 % each way from 100 %,
// from 30 % to 300 %. A level is a count of steps, so zooming out as often as
// in comes back to exactly 100 %. A wheel (or a touchpad's smooth scrolling)
// with Control adds up its movement and steps once per whole notch.
class ZoomLevel {
public:
  static constexpr int fewestSteps = -13; // 30 %
  static constexpr int mostSteps = 12;    // 300 %

  // The level whose zoom is nearest to `factor` (a remembered one).
  [[nodiscard]] static ZoomLevel nearest(double factor);

  [[nodiscard]] int steps() const { return steps_; }
  [[nodiscard]] double factor() const;

  // One step; false at the end already.
  bool in();
  bool out();
  // `notches` of a wheel, up (zoom in) when negative as GDK reports them;
  // true when the level changed.
  bool scroll(double notches);

private:
  int steps_ = 0;
  double unspent_ = 0.0; // scrolled, not yet a whole notch
};

} // namespace tarvo::gtk
