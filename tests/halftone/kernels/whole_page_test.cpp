// Grey pages through the whole object: the set-up conversation, then band
// calls of the dispatcher, checked against what dither and diffusion must
// conserve.
#include <gtest/gtest.h>

#include <vector>

#include "halftone/setup/halftone_fixture.h"

namespace inkdot::testing {
namespace {

constexpr uint32_t kSide = 64;  // one tile of the 64 x 64 test matrix

class WholePageTest : public HalftoneSetupTest {
 protected:
  // Sets a grey single-size-dot page up and halftones a flat kSide x kSide
  // area of source byte v; returns the number of dots.
  int FlatArea(uint32_t method, uint8_t v) {
    page_ = HalftoneParams{method, 0, 0, 0, 720, 720, 1, 0, 0, kSide, 0};
    matrix_ = MatrixResource(kSide, kSide, kSide * kSide, 1);  // ranks 0..4095
    EXPECT_EQ(Run(3), kOk);
    EXPECT_EQ(next_, -1);
    const std::vector<uint8_t> row(kSide, v);
    int dots = 0;
    for (uint32_t y = 0; y < kSide; ++y) {
      uint8_t plane[kSide / 8] = {};
      EXPECT_EQ(HalftoneRun(ht_, row.data(), plane, 0, 0, kSide, 0, 0, y, 0, 0), kOk);
      for (uint8_t byte : plane) dots += __builtin_popcount(byte);
    }
    return dots;
  }
};

TEST_F(WholePageTest, DitherCoversAsManyMatrixRanksAsTheLevelScaleSays) {
  // Each rank 0..4095 lies once in a tile: exactly levelScale[v] of them
  // fall below the scaled level.
  for (uint8_t v : {0, 60, 128, 200, 255}) {
    const int dots = FlatArea(3, v);
    EXPECT_EQ(dots, std::min<int>(Block<uint16_t>(kLevelScaleBlock)[v], 4096))
        << "v " << int(v);
  }
}

TEST_F(WholePageTest, DiffusionPrintsTheInkItWasGiven) {
  // Each dot stands for toneCurve[L] of level L: over the area the dots
  // carry the area's level, less what is left on the error line (at most a
  // tone per column).
  for (uint8_t v : {0, 60, 128, 200, 255}) {
    const int dots = FlatArea(1, v);
    const int level = Block<uint16_t>(kColorTableBlock)[v];
    const int tone = Block<uint16_t>(kToneCurveBlock)[level];
    EXPECT_NEAR(dots * tone, level * int(kSide * kSide), tone * int(kSide))
        << "v " << int(v);
  }
}

}  // namespace
}  // namespace inkdot::testing
