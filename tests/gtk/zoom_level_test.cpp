// The page's zoom steps: 10 % each way, 30 % to 300 %, back to exactly
// 100 % after as many steps out as in, and a wheel's smooth scrolling added
// up into whole steps.
#include "gtk/ZoomLevel.h"

#include <gtest/gtest.h>

namespace tarvo::gtk {
namespace {

TEST(ZoomLevel, StepsAreTenPercentAndSymmetric) {
  ZoomLevel level;
  EXPECT_DOUBLE_EQ(level.factor(), 1.0);
  ASSERT_TRUE(level.in());
  EXPECT_DOUBLE_EQ(level.factor(), 1.1);
  for (int i = 0; i < 5; ++i) {
    level.in();
  }
  for (int i = 0; i < 6; ++i) {
    level.out();
  }
  EXPECT_DOUBLE_EQ(level.factor(), 1.0);
}

TEST(ZoomLevel, StaysBetweenThirtyAndThreeHundredPercent) {
  ZoomLevel level;
  while (level.out()) {
  }
  EXPECT_DOUBLE_EQ(level.factor(), 0.3);
  while (level.in()) {
  }
  EXPECT_DOUBLE_EQ(level.factor(), 3.0);
  EXPECT_FALSE(level.in());
}

TEST(ZoomLevel, SmoothScrollingAddsUpToWholeSteps) {
  ZoomLevel level;
  EXPECT_FALSE(level.scroll(-0.4));
  EXPECT_FALSE(level.scroll(-0.4));
  EXPECT_TRUE(level.scroll(-0.4)); // a whole notch up: one step in
  EXPECT_EQ(level.steps(), 1);
  EXPECT_FALSE(level.scroll(0.5)); // the other way starts afresh
  EXPECT_TRUE(level.scroll(0.5));
  EXPECT_EQ(level.steps(), 0);
  EXPECT_TRUE(level.scroll(3.0)); // a fast wheel: three steps out
  EXPECT_EQ(level.steps(), -3);
}

TEST(ZoomLevel, ARememberedZoomComesBackAsItsNearestStep) {
  EXPECT_EQ(ZoomLevel::nearest(1.21).steps(), 2);
  EXPECT_EQ(ZoomLevel::nearest(0.3).factor(), 0.3);
  EXPECT_EQ(ZoomLevel::nearest(12.0).factor(), 3.0);
  EXPECT_EQ(ZoomLevel::nearest(0.0).steps(), 0);
}

} // namespace
} // namespace tarvo::gtk
