#include "colour/rebuild.h"

#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "colour/cm_context.h"
#include "colour/option_list.h"
#include "frame/memory_blocks.h"
#include "support/option_list_builder.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using testing::FailNthCall;
using testing::LiveAllocations;
using testing::PlatformOp;

// Channel bytes of the node at red, green and blue positions (r, g, b).
using NodeFill = std::function<void(int r, int g, int b, uint8_t *channels)>;

// The node's own position in channels 0..2 and a mix of them in channel 3:
// on such a table a node's output names the colour that was looked up.
void PositionFill(int r, int g, int b, uint8_t *channels) {
  channels[0] = static_cast<uint8_t>(r);
  channels[1] = static_cast<uint8_t>(g);
  channels[2] = static_cast<uint8_t>(b);
  channels[3] = static_cast<uint8_t>((r + 2 * g + b) / 4);
}

class RebuildTest : public ::testing::Test {
 protected:
  RebuildTest() {
    page_.method = 3;  // method 0 would switch the enhanced adjustment on
    page_.inputFormat = 2;
  }

  ~RebuildTest() override {
    if (cm_ != nullptr) DeleteCmContext(cm_);
    EXPECT_EQ(LiveAllocations(), 0);
  }

  // Creates the object and installs a cube table over `nodes` on every
  // axis, as the decoder would leave it.
  void Install(const std::vector<uint8_t> &nodes, const NodeFill &fill) {
    int32_t nextId = 0;
    ASSERT_EQ(NewCmContext(&params_, &page_, &nextId, &cm_), kOk);
    CmLut *lut = cm_->lut;
    const int n = static_cast<int>(nodes.size());
    lut->channelCount = kChannels;
    lut->gridSize1 = lut->gridSize2 = lut->gridSize3 = n;
    lut->gridSize4 = 1;
    std::memcpy(lut->nodes1, nodes.data(), nodes.size());
    std::memcpy(lut->nodes2, nodes.data(), nodes.size());
    std::memcpy(lut->nodes3, nodes.data(), nodes.size());
    void *memory = nullptr;
    ASSERT_EQ(MemAcquire(static_cast<uint32_t>(n * n * n * kChannels), 1,
                         &lut->tableHandle, &memory),
              kOk);
    lut->tableData = static_cast<uint8_t *>(memory);
    for (int a = 0; a < n; ++a) {
      for (int b = 0; b < n; ++b) {
        for (int c = 0; c < n; ++c) fill(nodes[a], nodes[b], nodes[c], Node(a, b, c));
      }
    }
    nodes_ = nodes;
    original_.assign(lut->tableData, lut->tableData + n * n * n * kChannels);
  }

  // The channel bytes of node (a, b, c) of the installed table.
  uint8_t *Node(int a, int b, int c) const {
    const int n = cm_->lut->gridSize1;
    return cm_->lut->tableData + ((a * n + b) * n + c) * kChannels;
  }

  // Index of a position in the node list.
  int At(int position) const {
    for (size_t i = 0; i < nodes_.size(); ++i) {
      if (nodes_[i] == position) return static_cast<int>(i);
    }
    ADD_FAILURE() << position << " is not a node";
    return 0;
  }

  // The table bytes of the node at positions (r, g, b) after the rebuild.
  std::vector<int> Out(int r, int g, int b) const {
    const uint8_t *p = Node(At(r), At(g), At(b));
    return {p[0], p[1], p[2], p[3]};
  }

  bool TableUnchanged() const {
    return std::memcmp(cm_->lut->tableData, original_.data(), original_.size()) == 0;
  }

  static constexpr int kChannels = 4;
  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  CmContext *cm_ = nullptr;
  std::vector<uint8_t> nodes_;
  std::vector<uint8_t> original_;
};

std::vector<int> Colour(int r, int g, int b) { return {r, g, b, (r + 2 * g + b) / 4}; }

TEST_F(RebuildTest, NeutralSettingsLeaveEveryNodeAsItWas) {
  // Uneven nodes and bytes unrelated to the positions.
  Install({0, 17, 60, 128, 200, 255}, [](int r, int g, int b, uint8_t *ch) {
    for (int c = 0; c < kChannels; ++c) ch[c] = static_cast<uint8_t>(r * 7 + g * 13 + b * 31 + c * 61);
  });
  const uint8_t *before = cm_->lut->tableData;
  ASSERT_EQ(RebuildTable(cm_), kOk);
  EXPECT_NE(cm_->lut->tableData, before);  // a new table took the old one's place
  EXPECT_TRUE(TableUnchanged());
  EXPECT_EQ(LiveAllocations(), 3);  // object, CmLut, table
}

