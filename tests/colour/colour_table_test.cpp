#include "colour/colour_table.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "colour/cm_context.h"
#include "colour_resource_writers.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using resources::ColourTable;
using resources::EvenNodes;
using resources::WriteColourTable;
using testing::FailNthCall;
using testing::LiveAllocations;
using testing::PlatformOp;

// The ink-load curve written straight from its definition, in 64 bits.
int InkLoadReference(int64_t light, int64_t dark, int64_t x) {
  const int64_t d = (((light - dark) * (255 - x) * (255 - x) + 1) / 255 + dark * 255) / 100;
  return static_cast<int>(((d / 2 + x * 255) / d) & 0xFF);
}

// A byte pattern that tells nodes and channels apart.
uint8_t Pattern(size_t node, size_t channel) {
  return static_cast<uint8_t>(node * 37 + channel * 101 + 11);
}

// A colour-table resource of `size` nodes per axis and `channels` inks whose
// grid holds Pattern() and whose neutral black values are 3 + 7 i.
ColourTable MakeTable(int size, int channels) {
  ColourTable t;
  t.channelCount = static_cast<uint8_t>(channels);
  t.nodes1 = t.nodes2 = t.nodes3 = EvenNodes(size);
  const size_t nodes = static_cast<size_t>(size * size * size);
  for (size_t n = 0; n < nodes; ++n) {
    for (int c = 0; c < channels; ++c) t.grid.push_back(Pattern(n, static_cast<size_t>(c)));
  }
  for (int i = 0; i < size; ++i) t.neutralBlack.push_back(static_cast<uint8_t>(3 + 7 * i));
  return t;
}

bool OnDiagonal(size_t node, int size) {
  const size_t a = node / static_cast<size_t>(size * size);
  const size_t b = node / static_cast<size_t>(size) % static_cast<size_t>(size);
  const size_t c = node % static_cast<size_t>(size);
  return a == b && b == c;
}

class ColourTableTest : public ::testing::Test {
 protected:
  ColourTableTest() {
    params_.neutralBalance = 50;
    page_.method = 3;
    page_.inputFormat = 2;
    page_.colorMode = 1;
  }
  ~ColourTableTest() override {
    if (cm_ != nullptr) DeleteCmContext(cm_);
  }

  CmContext *Context() {
    if (cm_ == nullptr) {
      int32_t nextId = 0;
      EXPECT_EQ(NewCmContext(&params_, &page_, &nextId, &cm_), kOk);
      cm_->matchedId = 4000;
      cm_->matchedNext = 310;
    }
    return cm_;
  }

  ResultCode Decode(const ColourTable &table) {
    resource_ = WriteColourTable(table);
    return DecodeColourTable(Context(), resource_.data());
  }

