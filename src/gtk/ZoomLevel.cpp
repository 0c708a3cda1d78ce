#include "gtk/ZoomLevel.h"

#include <algorithm>
#include <cmath>

namespace tarvo::gtk {

namespace {

constexpr double stepFactor = 1.1;
constexpr double leastFactor = 0.3;
constexpr double mostFactor = 3.0;

double factorAt(int steps) {
  return std::clamp(std::pow(stepFactor, steps), leastFactor, mostFactor);
}

} // namespace

ZoomLevel ZoomLevel::nearest(double factor) {
  ZoomLevel level;
  if (!(factor > 0.0) || !std::isfinite(factor)) {
    return level;
  }
  double best = std::abs(std::log(factor));
  for (int steps = fewestSteps; steps <= mostSteps; ++steps) {
    const double distance = std::abs(std::log(factor / factorAt(steps)));
    if (distance < best) {
      best = distance;
      level.steps_ = steps;
    }
  }
  return level;
}

double ZoomLevel::factor() const {
  return factorAt(steps_);
}

bool ZoomLevel::in() {
  if (steps_ >= mostSteps) {
    return false;
  }
  ++steps_;
  return true;
}

bool ZoomLevel::out() {
  if (steps_ <= fewestSteps) {
    return false;
  }
  --steps_;
  return true;
}

bool ZoomLevel::scroll(double notches) {
  if (!std::isfinite(notches)) {
    return false;
  }
  // A turn the other way starts afresh rather than paying off the rest.
  if ((notches < 0.0) != (unspent_ < 0.0)) {
    unspent_ = 0.0;
  }
  unspent_ += notches;
  bool changed = false;
  while (unspent_ <= -1.0) {
    unspent_ += 1.0;
    changed = in() || changed;
  }
  while (unspent_ >= 1.0) {
    unspent_ -= 1.0;
    changed = out() || changed;
  }
  return changed;
}

} // namespace tarvo::gtk
