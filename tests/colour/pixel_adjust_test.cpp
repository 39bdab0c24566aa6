#include "colour/rebuild.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "colour/cm_context.h"
#include "colour/option_list.h"
#include "colour/pixel_adjust.h"
#include "frame/memory_blocks.h"
#include "support/option_list_builder.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using testing::LiveAllocations;
using testing::PlatformOp;
using Rgb = std::array<int32_t, 3>;

Rgb Saturate(int32_t s, Rgb rgb) {
  SaturateColour(s, rgb.data());
  return rgb;
}

TEST(PixelAdjustTest, SaturationStretchesFromTheSmallest) {
  // Red smallest: g = 40 + 60 * 150 / 100, b = 40 + 160 * 150 / 100 -> 255.
  EXPECT_EQ(Saturate(50, {40, 100, 200}), (Rgb{40, 130, 255}));
  EXPECT_EQ(Saturate(-50, {40, 100, 200}), (Rgb{40, 70, 120}));
  // Green smallest, tied with blue: r = 50 + 50 * 150 / 100.
  EXPECT_EQ(Saturate(50, {100, 50, 50}), (Rgb{125, 50, 50}));
  EXPECT_EQ(Saturate(50, {200, 30, 40}), (Rgb{255, 30, 45}));
  // Blue strictly smallest takes k2 = 140: r = 264 -> 255, g = 40 + 84.
  EXPECT_EQ(Saturate(50, {200, 100, 40}), (Rgb{255, 124, 40}));
  EXPECT_EQ(Saturate(50, {100, 100, 50}), (Rgb{120, 120, 50}));
  // k2 = -2640 / 100 + 100 = 74 (truncated towards zero, not down to 73).
  EXPECT_EQ(Saturate(-33, {200, 100, 40}), (Rgb{158, 84, 40}));
  EXPECT_EQ(Saturate(50, {77, 77, 77}), (Rgb{77, 77, 77}));
  EXPECT_EQ(Saturate(0, {10, 200, 30}), (Rgb{10, 200, 30}));
}

// The corrections on (c, m, y), to keep the hand calculations readable.
struct Corrections {
  uint16_t dominant[3] = {};
  int16_t pair[3] = {};
  int16_t hue[3] = {};

  Rgb operator()(Rgb cmy) const {
    Rgb rgb = {255 - cmy[0], 255 - cmy[1], 255 - cmy[2]};
    CorrectInks(dominant, pair, hue, rgb.data());
    return {255 - rgb[0], 255 - rgb[1], 255 - rgb[2]};
  }
};

TEST(PixelAdjustTest, InkCorrections) {
  Corrections x;
  x.dominant[0] = 50;  // c = 200 - (100 * 50) / 100
  EXPECT_EQ(x({200, 100, 50}), (Rgb{150, 100, 50}));
  EXPECT_EQ(x({100, 200, 50}), (Rgb{100, 200, 50}));  // magenta's own is 0
  x.dominant[1] = 255;  // below 0: held at 0
  EXPECT_EQ(x({0, 200, 0}), (Rgb{0, 0, 0}));

  Corrections p;
  p.pair[0] = 50;  // d = (60 * 50) / 100 off magenta and yellow
  EXPECT_EQ(p({40, 100, 200}), (Rgb{40, 70, 170}));
  p.pair[2] = -10;  // d = (70 * -10) / 100 = -7: cyan and magenta rise
  EXPECT_EQ(p({90, 150, 20}), (Rgb{97, 157, 20}));
  p.pair[1] = 300;  // d = 150 takes cyan below 0
  EXPECT_EQ(p({60, 10, 200}), (Rgb{0, 10, 50}));

  Corrections h;
  h.hue[0] = 25;  // d = (60 * 25 + 50) / 100 = 15 off magenta
  EXPECT_EQ(h({40, 100, 200}), (Rgb{40, 85, 200}));
  h.hue[0] = -25;  // d = (60 * -25 - 50) / 100 = -15 added to yellow
  EXPECT_EQ(h({40, 100, 200}), (Rgb{40, 100, 185}));
  h.hue[0] = 1;  // the rounding term makes half a step a whole one
  EXPECT_EQ(h({0, 50, 255}), (Rgb{0, 49, 255}));
  h.hue[1] = -20;  // magenta smallest: d = -20 added to cyan
  EXPECT_EQ(h({150, 50, 250}), (Rgb{130, 50, 250}));
  h.hue[2] = 100;  // yellow smallest: cyan falls by the whole lead
  EXPECT_EQ(h({80, 90, 0}), (Rgb{0, 90, 0}));

  // In order: dominant (150, 100, 50); pair, yellow smallest, d = 25:
  // (125, 75, 50); hue d = (25 * 50 + 50) / 100 = 13 off cyan.
  Corrections all;
  all.dominant[0] = 50;
  all.pair[2] = 50;
  all.hue[2] = 50;
  EXPECT_EQ(all({200, 100, 50}), (Rgb{112, 75, 50}));
  EXPECT_EQ(all({128, 128, 128}), (Rgb{128, 128, 128}));
  Corrections rise;  // above 255 until the final clamp
  rise.pair[0] = -100;
  EXPECT_EQ(rise({0, 200, 250}), (Rgb{0, 255, 255}));
}