  const uint8_t *Node(size_t node) const {
    return cm_->lut->tableData + node * static_cast<size_t>(cm_->lut->channelCount);
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  CmContext *cm_ = nullptr;
  std::vector<uint8_t> resource_;
};

TEST_F(ColourTableTest, DecodesEveryHeaderFieldWithItsOrderAndSign) {
  ColourTable t = MakeTable(5, 3);
  t.format = 7;
  t.kind = 5;
  t.dominantReduction[0] = 200, t.dominantReduction[1] = 1, t.dominantReduction[2] = 255;
  t.hueShift[0] = -3, t.hueShift[1] = 4, t.hueShift[2] = -128;
  t.saturationBoost = -7;
  t.pairReduction[0] = -1, t.pairReduction[1] = 127, t.pairReduction[2] = 0;
  t.inkLoadLight = 250;
  t.inkLoadDark = -200;
  t.inkParams[0] = 32767, t.inkParams[1] = -32768, t.inkParams[2] = 1;
  t.levelParams[0] = 1, t.levelParams[1] = -1, t.levelParams[2] = 256,
  t.levelParams[3] = -256;
  ASSERT_EQ(Decode(t), kOk);
  // -200 is stored as the big-endian bytes FF 38.
  EXPECT_EQ(resource_[50], 0xFF);
  EXPECT_EQ(resource_[51], 0x38);

  const CmLut *lut = cm_->lut;
  EXPECT_EQ(lut->tableResourceId, 4000);
  EXPECT_EQ(lut->halftoneResourceId, 310);
  EXPECT_EQ(cm_->tableFormat, 7);
  EXPECT_EQ(lut->tableKind, 5);
  EXPECT_EQ(cm_->dominantReduction[0], 200);
  EXPECT_EQ(cm_->dominantReduction[1], 1);
  EXPECT_EQ(cm_->dominantReduction[2], 255);
  EXPECT_EQ(cm_->hueShift[0], -3);
  EXPECT_EQ(cm_->hueShift[1], 4);
  EXPECT_EQ(cm_->hueShift[2], -128);
  EXPECT_EQ(cm_->saturationBoost, -7);
  EXPECT_EQ(cm_->pairReduction[0], -1);
  EXPECT_EQ(cm_->pairReduction[1], 127);
  EXPECT_EQ(cm_->pairReduction[2], 0);
  EXPECT_EQ(lut->inkLoadLight, 250);
  EXPECT_EQ(lut->inkLoadDark, -200);
  EXPECT_EQ(lut->inkParams[0], 32767);
  EXPECT_EQ(lut->inkParams[1], -32768);
  EXPECT_EQ(lut->inkParams[2], 1);
  EXPECT_EQ(lut->levelParams[0], 1);
  EXPECT_EQ(lut->levelParams[1], -1);
  EXPECT_EQ(lut->levelParams[2], 256);
  EXPECT_EQ(lut->levelParams[3], -256);
  EXPECT_EQ(lut->gridSize1, 5);
  EXPECT_EQ(lut->gridSize2, 5);
  EXPECT_EQ(lut->gridSize3, 5);
  EXPECT_EQ(lut->gridSize4, 1);
  EXPECT_EQ(lut->channelCount, 3);
  EXPECT_EQ(std::vector<uint8_t>(lut->nodes1, lut->nodes1 + 5), t.nodes1);
  EXPECT_EQ(std::vector<uint8_t>(lut->nodes3, lut->nodes3 + 5), t.nodes3);
  EXPECT_EQ(lut->nodes1[5], 0);  // nothing beyond the list
  EXPECT_EQ(lut->compositeGray, 0);
  EXPECT_EQ(lut->selectorHandle, 0u);
  EXPECT_EQ(lut->selectorRecord, nullptr);
  ASSERT_NE(lut->tableHandle, 0u);
  // Kind 5 leaves the grey diagonal alone: the table is the grid as stored.
  EXPECT_EQ(std::memcmp(lut->tableData, t.grid.data(), t.grid.size()), 0);
  EXPECT_EQ(LiveAllocations(), 3);
}

TEST_F(ColourTableTest, SelectorRecordIsCopiedIntoABlockOfItsOwn) {
  ColourTable t = MakeTable(2, 1);
  t.selector = {9, 8, 7, 6, 5, 4, 3};
  ASSERT_EQ(Decode(t), kOk);
  const CmLut *lut = cm_->lut;
  ASSERT_NE(lut->selectorHandle, 0u);
  ASSERT_NE(lut->selectorRecord, nullptr);
  const uint8_t *inResource = resource_.data() + resource_.size() - t.selector.size();
  EXPECT_NE(lut->selectorRecord, inResource);
  EXPECT_EQ(std::vector<uint8_t>(lut->selectorRecord, lut->selectorRecord + 7), t.selector);
  EXPECT_EQ(LiveAllocations(), 4);
  resource_.assign(resource_.size(), 0);  // the copy does not depend on it
  EXPECT_EQ(lut->selectorRecord[0], 9);
}

TEST_F(ColourTableTest, StoredKindTwoReadsAsOneAndRewritesTheDiagonal) {
  ColourTable t = MakeTable(4, 4);
  t.kind = 2;
  ASSERT_EQ(Decode(t), kOk);
  EXPECT_EQ(cm_->lut->tableKind, 1);
  const uint8_t *last = Node(63);  // (3, 3, 3)
  EXPECT_EQ(std::vector<uint8_t>(last, last + 4), (std::vector<uint8_t>{0, 0, 0, 24}));
}

TEST_F(ColourTableTest, BlackOnlyDiagonalForScreeningAndMethodTwo) {
  for (uint32_t method : {3u, 2u}) {
    for (uint8_t kind : {1, 3}) {
      page_.method = method;
      page_.colorMode = 0;  // keeps kind 3 off the ink-load curve
      ColourTable t = MakeTable(5, 4);
      t.kind = kind;
      ASSERT_EQ(Decode(t), kOk);
      for (size_t n = 0; n < 125; ++n) {
        const uint8_t *node = Node(n);
        if (!OnDiagonal(n, 5)) {
          ASSERT_EQ(std::memcmp(node, &t.grid[n * 4], 4), 0) << n;
          continue;
        }
        const uint8_t black = t.neutralBlack[n / 31];
        const uint8_t colour = method == 2 ? black : 0;
        EXPECT_EQ(std::vector<uint8_t>(node, node + 4),
                  (std::vector<uint8_t>{colour, colour, colour, black}))
            << "method " << method << " kind " << int(kind) << " node " << n;
      }
      DeleteCmContext(cm_);
      cm_ = nullptr;
    }
  }
}

TEST_F(ColourTableTest, DiagonalStaysWhenKindOrCompositeGreyForbids) {
  struct Case {
    uint8_t kind;
    uint32_t inputFormat;
    int32_t neutralBalance;
    int32_t grayMode;
    int32_t wantComposite;
  };
  const Case cases[] = {
      {0, 2, 50, 0, 0},   // kind 0: no black-only axis
      {4, 2, 50, 0, 0},   // nor any kind but 1 and 3
      {1, 2, 40, 0, 1},   // colour input off neutral keeps its colour inks
      {3, 2, 40, 0, 1},
      {1, 0, 50, 1, 1},   // grey mode 1 builds grey from colour inks
  };
  for (const Case &c : cases) {
    page_.inputFormat = c.inputFormat;
    params_.neutralBalance = c.neutralBalance;
    params_.grayMode = c.grayMode;
    ColourTable t = MakeTable(3, 2);
    t.kind = c.kind;
    ASSERT_EQ(Decode(t), kOk);
    EXPECT_EQ(cm_->lut->compositeGray, c.wantComposite) << int(c.kind);
    EXPECT_EQ(std::memcmp(cm_->lut->tableData, t.grid.data(), t.grid.size()), 0)
        << int(c.kind);
    DeleteCmContext(cm_);
    cm_ = nullptr;
  }
  // Grey input with a neutral balance off 50 is still black-only.
  page_.inputFormat = 0;
  params_.neutralBalance = 40;
  params_.grayMode = 0;
  ColourTable t = MakeTable(3, 2);
  t.kind = 1;
  ASSERT_EQ(Decode(t), kOk);
  EXPECT_EQ(cm_->lut->compositeGray, 0);
  EXPECT_EQ(Node(13)[0], 0);
  EXPECT_EQ(Node(13)[1], t.neutralBlack[1]);
}

TEST_F(ColourTableTest, KindThreeWithColourPassesTheBlackThroughTheInkLoad) {
  ColourTable t = MakeTable(6, 4);
  t.kind = 3;
  t.inkLoadLight = 250;
  t.inkLoadDark = 100;
  t.neutralBlack = {0, 64, 128, 192, 254, 255};
  ASSERT_EQ(Decode(t), kOk);
  const uint8_t want[6] = {0, 35, 94, 176, 254, 255};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(Node(i * 43)[3], want[i]) << i;
    EXPECT_EQ(Node(i * 43)[0], 0) << i;
  }
  // Kind 1 takes the black values as they are.
  DeleteCmContext(cm_);
  cm_ = nullptr;
  t.kind = 1;
  ASSERT_EQ(Decode(t), kOk);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(Node(i * 43)[3], t.neutralBlack[i]) << i;
}