TEST_F(RebuildTest, EnhancedAdjustmentWithZeroCorrectionsIsNeutralToo) {
  params_.colorAdjustMode = 2;
  Install({0, 17, 60, 128, 200, 255}, [](int r, int g, int b, uint8_t *ch) {
    for (int c = 0; c < kChannels; ++c) ch[c] = static_cast<uint8_t>(r ^ (g * 3) ^ (b * 5) ^ c);
  });
  ASSERT_EQ(RebuildTable(cm_), kOk);
  EXPECT_TRUE(TableUnchanged());
}

TEST_F(RebuildTest, SaturationMovesNodesToTheStretchedColour) {
  params_.saturation = 50;
  Install({0, 40, 100, 124, 130, 200, 255}, PositionFill);
  ASSERT_EQ(RebuildTable(cm_), kOk);
  // Red smallest: (40, 100, 200) -> (40, 130, 255).
  EXPECT_EQ(Out(40, 100, 200), Colour(40, 130, 255));
  // Blue smallest, k2 = 140: (200, 100, 40) -> (255, 124, 40).
  EXPECT_EQ(Out(200, 100, 40), Colour(255, 124, 40));
  EXPECT_EQ(Out(100, 100, 100), Colour(100, 100, 100));
}

TEST_F(RebuildTest, SaturationBoostCountsOnlyUnderTheEnhancedAdjustment) {
  params_.saturation = 40;
  params_.colorAdjustMode = 2;
  Install({0, 40, 100, 124, 130, 200, 255}, PositionFill);
  cm_->saturationBoost = 20;
  ASSERT_EQ(RebuildTable(cm_), kOk);
  // 40 + 20 is capped at 50: g = 40 + 60 * 150 / 100 (60 would give 136).
  EXPECT_EQ(Out(40, 100, 200), Colour(40, 130, 255));
}

TEST_F(RebuildTest, SaturationBoostIgnoredWithoutTheEnhancedAdjustment) {
  params_.saturation = 40;
  params_.colorAdjustMode = 2;
  params_.grayMode = 1;  // grey mode turns the enhanced adjustment off
  Install({0, 40, 100, 124, 130, 200, 255}, PositionFill);
  cm_->saturationBoost = 20;
  ASSERT_EQ(RebuildTable(cm_), kOk);
  // Saturation 40: g = 40 + 60 * 140 / 100 = 124.
  EXPECT_EQ(Out(40, 100, 200), Colour(40, 124, 255));
}

TEST_F(RebuildTest, BoostedSaturationBelowMinusFiftyIsRefused) {
  params_.saturation = -40;
  params_.colorAdjustMode = 2;
  Install({0, 128, 255}, PositionFill);
  cm_->saturationBoost = -20;
  const uint8_t *before = cm_->lut->tableData;
  EXPECT_EQ(RebuildTable(cm_), kBadParams);
  EXPECT_EQ(cm_->lut->tableData, before);
  EXPECT_TRUE(TableUnchanged());
  EXPECT_EQ(LiveAllocations(), 3);
}

TEST_F(RebuildTest, BlackAndWhiteCornersKeepTheirInks) {
  params_.brightness = 50;
  Install({0, 64, 128, 191, 255}, PositionFill);
  ASSERT_EQ(RebuildTable(cm_), kOk);
  EXPECT_EQ(Out(0, 0, 0), Colour(0, 0, 0));
  EXPECT_EQ(Out(255, 255, 255), Colour(255, 255, 255));
  // Every other node brightens: 64 lies on the straight part, 2 x 64 = 128.
  EXPECT_EQ(Out(0, 0, 64), Colour(0, 0, 128));
  EXPECT_EQ(Out(64, 0, 0), Colour(128, 0, 0));
  for (int r : {0, 64, 128, 191}) {
    for (int g : {0, 64, 128, 191}) {
      for (int b : {0, 64, 128, 191}) {
        if (r + g + b == 0) continue;
        EXPECT_NE(Out(r, g, b), Colour(r, g, b)) << r << ", " << g << ", " << b;
      }
    }
  }
}