// A hand-made object holding a cube table over `nodes` on every axis whose
// channels 0..2 are the node's red, green and blue positions (channel 3 a
// mix): a rebuilt node's bytes name the colour that was looked up.
class RebuildTest : public ::testing::Test {
 protected:
  RebuildTest() { page_.method = 3; }  // method 0 would force mode 2

  ~RebuildTest() override {
    if (cm_ != nullptr) DeleteCmContext(cm_);
    EXPECT_EQ(LiveAllocations(), 0);
  }

  void Install(const std::vector<uint8_t> &nodes, bool scrambled = false) {
    int32_t nextId = 0;
    ASSERT_EQ(NewCmContext(&params_, &page_, &nextId, &cm_), kOk);
    CmLut *lut = cm_->lut;
    const int n = static_cast<int>(nodes.size());
    lut->channelCount = 4;
    lut->gridSize1 = lut->gridSize2 = lut->gridSize3 = n;
    for (uint8_t *list : {lut->nodes1, lut->nodes2, lut->nodes3}) {
      std::memcpy(list, nodes.data(), nodes.size());
    }
    void *memory = nullptr;
    ASSERT_EQ(MemAcquire(n * n * n * 4, 1, &lut->tableHandle, &memory), kOk);
    lut->tableData = static_cast<uint8_t *>(memory);
    for (int i = 0; i < n * n * n; ++i) {
      const Rgb at = {nodes[i / (n * n)], nodes[i / n % n], nodes[i % n]};
      for (int c = 0; c < 4; ++c) {
        lut->tableData[4 * i + c] = static_cast<uint8_t>(
            scrambled ? at[0] * 7 + at[1] * 13 + at[2] * 31 + c * 61
                      : (c < 3 ? at[c] : (at[0] + 2 * at[1] + at[2]) / 4));
      }
    }
    nodes_ = nodes;
    original_.assign(lut->tableData, lut->tableData + n * n * n * 4);
  }

  // The rebuilt node at positions (r, g, b), as the colour it holds.
  Rgb Out(int r, int g, int b) const {
    auto at = [this](int v) { return std::find(nodes_.begin(), nodes_.end(), v) - nodes_.begin(); };
    const long n = static_cast<long>(nodes_.size());
    const uint8_t *p = cm_->lut->tableData + ((at(r) * n + at(g)) * n + at(b)) * 4;
    return {p[0], p[1], p[2]};
  }

