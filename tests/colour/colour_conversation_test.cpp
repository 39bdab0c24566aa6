// SPDX-License-Identifier: Apache-2.0
// The colour conversation through the public interface: CmNew, one
// CmSetResource per resource asked for, CmGetLut, CmDelete.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "colour/cm_context.h"
#include "colour/ink_load_reference.h"
#include "inkdot/formats/colour_table.h"
#include "inkdot/formats/selection_table.h"
#include "inkdot/inkdot.h"
#include "support/test_platform.h"

namespace inkdot {

namespace write = formats::write;

namespace {

using write::ColourTable;
using write::EvenNodes;
using write::SelectionEntry;
using write::SelectionTable;
using write::WriteColourTable;
using write::WriteSelectionTable;
using testing::FailNthCall;
using testing::LiveAllocations;
using testing::PlatformOp;

// A printer table of 17 nodes per axis and four inks: cyan, magenta and
// yellow complement red, green and blue at each node, black is half the
// least of them; the neutral black values fall from 255 to 0 towards white.
ColourTable PrinterTable() {
  ColourTable t;
  t.kind = 1, t.channelCount = 4, t.inkLoadLight = 250, t.inkLoadDark = 100;
  t.nodes1 = t.nodes2 = t.nodes3 = EvenNodes(17);
  for (int a : t.nodes1)
    for (int b : t.nodes1)
      for (int c : t.nodes1)
        t.grid.insert(t.grid.end(), {uint8_t(255 - a), uint8_t(255 - b), uint8_t(255 - c),
                                     uint8_t((255 - std::max(a, std::max(b, c))) / 2)});
  for (int a : t.nodes1) t.neutralBlack.push_back(uint8_t(255 - a));
  t.selector = {2, 0, 0, 0, 1, 0, 0, 0, 0x2C, 0x01, 0, 0};
  return t;
}

class ColourConversationTest : public ::testing::Test {
 protected:
  ColourConversationTest() {
    params_.neutralBalance = 50, params_.tableKeyNumber = 3, params_.tableKeyName = 1;
    page_.method = 3, page_.inputFormat = 2, page_.colorMode = 1, page_.dotMode = 2;
    page_.xResolution = page_.yResolution = 720;
  }
  ~ColourConversationTest() override { Stop(); }