TEST_F(ColourTableTest, GreyBlockOfFormat50) {
  auto table = [] {
    ColourTable t = MakeTable(4, 3);
    t.format = 50;
    t.kind = 1;
    for (int n = 0; n < 12; ++n) t.greyBlock.push_back(static_cast<uint8_t>(200 + n));
    return t;
  };
  auto diagonal = [&](size_t i) {
    const uint8_t *node = Node(i * 21);
    return std::vector<uint8_t>(node, node + 3);
  };
  // Enhanced adjustment, colour input off neutral: the block's grey.
  params_.colorAdjustMode = 2;
  params_.neutralBalance = 40;
  ColourTable t = table();
  ASSERT_EQ(Decode(t), kOk);
  for (size_t i = 0; i < 4; ++i) {
    const uint8_t first = static_cast<uint8_t>(200 + 3 * i);
    EXPECT_EQ(diagonal(i), (std::vector<uint8_t>{first, uint8_t(first + 1),
                                                 uint8_t(first + 2)}))
        << i;
  }
  EXPECT_EQ(std::memcmp(Node(1), &t.grid[3], 3), 0);
  DeleteCmContext(cm_);
  cm_ = nullptr;

  // Neutral balance 50: no composite grey, so the black-only rule instead.
  params_.neutralBalance = 50;
  ASSERT_EQ(Decode(table()), kOk);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(diagonal(i), (std::vector<uint8_t>{0, 0, t.neutralBlack[i]})) << i;
  }
  DeleteCmContext(cm_);
  cm_ = nullptr;

  // Without the enhanced adjustment, or in grey mode 1, the block is unused.
  const int32_t adjust[] = {0, 2};
  const int32_t grey[] = {0, 1};
  for (int n = 0; n < 2; ++n) {
    params_.neutralBalance = 40;
    params_.colorAdjustMode = adjust[n];
    params_.grayMode = grey[n];
    ASSERT_EQ(Decode(table()), kOk);
    EXPECT_EQ(std::memcmp(cm_->lut->tableData, t.grid.data(), t.grid.size()), 0) << n;
    DeleteCmContext(cm_);
    cm_ = nullptr;
  }
}