TEST_F(RebuildTest, CornersAreSkippedEvenWhereTheCurvesWouldMoveThem) {
  // Contrast -50 sends 0 to 64 and 255 to 191 (curve ends are not smoothed).
  params_.contrast = -50;
  Install({0, 64, 128, 191, 255}, PositionFill);
  ASSERT_EQ(RebuildTable(cm_), kOk);
  EXPECT_EQ(Out(0, 0, 0), Colour(0, 0, 0));
  EXPECT_EQ(Out(255, 255, 255), Colour(255, 255, 255));
  // Their neighbours in the same rows are adjusted.
  EXPECT_EQ(Out(0, 0, 64)[0], 64);
  EXPECT_EQ(Out(0, 0, 64)[1], 64);
  EXPECT_EQ(Out(255, 255, 191)[0], 191);
  EXPECT_EQ(Out(255, 255, 191)[1], 191);
  EXPECT_EQ(Out(255, 0, 0)[0], 191);
  EXPECT_EQ(Out(255, 0, 0)[1], 64);
}

TEST_F(RebuildTest, EnhancedCorrectionsAdjustTheLookedUpColour) {
  params_.colorAdjustMode = 2;
  Install({0, 55, 105, 155, 205, 255}, PositionFill);
  cm_->dominantReduction[0] = 50;
  ASSERT_EQ(RebuildTable(cm_), kOk);
  // (c, m, y) = (200, 100, 50): cyan falls to 150, so red rises to 105.
  EXPECT_EQ(Out(55, 155, 205), Colour(105, 155, 205));
  EXPECT_EQ(Out(155, 155, 155), Colour(155, 155, 155));
}

TEST_F(RebuildTest, CorrectionsStayOffOutsideTheEnhancedAdjustment) {
  params_.colorAdjustMode = 1;
  Install({0, 55, 105, 155, 205, 255}, PositionFill);
  cm_->dominantReduction[0] = 50;
  ASSERT_EQ(RebuildTable(cm_), kOk);
  EXPECT_TRUE(TableUnchanged());
}

TEST_F(RebuildTest, HostCurvesReachTheTable) {
  uint8_t host[768];
  for (int i = 0; i < 256; ++i) {
    host[i] = static_cast<uint8_t>(255 - i);
    host[256 + i] = static_cast<uint8_t>(i);
    host[512 + i] = 0;
  }
  testing::OptionListBuilder options;
  options.Add(kOptionHostCurves, host);
  params_.options = options.List();
  Install({0, 128, 255}, PositionFill);
  ASSERT_EQ(RebuildTable(cm_), kOk);
  EXPECT_EQ(Out(0, 128, 255), Colour(255, 128, 0));
  EXPECT_EQ(Out(255, 0, 128), Colour(0, 0, 0));
  EXPECT_EQ(Out(0, 0, 0), Colour(0, 0, 0));  // the corner is not adjusted
}

TEST_F(RebuildTest, EveryFailureKeepsTheOldTable) {
  struct Case {
    PlatformOp op;
    int nth;
    ResultCode want;
  };
  // The new table is taken first, then the tone curves.
  const Case cases[] = {{PlatformOp::kAlloc, 1, kAllocFailed},
                        {PlatformOp::kLock, 1, kLockFailed},
                        {PlatformOp::kAlloc, 2, kAllocFailed},
                        {PlatformOp::kLock, 2, kLockFailed}};
  params_.brightness = 20;
  Install({0, 128, 255}, PositionFill);
  const uint8_t *before = cm_->lut->tableData;
  const uintptr_t handle = cm_->lut->tableHandle;
  for (const Case &c : cases) {
    FailNthCall(c.op, c.nth);
    EXPECT_EQ(RebuildTable(cm_), c.want) << c.nth;
    EXPECT_EQ(cm_->lut->tableData, before);
    EXPECT_EQ(cm_->lut->tableHandle, handle);
    EXPECT_TRUE(TableUnchanged());
    EXPECT_EQ(LiveAllocations(), 3) << c.nth;
  }
  cm_->params.reserved = 1;
  EXPECT_EQ(RebuildTable(cm_), kBadParams);
  const int32_t gamma = 99;
  testing::OptionListBuilder options;
  options.Add(kOptionGamma, &gamma);
  cm_->params.reserved = 0;
  cm_->params.options = options.List();
  EXPECT_EQ(RebuildTable(cm_), kBadTable);
  EXPECT_TRUE(TableUnchanged());
  EXPECT_EQ(LiveAllocations(), 3);
}

}  // namespace
}  // namespace inkdot