  // One line for the page: method 3 "screen", key "photo" (1), mode 0 "std"
  // (4 "enh" under the enhanced adjustment).
  static std::string Selection(int32_t tableId, int32_t halftoneId, std::string method = "screen",
                               std::string mode = "std") {
    SelectionTable s;
    s.methods = {"none", "diffuse", "dither", "screen"};
    s.keyBase = 0;
    s.keys = {"plain", "photo"};
    s.modes = {"std", "one", "two", "three", "enh"};
    s.entries = {SelectionEntry{tableId, halftoneId, method, "photo", 720, 720, mode, 3, 2}};
    return WriteSelectionTable(s);
  }
  void Start() {
    Stop();
    nextId_ = 77;
    ASSERT_EQ(CmNew(&params_, &page_, 0, &nextId_, &cm_), kOk);
  }
  void Stop() {
    if (cm_ != nullptr) {
      EXPECT_EQ(CmDelete(cm_), kOk);
    }
    cm_ = nullptr;
    EXPECT_EQ(LiveAllocations(), 0);
  }
  ResultCode Send(const std::string &text) { return CmSetResource(cm_, text.c_str(), &nextId_); }
  ResultCode Send(const ColourTable &t) {
    resource_ = WriteColourTable(t);
    return CmSetResource(cm_, resource_.data(), &nextId_);
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  CmContext *cm_ = nullptr;
  int32_t nextId_ = 0;
  std::vector<uint8_t> resource_;
};

TEST_F(ColourConversationTest, FirstCallAsksForTheSelectedTable) {
  const struct { int32_t id; int32_t base; ResultCode result; } cases[] = {
      {12345, 12000, kOk}, {999, 0, kOk}, {1000, 1000, kOk}, {-5123, -5000, kAllocFailed}};
  for (const auto &c : cases) {
    Start();
    EXPECT_EQ(Send(Selection(c.id, 210)), c.result);
    EXPECT_EQ(nextId_, c.id);
    EXPECT_EQ(cm_->idBase, c.base);
  }
  Start();
  EXPECT_EQ(Send(Selection(5123, 210, "dither")), kBadResource);  // no line matches
  EXPECT_EQ(nextId_, 0);
  EXPECT_EQ(cm_->phase, 2);
  for (PlatformOp op : {PlatformOp::kAlloc, PlatformOp::kLock}) {
    Start();
    FailNthCall(op, 1);
    EXPECT_EQ(Send(Selection(5123, 210)), kAllocFailed);  // no work area
    EXPECT_EQ(nextId_, -1);
    EXPECT_EQ(LiveAllocations(), 2);
  }
}

TEST_F(ColourConversationTest, InkLoadPassFollowsHalftoneIdVariantAndMethod) {
  const struct { int32_t halftoneId; uint32_t variant, method; bool applies; } cases[] = {
      {310, 0, 3, true},  {300, 1, 3, true},  {399, 0xFFFFFFFFu, 3, true}, {299, 0, 3, false},
      {400, 0, 3, false}, {310, 2, 3, false}, {310, 0, 1, false},          {0, 0, 3, false}};
  for (const auto &c : cases) {
    page_.methodVariant = c.variant, page_.method = c.method;
    Start();
    ASSERT_EQ(Send(Selection(2000, c.halftoneId, c.method == 1 ? "diffuse" : "screen")), kOk);
    ColourTable t = PrinterTable();
    t.kind = 0;  // every node as authored
    ASSERT_EQ(Send(t), kOk);
    const CmLut *lut = CmGetLut(cm_);
    size_t wrong = 0;
    for (size_t n = 0; n < t.grid.size(); ++n)
      wrong += lut->tableData[n] != (c.applies ? InkLoadReference(250, 100, t.grid[n]) : t.grid[n]);
    EXPECT_EQ(wrong, 0u) << c.halftoneId << " " << c.variant << " " << c.method;
    // grayToBlack comes from the finished table: node (0,0,0) holds black 127.
    EXPECT_EQ(lut->grayToBlack[0], c.applies ? InkLoadReference(250, 100, 127) : 127);
  }
  // A pair the curve is undefined for is refused before anything is built.
  Start();
  ASSERT_EQ(Send(Selection(2000, 310)), kOk);
  ColourTable t = PrinterTable();
  t.inkLoadDark = 0;
  EXPECT_EQ(Send(t), kBadResource);
  EXPECT_EQ(LiveAllocations(), 2);
}

TEST_F(ColourConversationTest, CallsAfterTheEndChangeNothing) {
  Start();  // after a complete conversation
  ASSERT_EQ(Send(Selection(2000, 210)), kOk);
  ASSERT_EQ(Send(PrinterTable()), kOk);
  const CmLut before = *CmGetLut(cm_);
  nextId_ = 5;
  EXPECT_EQ(Send(PrinterTable()), kBadResource);
  EXPECT_EQ(nextId_, -1);
  EXPECT_EQ(std::memcmp(CmGetLut(cm_), &before, sizeof before), 0);
  EXPECT_EQ(LiveAllocations(), 4);

  Start();  // after a first call that matched nothing: no decoding of it
  const std::string unmatched = Selection(2000, 210, "dither");
  ASSERT_EQ(Send(unmatched), kBadResource);
  EXPECT_EQ(Send(unmatched), kBadResource);
  EXPECT_EQ(nextId_, -1);
  EXPECT_EQ(LiveAllocations(), 2);
}

TEST_F(ColourConversationTest, KindTwoReadsAsOneAndTheSaturationBoostStopsAt50) {
  auto table = [this](int32_t saturation, int8_t boost, uint8_t kind) {
    params_.saturation = saturation, params_.colorAdjustMode = 2;
    Start();
    EXPECT_EQ(Send(Selection(2000, 210, "screen", "enh")), kOk);
    ColourTable t = PrinterTable();
    t.saturationBoost = boost, t.kind = kind;
    EXPECT_EQ(Send(t), kOk);
    const CmLut *lut = CmGetLut(cm_);
    EXPECT_EQ(lut->tableKind, kind == 2 ? 1 : kind);
    return std::vector<uint8_t>(lut->tableData, lut->tableData + t.grid.size());
  };
  // The enhanced adjustment adds the table's boost to the saturation and
  // holds the sum at 50.
  const std::vector<uint8_t> fifty = table(50, 0, 1);
  EXPECT_EQ(table(40, 20, 2), fifty);
  EXPECT_NE(table(40, 5, 1), fifty);
}

TEST_F(ColourConversationTest, UnusableTablesAreRefusedBeforeAnythingIsTaken) {
  const std::vector<void (*)(ColourTable &)> changes = {
      [](ColourTable &t) { t.nodes1.clear(), t.nodes2.clear(), t.nodes3.clear(); },
      [](ColourTable &t) { t.nodes1 = t.nodes2 = t.nodes3 = {0}; },
      [](ColourTable &t) { t.nodes1 = t.nodes2 = t.nodes3 = EvenNodes(37); },
      [](ColourTable &t) { t.nodes2 = EvenNodes(5); },
      [](ColourTable &t) { t.nodes1[0] = 1; },
      [](ColourTable &t) { t.nodes2[16] = 254; },
      [](ColourTable &t) { t.nodes3[5] = t.nodes3[4]; },  // a node repeated
      [](ColourTable &t) { t.channelCount = 0; },
      [](ColourTable &t) { t.format = 128, t.nodes4 = EvenNodes(3); },
      [](ColourTable &t) { t.format = 128, t.nodes4 = EvenNodes(17), t.nodes4[9] = t.nodes4[8]; },
      [](ColourTable &t) { t.kind = 3, t.inkLoadDark = 0; },  // the curve is needed
  };
  for (size_t n = 0; n < changes.size(); ++n) {
    Start();
    ASSERT_EQ(Send(Selection(2000, 210)), kOk);
    ColourTable t = PrinterTable();
    changes[n](t);
    EXPECT_EQ(Send(t), kBadResource) << n;
    EXPECT_EQ(CmGetLut(cm_)->tableResourceId, 0) << n;
    EXPECT_EQ(LiveAllocations(), 2) << n;
  }
  Start();
  ColourTable t = PrinterTable();  // the largest grid, one ink
  t.nodes1 = t.nodes2 = t.nodes3 = EvenNodes(36);
  t.channelCount = 1, t.grid.assign(36 * 36 * 36, 9), t.neutralBlack.assign(36, 7);
  t.inkLoadDark = 0;  // unusable where it is not needed
  ASSERT_EQ(Send(Selection(2000, 210)), kOk);
  EXPECT_EQ(Send(t), kOk);
}

TEST_F(ColourConversationTest, EveryFailureOfTheSecondCallUnwinds) {
  const struct { PlatformOp op; int nth; ResultCode want; } steps[] = {
      {PlatformOp::kAlloc, 1, kAllocFailed}, {PlatformOp::kLock, 1, kLockFailed},
      {PlatformOp::kAlloc, 2, kAllocFailed}, {PlatformOp::kLock, 2, kLockFailed}};
  for (const auto &s : steps) {
    Start();
    ASSERT_EQ(Send(Selection(2000, 210)), kOk);
    FailNthCall(s.op, s.nth);  // the selector copy, then the table
    EXPECT_EQ(Send(PrinterTable()), s.want) << s.nth;
    EXPECT_EQ(CmGetLut(cm_)->tableHandle, 0u);
    EXPECT_EQ(Send(PrinterTable()), kBadResource);  // the conversation is over
    Stop();  // and nothing is left behind
  }
}

}  // namespace
}  // namespace inkdot
