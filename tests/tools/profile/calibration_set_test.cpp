#include "calibration_set.h"

#include <gtest/gtest.h>

namespace inkdot::profile {
namespace {

class CurveSet : public ::testing::TestWithParam<int> {};

TEST_P(CurveSet, MiddleCurveIsIdentityAndHeavierHeadsGetLessInk) {
  const int count = GetParam();
  const Bytes curves = MakeCalibrationCurves(count);
  ASSERT_EQ(curves.size(), size_t(count) * 256);
  auto at = [&](int n, int v) { return int(curves[size_t(n) * 256 + v]); };
  // A printer value equal to the reference picks curve 10 of 21 (18 of 37).
  const int middle = count == 21 ? 10 : 18;
  for (int v = 0; v < 256; ++v) EXPECT_EQ(at(middle, v), v);
  for (int n = 0; n < count; ++n) {
    EXPECT_EQ(at(n, 0), 0);
    EXPECT_EQ(at(n, 255), 255);
    for (int v = 1; v < 256; ++v) EXPECT_GE(at(n, v), at(n, v - 1)) << "curve " << n;
    if (n > 0) {
      for (int v = 0; v < 256; ++v) EXPECT_LE(at(n, v), at(n - 1, v)) << "curve " << n;
    }
  }
  // The ends of the set correct visibly: mid-grey moves by several levels.
  EXPECT_LT(at(count - 1, 128), 128 - 4);
  EXPECT_GT(at(0, 128), 128 + 4);
}

INSTANTIATE_TEST_SUITE_P(Counts, CurveSet, ::testing::Values(21, 37));

}  // namespace
}  // namespace inkdot::profile