TEST_F(ColourTableTest, FourInputFormatReadsTheFourthAxis) {
  ColourTable t;
  t.format = 128;
  t.kind = 1;
  t.channelCount = 2;
  t.nodes1 = t.nodes2 = {0, 128, 255};
  t.nodes3 = {0, 100, 255};
  t.nodes4 = {0, 50, 255};
  for (size_t n = 0; n < 81; ++n) {
    t.grid.push_back(Pattern(n, 0));
    t.grid.push_back(Pattern(n, 1));
  }
  t.neutralBlack = {90, 91, 92};
  t.selector = {1, 2};
  ASSERT_EQ(Decode(t), kOk);
  const CmLut *lut = cm_->lut;
  EXPECT_EQ(cm_->tableFormat, 128);
  EXPECT_EQ(lut->gridSize3, 3);
  EXPECT_EQ(lut->gridSize4, 3);
  EXPECT_EQ(lut->channelCount, 2);
  EXPECT_EQ(std::vector<uint8_t>(lut->nodes3, lut->nodes3 + 3), t.nodes4);
  EXPECT_EQ(lut->selectorRecord[1], 2);
  // The whole four-axis grid is held; the grey diagonal steps are the nodes
  // i * (3 * 4 + 1) of it, and the black values follow the grid.
  for (size_t n = 0; n < 81; ++n) {
    const uint8_t *node = Node(n);
    if (n % 13 == 0 && n <= 26) {
      EXPECT_EQ(node[0], 0) << n;
      EXPECT_EQ(node[1], t.neutralBlack[n / 13]) << n;
    } else {
      EXPECT_EQ(node[0], t.grid[2 * n]) << n;
      EXPECT_EQ(node[1], t.grid[2 * n + 1]) << n;
    }
  }
}

TEST(InkLoadLevel, GivenExamplesAndIdentity) {
  const uint8_t in[] = {1, 64, 128, 192, 254, 255};
  const uint8_t out[] = {0, 35, 94, 176, 254, 255};
  for (int n = 0; n < 6; ++n) EXPECT_EQ(InkLoadLevel(250, 100, in[n]), out[n]) << int(in[n]);
  for (int x = 0; x < 256; ++x) {
    EXPECT_EQ(InkLoadLevel(100, 100, static_cast<uint8_t>(x)), x);
    EXPECT_EQ(InkLoadLevel(250, 100, static_cast<uint8_t>(x)), InkLoadReference(250, 100, x));
    EXPECT_EQ(InkLoadLevel(160, 130, static_cast<uint8_t>(x)), InkLoadReference(160, 130, x));
    EXPECT_EQ(InkLoadLevel(60, 100, static_cast<uint8_t>(x)), InkLoadReference(60, 100, x));
    EXPECT_EQ(InkLoadLevel(90, 150, static_cast<uint8_t>(x)), InkLoadReference(90, 150, x));
  }
  EXPECT_EQ(InkLoadLevel(250, 100, 0), 0);
}

TEST(InkLoadLevel, PairsWithoutAPositiveDivisorAreUnusable) {
  EXPECT_TRUE(InkLoadUsable(100, 100));
  EXPECT_TRUE(InkLoadUsable(250, 100));
  EXPECT_TRUE(InkLoadUsable(60, 100));
  EXPECT_FALSE(InkLoadUsable(100, 0));    // D is 0 at x = 255
  EXPECT_FALSE(InkLoadUsable(100, -5));
  EXPECT_FALSE(InkLoadUsable(-200, 100)); // negative towards x = 0
  EXPECT_TRUE(InkLoadUsable(100, 1));     // D = 2 at x = 255
  EXPECT_FALSE(InkLoadUsable(-80, 150));  // a light end far below the dark
}

