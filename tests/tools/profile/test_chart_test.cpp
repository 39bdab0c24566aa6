#include <gtest/gtest.h>

#include <cstdlib>

#include "profile_builder.h"

namespace inkdot::profile {
namespace {

TEST(TestChart, GreyRampIsNeutralAndRunsFromWhiteToBlack) {
  const RgbImage chart = MakeTestChart(600, 400);
  ASSERT_EQ(chart.width, 600);
  ASSERT_EQ(chart.height, 400);
  ASSERT_EQ(chart.rgb.size(), 600u * 400u * 3u);
  auto px = [&](int x, int y) { return &chart.rgb[(size_t(y) * chart.width + x) * 3]; };
  int previous = 256;
  for (int x = 0; x < chart.width; ++x) {
    const uint8_t *p = px(x, 5);
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
    EXPECT_LE(p[0], previous);
    EXPECT_LE(previous - p[0], 2);  // smooth: no step above one level or so
    previous = p[0];
  }
  EXPECT_EQ(px(0, 5)[0], 255);
  EXPECT_EQ(px(chart.width - 1, 5)[0], 0);
}

TEST(TestChart, RefusesSizesOutsideItsRange) {
  EXPECT_THROW(MakeTestChart(10, 400), std::runtime_error);
  EXPECT_THROW(MakeTestChart(400, -1), std::runtime_error);
  EXPECT_NO_THROW(MakeTestChart(64, 64));
}

}  // namespace
}  // namespace inkdot::profile