  bool Unchanged() const {
    return std::memcmp(cm_->lut->tableData, original_.data(), original_.size()) == 0;
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  CmContext *cm_ = nullptr;
  std::vector<uint8_t> nodes_, original_;
};

TEST_F(RebuildTest, NeutralSettingsLeaveEveryNode) {
  for (int32_t mode : {0, 2}) {  // the enhanced adjustment with no corrections too
    params_.colorAdjustMode = mode;
    Install({0, 17, 60, 128, 200, 255}, true);
    const uint8_t *before = cm_->lut->tableData;
    ASSERT_EQ(RebuildTable(cm_), kOk);
    EXPECT_NE(cm_->lut->tableData, before);
    EXPECT_TRUE(Unchanged());
    EXPECT_EQ(LiveAllocations(), 3);  // object, CmLut, the new table
    DeleteCmContext(cm_);
    cm_ = nullptr;
  }
}

TEST_F(RebuildTest, SaturationAndItsBoost) {
  const std::vector<uint8_t> nodes = {0, 40, 100, 124, 130, 200, 255};
  params_.saturation = 50;
  Install(nodes);
  ASSERT_EQ(RebuildTable(cm_), kOk);
  EXPECT_EQ(Out(40, 100, 200), (Rgb{40, 130, 255}));
  EXPECT_EQ(Out(200, 100, 40), (Rgb{255, 124, 40}));
  DeleteCmContext(cm_);

  // 40 + 20 under the enhanced adjustment is capped at 50 (60 would give
  // g = 136); grey mode 1 turns the adjustment off and leaves 40 (g = 124).
  params_.saturation = 40;
  params_.colorAdjustMode = 2;
  for (int32_t grayMode : {0, 1}) {
    params_.grayMode = grayMode;
    Install(nodes);
    cm_->saturationBoost = 20;
    ASSERT_EQ(RebuildTable(cm_), kOk);
    EXPECT_EQ(Out(40, 100, 200), (Rgb{40, grayMode == 0 ? 130 : 124, 255}));
    DeleteCmContext(cm_);
  }
  cm_ = nullptr;
}

TEST_F(RebuildTest, BlackAndWhiteCornersKeepTheirInks) {
  params_.brightness = 50;
  Install({0, 64, 128, 191, 255});
  ASSERT_EQ(RebuildTable(cm_), kOk);
  EXPECT_EQ(Out(0, 0, 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(Out(255, 255, 255), (Rgb{255, 255, 255}));
  EXPECT_EQ(Out(0, 0, 64), (Rgb{0, 0, 128}));  // 2 x 64 below the shoulder
  for (int r : {0, 64, 128, 191}) {
    for (int b : {64, 128, 191}) EXPECT_NE(Out(r, r, b), (Rgb{r, r, b}));
  }
  DeleteCmContext(cm_);

  // Contrast -50 would send 0 to 64 and 255 to 191: the corners are not
  // adjusted, their neighbours in the same rows are.
  params_ = CmParams{};
  params_.contrast = -50;
  Install({0, 64, 128, 191, 255});
  ASSERT_EQ(RebuildTable(cm_), kOk);
  EXPECT_EQ(Out(0, 0, 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(Out(255, 255, 255), (Rgb{255, 255, 255}));
  EXPECT_EQ(Out(0, 0, 64)[0], 64);
  EXPECT_EQ(Out(255, 255, 191)[0], 191);
}

TEST_F(RebuildTest, CorrectionsOnlyUnderTheEnhancedAdjustment) {
  for (int32_t mode : {2, 1}) {
    params_.colorAdjustMode = mode;
    Install({0, 55, 105, 155, 205, 255});
    cm_->dominantReduction[0] = 50;
    ASSERT_EQ(RebuildTable(cm_), kOk);
    // (c, m, y) = (200, 100, 50): cyan falls to 150, red rises to 105.
    EXPECT_EQ(Out(55, 155, 205), (Rgb{mode == 2 ? 105 : 55, 155, 205}));
    DeleteCmContext(cm_);
  }
  cm_ = nullptr;
}

TEST_F(RebuildTest, EveryFailureKeepsTheOldTable) {
  params_.brightness = 20;
  params_.colorAdjustMode = 2;
  Install({0, 128, 255});
  const uint8_t *before = cm_->lut->tableData;
  auto expectKept = [&](ResultCode want) {
    EXPECT_EQ(RebuildTable(cm_), want);
    EXPECT_EQ(cm_->lut->tableData, before);
    EXPECT_TRUE(Unchanged());
    EXPECT_EQ(LiveAllocations(), 3);
  };
  // The new table is taken first, then the curves.
  for (int n : {1, 2}) {
    testing::FailNthCall(PlatformOp::kAlloc, n);
    expectKept(kAllocFailed);
    testing::FailNthCall(PlatformOp::kLock, n);
    expectKept(kLockFailed);
  }
  cm_->saturationBoost = -51;  // the boosted saturation 0 - 51 is refused
  expectKept(kBadParams);
  cm_->saturationBoost = 0;
  const int32_t gamma = 99;
  testing::OptionListBuilder options;
  options.Add(kOptionGamma, &gamma);
  cm_->params.options = options.List();
  expectKept(kBadTable);
}

}  // namespace
}  // namespace inkdot