TEST_F(ColourTableTest, InkLoadPassCoversTheThreeInputGridOnly) {
  ColourTable t = MakeTable(3, 2);
  t.inkLoadLight = 250;
  t.inkLoadDark = 100;
  ASSERT_EQ(Decode(t), kOk);
  CmLut *lut = cm_->lut;
  // Bytes past the three-input grid (as a four-input table has) are kept.
  std::vector<uint8_t> wider(t.grid.size() + 5, 0xC8);
  std::memcpy(wider.data(), lut->tableData, t.grid.size());
  uint8_t *const own = lut->tableData;
  lut->tableData = wider.data();
  ApplyInkLoad(lut);
  for (size_t n = 0; n < t.grid.size(); ++n) {
    ASSERT_EQ(wider[n], InkLoadReference(250, 100, t.grid[n])) << n;
  }
  for (size_t n = t.grid.size(); n < wider.size(); ++n) EXPECT_EQ(wider[n], 0xC8);
  lut->tableData = own;
}

// grayToBlack from a table of nodes 0, 128, 255 whose diagonal black values
// are given; the rest of the table is noise that grey pixels never reach.
std::vector<uint8_t> GreyToBlack(int32_t kind, const uint8_t black[3]) {
  CmLut lut{};
  lut.tableKind = kind;
  lut.channelCount = 2;
  lut.gridSize1 = lut.gridSize2 = lut.gridSize3 = 3;
  const uint8_t nodes[3] = {0, 128, 255};
  std::memcpy(lut.nodes1, nodes, 3);
  std::memcpy(lut.nodes2, nodes, 3);
  std::memcpy(lut.nodes3, nodes, 3);
  std::vector<uint8_t> table(54);
  for (size_t n = 0; n < 54; ++n) table[n] = Pattern(n, 0);
  for (size_t i = 0; i < 3; ++i) table[i * 13 * 2 + 1] = black[i];
  lut.tableData = table.data();
  BuildGrayToBlack(&lut);
  return std::vector<uint8_t>(lut.grayToBlack, lut.grayToBlack + 256);
}

// The black of grey v, blending the diagonal nodes around it.
int BlendedBlack(const uint8_t black[3], int v) {
  const int low = v <= 128 ? 0 : 1;
  const int from = low == 0 ? 0 : 128;
  const int width = low == 0 ? 128 : 127;
  return ((width - (v - from)) * black[low] + (v - from) * black[low + 1]) / width;
}

TEST(GrayToBlack, InterpolatesTheGreyDiagonal) {
  const uint8_t black[3] = {250, 90, 20};
  const std::vector<uint8_t> got = GreyToBlack(1, black);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(got[static_cast<size_t>(v)], BlendedBlack(black, v)) << v;
}

TEST(GrayToBlack, NeverZeroBelowWhiteWithABlackAxis) {
  const uint8_t black[3] = {255, 0, 0};
  for (int32_t kind : {1, 3, 7}) {
    const std::vector<uint8_t> got = GreyToBlack(kind, black);
    EXPECT_EQ(got[0], 255);
    for (int v = 128; v < 255; ++v) EXPECT_EQ(got[static_cast<size_t>(v)], 1) << v;
    EXPECT_EQ(got[255], 0);
  }
  // Without one, 0 stays 0.
  EXPECT_EQ(GreyToBlack(0, black)[200], 0);
}

TEST(GrayToBlack, NeverFullBelowWhiteWithoutABlackAxis) {
  const uint8_t black[3] = {255, 255, 255};
  const std::vector<uint8_t> got = GreyToBlack(0, black);
  for (int v = 0; v < 255; ++v) EXPECT_EQ(got[static_cast<size_t>(v)], 254) << v;
  EXPECT_EQ(got[255], 255);
  EXPECT_EQ(GreyToBlack(1, black)[10], 255);
}

