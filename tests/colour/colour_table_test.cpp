#include "colour/colour_table.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "colour/cm_context.h"
#include "colour/ink_load_reference.h"
#include "colour_resource_writers.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using resources::ColourTable;
using resources::EvenNodes;
using testing::LiveAllocations;
using testing::PlatformOp;
using Bytes = std::vector<uint8_t>;

// `size` nodes per axis, `channels` inks of noise, black values 3 + 7 i.
ColourTable MakeTable(int size, int channels) {
  ColourTable t;
  t.channelCount = uint8_t(channels);
  t.nodes1 = t.nodes2 = t.nodes3 = EvenNodes(size);
  for (int n = 0; n < size * size * size * channels; ++n) t.grid.push_back(uint8_t(n * 37 + 11));
  for (int i = 0; i < size; ++i) t.neutralBlack.push_back(uint8_t(3 + 7 * i));
  return t;
}

class ColourTableTest : public ::testing::Test {
 protected:
  ColourTableTest() {
    params_.neutralBalance = 50;
    page_.method = 3, page_.inputFormat = 2, page_.colorMode = 1;
  }
  ~ColourTableTest() override { Drop(); }

  ResultCode Decode(const ColourTable &table) {
    Drop();
    int32_t nextId = 0;
    EXPECT_EQ(NewCmContext(&params_, &page_, &nextId, &cm_), kOk);
    cm_->matchedId = 4000, cm_->matchedNext = 310;
    resource_ = resources::WriteColourTable(table);
    return DecodeColourTable(cm_, resource_.data());
  }
  void Drop() {
    if (cm_ != nullptr) {
      EXPECT_EQ(DeleteCmContext(cm_), kOk);
    }
    cm_ = nullptr;
    EXPECT_EQ(LiveAllocations(), 0);
  }
  Bytes Node(size_t n) const {
    const size_t ch = size_t(cm_->lut->channelCount);
    return Bytes(cm_->lut->tableData + n * ch, cm_->lut->tableData + (n + 1) * ch);
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  CmContext *cm_ = nullptr;
  Bytes resource_;
};

TEST_F(ColourTableTest, DecodesHeaderFieldsWithTheirOrderAndSign) {
  ColourTable t = MakeTable(5, 3);
  t.format = 7, t.kind = 5;
  t.dominantReduction[0] = 200, t.dominantReduction[2] = 255;
  t.hueShift[0] = -3, t.hueShift[2] = -128, t.saturationBoost = -7;
  t.pairReduction[0] = -1, t.pairReduction[1] = 127;
  t.inkLoadLight = 250, t.inkLoadDark = -200;
  t.inkParams[0] = 32767, t.inkParams[1] = -32768;
  t.levelParams[1] = -1, t.levelParams[2] = 256;
  t.selector = {9, 8, 7};
  ASSERT_EQ(Decode(t), kOk);
  EXPECT_EQ(resource_[50], 0xFF);  // -200 is stored big-endian as FF 38
  EXPECT_EQ(resource_[51], 0x38);

  const CmLut *lut = cm_->lut;
  EXPECT_EQ(lut->tableResourceId, 4000);
  EXPECT_EQ(lut->halftoneResourceId, 310);
  EXPECT_EQ(cm_->tableFormat, 7);
  EXPECT_EQ(lut->tableKind, 5);
  EXPECT_EQ(std::vector<int>(cm_->dominantReduction, cm_->dominantReduction + 3), (std::vector<int>{200, 0, 255}));
  EXPECT_EQ(std::vector<int>(cm_->hueShift, cm_->hueShift + 3), (std::vector<int>{-3, 0, -128}));
  EXPECT_EQ(std::vector<int>(cm_->pairReduction, cm_->pairReduction + 3), (std::vector<int>{-1, 127, 0}));
  EXPECT_EQ(cm_->saturationBoost, -7);
  EXPECT_EQ(std::vector<int>({lut->inkLoadLight, lut->inkLoadDark, lut->inkParams[0], lut->inkParams[1],
                              lut->levelParams[1], lut->levelParams[2]}),
            (std::vector<int>{250, -200, 32767, -32768, -1, 256}));
  EXPECT_EQ(std::vector<int>({lut->gridSize1, lut->gridSize2, lut->gridSize3, lut->gridSize4, lut->channelCount}),
            (std::vector<int>{5, 5, 5, 1, 3}));
  EXPECT_EQ(Bytes(lut->nodes2, lut->nodes2 + 6), (Bytes{0, 64, 128, 191, 255, 0}));
  // The selector record lives in a block of its own.
  ASSERT_NE(lut->selectorHandle, 0u);
  resource_.assign(resource_.size(), 0);
  EXPECT_EQ(Bytes(lut->selectorRecord, lut->selectorRecord + 3), t.selector);
  EXPECT_EQ(std::memcmp(lut->tableData, t.grid.data(), t.grid.size()), 0);
  EXPECT_EQ(LiveAllocations(), 4);
}

// How the grey diagonal comes out of the settings. Off the diagonal every
// node is always the grid as stored.
enum class Diagonal { kGrid, kBlackOnly, kBlackEverywhere, kInkLoadedBlack, kGreyBlock };

TEST_F(ColourTableTest, GreyDiagonalFollowsKindMethodAndSettings) {
  const struct Case {
    uint8_t format, kind;
    uint32_t method, inputFormat, colorMode;
    int32_t neutralBalance, grayMode, adjust;
    int32_t composite;
    Diagonal want;
  } cases[] = {
      {0, 1, 3, 2, 1, 50, 0, 0, 0, Diagonal::kBlackOnly},
      {0, 2, 3, 2, 1, 50, 0, 0, 0, Diagonal::kBlackOnly},  // 2 reads as 1
      {0, 1, 2, 2, 1, 50, 0, 0, 0, Diagonal::kBlackEverywhere},
      {0, 3, 3, 0, 0, 40, 0, 0, 0, Diagonal::kBlackOnly},  // grey input: no curve
      {0, 3, 3, 2, 1, 50, 0, 0, 0, Diagonal::kInkLoadedBlack},
      {0, 0, 3, 2, 1, 50, 0, 0, 0, Diagonal::kGrid},
      {0, 4, 3, 2, 1, 50, 0, 0, 0, Diagonal::kGrid},
      {0, 1, 3, 2, 1, 40, 0, 0, 1, Diagonal::kGrid},       // colour inks kept
      {0, 1, 3, 0, 0, 50, 1, 0, 1, Diagonal::kGrid},       // grey from colour inks
      {50, 1, 3, 2, 1, 40, 0, 2, 1, Diagonal::kGreyBlock},
      {50, 1, 3, 2, 1, 50, 0, 2, 0, Diagonal::kBlackOnly},
      {50, 1, 3, 2, 1, 40, 0, 0, 1, Diagonal::kGrid},
      {50, 1, 3, 2, 1, 40, 1, 2, 1, Diagonal::kGrid},
  };
  for (const Case &c : cases) {
    page_.method = c.method, page_.inputFormat = c.inputFormat, page_.colorMode = c.colorMode;
    params_.neutralBalance = c.neutralBalance, params_.grayMode = c.grayMode;
    params_.colorAdjustMode = c.adjust;
    ColourTable t = MakeTable(4, 3);
    t.format = c.format, t.kind = c.kind;
    t.inkLoadLight = 250, t.inkLoadDark = 100;
    t.neutralBlack = {255, 128, 64, 1};
    for (int n = 0; n < 12; ++n) t.greyBlock.push_back(uint8_t(200 + n));
    const int index = int(&c - cases);
    ASSERT_EQ(Decode(t), kOk) << index;
    EXPECT_EQ(cm_->lut->tableKind, c.kind == 2 ? 1 : c.kind) << index;
    EXPECT_EQ(cm_->lut->compositeGray, c.composite) << index;
    for (size_t n = 0; n < 64; ++n) {
      const size_t i = n / 21;
      const uint8_t k = t.neutralBlack[i % 4];
      Bytes want(&t.grid[n * 3], &t.grid[n * 3 + 3]);
      if (n % 21 == 0) {
        switch (c.want) {
          case Diagonal::kGrid: break;
          case Diagonal::kBlackOnly: want = {0, 0, k}; break;
          case Diagonal::kBlackEverywhere: want = {k, k, k}; break;
          case Diagonal::kInkLoadedBlack: want = {0, 0, uint8_t(InkLoadReference(250, 100, k))}; break;
          case Diagonal::kGreyBlock: want = {uint8_t(200 + 3 * i), uint8_t(201 + 3 * i), uint8_t(202 + 3 * i)};
        }
      }
      ASSERT_EQ(Node(n), want) << "case " << index << " node " << n;
    }
  }
}

TEST_F(ColourTableTest, FourInputFormatKeepsTheFourthAxis) {
  ColourTable t;
  t.format = 128, t.kind = 1, t.channelCount = 2;
  t.nodes1 = t.nodes2 = {0, 128, 255};
  t.nodes3 = {0, 100, 255};
  t.nodes4 = {0, 50, 255};
  for (int n = 0; n < 162; ++n) t.grid.push_back(uint8_t(n + 1));
  t.neutralBlack = {90, 91, 92};
  ASSERT_EQ(Decode(t), kOk);
  EXPECT_EQ(cm_->lut->gridSize4, 3);
  EXPECT_EQ(Bytes(cm_->lut->nodes3, cm_->lut->nodes3 + 3), t.nodes4);
  // The whole grid is held; grey steps are the nodes i * (3 * 4 + 1).
  for (size_t n = 0; n < 81; ++n) {
    const Bytes grid = {uint8_t(2 * n + 1), uint8_t(2 * n + 2)}, grey = {0, uint8_t(90 + n / 13)};
    EXPECT_EQ(Node(n), n % 13 == 0 && n <= 26 ? grey : grid) << n;
  }
}

TEST(InkLoadCurve, ExamplesIdentityAndDefinition) {
  const uint8_t in[] = {0, 1, 64, 128, 192, 254, 255}, out[] = {0, 0, 35, 94, 176, 254, 255};
  for (int n = 0; n < 7; ++n) EXPECT_EQ(InkLoadLevel(250, 100, in[n]), out[n]);
  for (int x = 0; x < 256; ++x) {
    EXPECT_EQ(InkLoadLevel(100, 100, uint8_t(x)), x);
    for (auto [l, k] : std::initializer_list<std::pair<int, int>>{{160, 130}, {60, 100}, {90, 150}})
      EXPECT_EQ(InkLoadLevel(l, k, uint8_t(x)), InkLoadReference(l, k, x)) << l << "/" << k;
  }
  EXPECT_TRUE(InkLoadUsable(250, 100) && InkLoadUsable(60, 100) && InkLoadUsable(100, 1));
  EXPECT_FALSE(InkLoadUsable(100, 0));    // D is 0 at x = 255
  EXPECT_FALSE(InkLoadUsable(-80, 150));  // D falls below 0 towards x = 0
}

TEST(InkLoadCurve, PassCoversTheThreeInputGridOnly) {
  CmLut lut{};
  lut.gridSize1 = lut.gridSize2 = lut.gridSize3 = 2;
  lut.channelCount = 3;
  lut.inkLoadLight = 250, lut.inkLoadDark = 100;
  Bytes table(24 + 4, 200);
  for (int n = 0; n < 24; ++n) table[size_t(n)] = uint8_t(n * 11);
  lut.tableData = table.data();
  ApplyInkLoad(&lut);
  for (int n = 0; n < 24; ++n) EXPECT_EQ(table[size_t(n)], InkLoadReference(250, 100, n * 11));
  EXPECT_EQ(table[24], 200);  // a fourth axis's bytes are not touched
}

// grayToBlack over nodes 0, 128, 255 whose diagonal black values are given.
Bytes GreyToBlack(int32_t kind, Bytes black) {
  CmLut lut{};
  lut.tableKind = kind, lut.channelCount = 2;
  lut.gridSize1 = lut.gridSize2 = lut.gridSize3 = 3;
  for (uint8_t *nodes : {lut.nodes1, lut.nodes2, lut.nodes3}) nodes[1] = 128, nodes[2] = 255;
  Bytes table(54, 77);
  for (size_t i = 0; i < 3; ++i) table[i * 26 + 1] = black[i];
  lut.tableData = table.data();
  BuildGrayToBlack(&lut);
  return Bytes(lut.grayToBlack, lut.grayToBlack + 256);
}

TEST(GrayToBlack, BlendsTheDiagonalAndClampsBelowWhite) {
  const Bytes ramp = GreyToBlack(1, {250, 90, 20});
  for (int v = 0; v < 256; ++v) {
    const int want = v <= 128 ? ((128 - v) * 250 + v * 90) / 128 : ((255 - v) * 90 + (v - 128) * 20) / 127;
    EXPECT_EQ(ramp[size_t(v)], want) << v;
  }
  for (int32_t kind : {0, 1, 3}) {
    const Bytes none = GreyToBlack(kind, {255, 0, 0}), full = GreyToBlack(kind, {255, 255, 255});
    EXPECT_EQ(none[200], kind != 0 ? 1 : 0);  // a black table keeps a trace of black
    EXPECT_EQ(none[255], 0);
    EXPECT_EQ(full[0], kind == 0 ? 254 : 255);  // one without never reaches 255
    EXPECT_EQ(full[254], kind == 0 ? 254 : 255);
    EXPECT_EQ(full[255], 255);
  }
}

TEST_F(ColourTableTest, UnusableResourcesAreRefusedBeforeAnythingIsTaken) {
  std::vector<void (*)(ColourTable &)> changes = {
      [](ColourTable &t) { t.nodes1.clear(), t.nodes2.clear(), t.nodes3.clear(); },
      [](ColourTable &t) { t.nodes1 = t.nodes2 = t.nodes3 = {0}; },
      [](ColourTable &t) { t.nodes1 = t.nodes2 = t.nodes3 = EvenNodes(37); },
      [](ColourTable &t) { t.nodes2 = EvenNodes(5); },
      [](ColourTable &t) { t.nodes1 = {1, 80, 160, 255}; },
      [](ColourTable &t) { t.nodes2 = {0, 80, 160, 254}; },
      [](ColourTable &t) { t.nodes3 = {0, 80, 80, 255}; },
      [](ColourTable &t) { t.channelCount = 0; },
      [](ColourTable &t) { t.format = 128, t.nodes4 = EvenNodes(3); },
      [](ColourTable &t) { t.format = 128, t.nodes4 = {0, 90, 90, 255}; },
      [](ColourTable &t) { t.kind = 3, t.inkLoadDark = 0; },  // the curve is needed
  };
  for (size_t n = 0; n < changes.size(); ++n) {
    ColourTable t = MakeTable(4, 3);
    t.selector = {1, 2, 3};
    changes[n](t);
    EXPECT_EQ(Decode(t), kBadResource) << n;
    EXPECT_EQ(cm_->lut->tableResourceId, 0) << n;
    EXPECT_EQ(LiveAllocations(), 2) << n;
  }
  ColourTable t = MakeTable(36, 1);  // the largest grid, and a pair only
  t.kind = 1, t.inkLoadDark = 0;     // unusable where it is not needed
  ASSERT_EQ(Decode(t), kOk);
  EXPECT_EQ(Node(36 * 36 * 36 - 1), Bytes{3 + 7 * 35});
}

TEST_F(ColourTableTest, EveryAllocationFailureGivesItsCodeAndLeaksNothing) {
  const struct { bool selector; PlatformOp op; int nth; ResultCode want; int kept; } steps[] = {
      {true, PlatformOp::kAlloc, 1, kAllocFailed, 0}, {true, PlatformOp::kLock, 1, kLockFailed, 0},
      {true, PlatformOp::kAlloc, 2, kAllocFailed, 1}, {true, PlatformOp::kLock, 2, kLockFailed, 1},
      {false, PlatformOp::kAlloc, 1, kAllocFailed, 0}, {false, PlatformOp::kLock, 1, kLockFailed, 0}};
  for (const auto &s : steps) {
    ColourTable t = MakeTable(3, 2);
    if (s.selector) t.selector = {4, 4};
    // The object takes two allocations and two locks first.
    testing::FailNthCall(s.op, s.nth + 2);
    EXPECT_EQ(Decode(t), s.want) << s.nth;
    EXPECT_EQ(cm_->lut->tableHandle, 0u);
    EXPECT_EQ(LiveAllocations(), 2 + s.kept) << s.nth;  // a selector copy stays for CmDelete
    Drop();
  }
}

}  // namespace
}  // namespace inkdot
