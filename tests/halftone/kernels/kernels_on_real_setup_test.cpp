// The multi-size-dot kernels over objects built by the real set-up: the
// tables they read must be the ones the set-up writes.
#include <gtest/gtest.h>

#include "halftone/kernels/row_kernels.h"
#include "halftone/setup/halftone_fixture.h"

namespace inkdot::testing {
namespace {

class KernelsOnRealSetupTest : public HalftoneSetupTest {
 protected:
  // Ranks 0..4095 row by row: row 0 holds the lowest thresholds.
  KernelsOnRealSetupTest() { matrix_ = MatrixResource(64, 64, 4096, 1); }
  // Every pixel of plane k of a `count`-pixel run: true when it has a dot.
  std::vector<bool> Dots(const uint8_t *plane, uint32_t count) {
    std::vector<bool> out;
    for (uint32_t i = 0; i < count; ++i)
      out.push_back((plane[i / 4] >> (6 - 2 * (i % 4))) & 3);
    return out;
  }
  // Runs `count` copies of `pixel` through `kernel` on row `row`.
  void RunRow(RowKernel kernel, const Bytes &pixel, uint32_t count, uint32_t row) {
    Bytes src;
    for (uint32_t i = 0; i < count; ++i)
      src.insert(src.end(), pixel.begin(), pixel.end());
    std::memset(out_, 0x5A, sizeof out_);
    ASSERT_EQ(kernel(ht_, RowRun{src.data(), out_[0], 32, 0, count, 0, 0, row, 0, 0}),
              kOk);
  }
  uint8_t out_[4][32];
};

// Palette entry 255 is (85, 85, 85); entry 0 prints nothing.
TEST_F(KernelsOnRealSetupTest, ColourBlackPrintsEveryDiffusedInkAndWhiteNothing) {
  SetSourceGrid({0, 255}, 4);
  std::fill(source_.begin(), source_.end(), 0);
  std::fill(source_.begin(), source_.begin() + 4, 255);  // black: index 255 on all inks
  ASSERT_EQ(Run(4), kOk);
  for (uint32_t row = 0; row < 3; ++row) {
    RunRow(HybridColorRow, {0, 0, 0, 0}, 100, row);
    for (int k : {0, 1, 3}) EXPECT_EQ(Dots(out_[k], 100), std::vector<bool>(100, true));
    RunRow(HybridColorRow, {255, 255, 255, 0}, 100, row);
    for (int k = 0; k < 4; ++k)
      EXPECT_EQ(Dots(out_[k], 100), std::vector<bool>(100, false));
  }
}

TEST_F(KernelsOnRealSetupTest, GreyBlackPrintsEveryPixelAndWhiteNothing) {
  page_.inputFormat = 0;
  page_.colorMode = 0;
  for (uint32_t method : {1u, 3u}) {
    page_.method = method;
    ASSERT_EQ(Run(4), kOk);
    const RowKernel kernel = method == 1 ? DotDiffuseMonoRow : DotDitherMonoRow;
    RunRow(kernel, {0}, 100, 0);
    EXPECT_EQ(Dots(out_[0], 100), std::vector<bool>(100, true)) << "method " << method;
    RunRow(kernel, {255}, 100, 1);
    EXPECT_EQ(Dots(out_[0], 100), std::vector<bool>(100, false)) << "method " << method;
  }
}

}  // namespace
}  // namespace inkdot::testing