TEST_F(ColourTableTest, UnusableGridsAreRefusedBeforeAnythingIsTaken) {
  std::vector<ColourTable> bad;
  auto add = [&](auto change) {
    ColourTable t = MakeTable(4, 3);
    t.selector = {1, 2, 3};
    change(t);
    bad.push_back(t);
  };
  add([](ColourTable &t) { t.nodes1.clear(), t.nodes2.clear(), t.nodes3.clear(); });
  add([](ColourTable &t) { t.nodes1 = t.nodes2 = t.nodes3 = {0}; });
  add([](ColourTable &t) { t.nodes1 = t.nodes2 = t.nodes3 = EvenNodes(37); });
  add([](ColourTable &t) { t.nodes2 = EvenNodes(5); });
  add([](ColourTable &t) { t.nodes3 = EvenNodes(3); });
  add([](ColourTable &t) { t.nodes1 = {1, 80, 160, 255}; });
  add([](ColourTable &t) { t.nodes2 = {0, 80, 160, 254}; });
  add([](ColourTable &t) { t.nodes3 = {0, 80, 80, 255}; });
  add([](ColourTable &t) { t.nodes3 = {0, 160, 80, 255}; });
  add([](ColourTable &t) { t.channelCount = 0; });
  add([](ColourTable &t) {  // four inputs with a fourth axis of its own size
    t.format = 128;
    t.nodes4 = EvenNodes(3);
  });
  add([](ColourTable &t) {  // four inputs whose fourth list does not rise
    t.format = 128;
    t.nodes4 = {0, 90, 90, 255};
  });
  for (size_t n = 0; n < bad.size(); ++n) {
    Context();
    const CmLut before = *cm_->lut;
    EXPECT_EQ(Decode(bad[n]), kBadResource) << n;
    EXPECT_EQ(std::memcmp(cm_->lut, &before, sizeof before), 0) << n;
    EXPECT_EQ(LiveAllocations(), 2) << n;
    EXPECT_EQ(DeleteCmContext(cm_), kOk);
    cm_ = nullptr;
    EXPECT_EQ(LiveAllocations(), 0) << n;
  }
}

TEST_F(ColourTableTest, LargestGridIsAccepted) {
  ColourTable t = MakeTable(36, 1);
  t.kind = 1;
  ASSERT_EQ(Decode(t), kOk);
  EXPECT_EQ(cm_->lut->nodes3[35], 255);
  EXPECT_EQ(Node(36 * 36 * 36 - 1)[0], t.neutralBlack[35]);
}

TEST_F(ColourTableTest, UnusableInkLoadIsRefusedOnlyWhereTheCurveApplies) {
  ColourTable t = MakeTable(3, 2);
  t.kind = 3;
  t.inkLoadLight = 100;
  t.inkLoadDark = 0;
  EXPECT_EQ(Decode(t), kBadResource);
  EXPECT_EQ(LiveAllocations(), 2);
  DeleteCmContext(cm_);
  cm_ = nullptr;
  t.kind = 1;  // black-only without the curve
  EXPECT_EQ(Decode(t), kOk);
  EXPECT_EQ(cm_->lut->inkLoadDark, 0);
}

TEST_F(ColourTableTest, EveryAllocationFailureGivesItsCodeAndLeaksNothing) {
  struct Step {
    bool selector;
    PlatformOp op;
    int nth;
    ResultCode want;
    int liveAfter;  // beside the object's two blocks
  };
  const Step steps[] = {
      {true, PlatformOp::kAlloc, 1, kAllocFailed, 0},
      {true, PlatformOp::kLock, 1, kLockFailed, 0},
      {true, PlatformOp::kAlloc, 2, kAllocFailed, 1},  // the selector stays
      {true, PlatformOp::kLock, 2, kLockFailed, 1},
      {false, PlatformOp::kAlloc, 1, kAllocFailed, 0},
      {false, PlatformOp::kLock, 1, kLockFailed, 0},
  };
  for (const Step &s : steps) {
    ColourTable t = MakeTable(3, 2);
    if (s.selector) t.selector = {4, 4};
    Context();
    FailNthCall(s.op, s.nth);
    EXPECT_EQ(Decode(t), s.want) << s.nth;
    EXPECT_EQ(cm_->lut->tableHandle, 0u);
    EXPECT_EQ(LiveAllocations(), 2 + s.liveAfter) << s.nth;
    EXPECT_EQ(DeleteCmContext(cm_), kOk);
    cm_ = nullptr;
    EXPECT_EQ(LiveAllocations(), 0) << s.nth;
  }
}

}  // namespace
}  // namespace inkdot
