// The colour conversation through the public interface: CmNew, one
// CmSetResource per resource asked for, CmGetLut, CmDelete.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "colour/cm_context.h"
#include "colour_resource_writers.h"
#include "inkdot/inkdot.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using resources::ColourTable;
using resources::EvenNodes;
using resources::SelectionEntry;
using resources::SelectionTable;
using resources::WriteColourTable;
using resources::WriteSelectionTable;
using testing::FailNthCall;
using testing::LiveAllocations;
using testing::PlatformOp;

int InkLoadReference(int64_t light, int64_t dark, int64_t x) {
  const int64_t d = (((light - dark) * (255 - x) * (255 - x) + 1) / 255 + dark * 255) / 100;
  return static_cast<int>(((d / 2 + x * 255) / d) & 0xFF);
}

// A printer table of 17 nodes per axis and four inks: cyan, magenta and
// yellow are the complements of red, green and blue at each node, black
// grows where all three are high; the neutral black values fall from 255 at
// black to 0 at white.
ColourTable PrinterTable() {
  ColourTable t;
  t.kind = 1;
  t.channelCount = 4;
  t.inkLoadLight = 250;
  t.inkLoadDark = 100;
  t.nodes1 = t.nodes2 = t.nodes3 = EvenNodes(17);
  const std::vector<uint8_t> &n = t.nodes1;
  for (int a = 0; a < 17; ++a) {
    for (int b = 0; b < 17; ++b) {
      for (int c = 0; c < 17; ++c) {
        const int cyan = 255 - n[a], magenta = 255 - n[b], yellow = 255 - n[c];
        const int least = std::min(cyan, std::min(magenta, yellow));
        t.grid.insert(t.grid.end(), {uint8_t(cyan), uint8_t(magenta), uint8_t(yellow),
                                     uint8_t(least / 2)});
      }
    }
  }
  for (int i = 0; i < 17; ++i) t.neutralBlack.push_back(uint8_t(255 - n[i]));
  t.selector = {2, 0, 0, 0, 1, 0, 0, 0, 0x2C, 0x01, 0, 0};
  return t;
}

class ColourConversationTest : public ::testing::Test {
 protected:
  ColourConversationTest() {
    params_.neutralBalance = 50;
    params_.tableKeyNumber = 3;
    params_.tableKeyName = 1;
    page_.method = 3;
    page_.inputFormat = 2;
    page_.colorMode = 1;
    page_.xResolution = 720;
    page_.yResolution = 720;
    page_.dotMode = 2;
    page_.maxPixels = 4000;
  }
  ~ColourConversationTest() override {
    if (cm_ != nullptr) CmDelete(cm_);
  }

  // A selection table with one line for the page: method 3 is "screen",
  // key "photo" stands for 1, match mode 0 is "std".
  std::string Selection(int32_t tableId, int32_t halftoneId) const {
    SelectionTable s;
    s.methods = {"none", "diffuse", "dither", "screen"};
    s.keyBase = 0;
    s.keys = {"plain", "photo"};
    s.modes = {"std", "one", "two", "three", "enh"};
    s.entries = {SelectionEntry{tableId, halftoneId, "screen", "photo", 720, 720, "std", 3, 2}};
    return WriteSelectionTable(s);
  }

  void Start() {
    nextId_ = 77;
    ASSERT_EQ(CmNew(&params_, &page_, 0, &nextId_, &cm_), kOk);
    ASSERT_EQ(nextId_, 0);
  }

  ResultCode Send(const std::string &text) { return CmSetResource(cm_, text.c_str(), &nextId_); }
  ResultCode Send(const std::vector<uint8_t> &bytes) {
    return CmSetResource(cm_, bytes.data(), &nextId_);
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  CmContext *cm_ = nullptr;
  int32_t nextId_ = 0;
};

TEST_F(ColourConversationTest, ThreeCallsGiveACompleteTable) {
  Start();
  ASSERT_EQ(Send(Selection(5123, 210)), kOk);
  EXPECT_EQ(nextId_, 5123);
  const ColourTable t = PrinterTable();
  ASSERT_EQ(Send(WriteColourTable(t)), kOk);
  EXPECT_EQ(nextId_, -1);
  EXPECT_EQ(cm_->phase, 3);
  EXPECT_EQ(cm_->idBase, 5000);

  const CmLut *lut = CmGetLut(cm_);
  EXPECT_EQ(lut->tableResourceId, 5123);
  EXPECT_EQ(lut->halftoneResourceId, 210);
  EXPECT_EQ(lut->tableKind, 1);
  EXPECT_EQ(lut->channelCount, 4);
  EXPECT_EQ(lut->compositeGray, 0);
  EXPECT_EQ(lut->gridSize1, 17);
  EXPECT_EQ(lut->gridSize4, 1);
  EXPECT_EQ(lut->inkLoadLight, 250);
  ASSERT_NE(lut->selectorRecord, nullptr);
  EXPECT_EQ(lut->selectorRecord[8], 0x2C);
  EXPECT_EQ(lut->selectorRecord[9], 0x01);

  // The grid as authored, but for the grey diagonal, which carries black
  // ink only (screening, neutral balance).
  const std::vector<uint8_t> n = EvenNodes(17);
  for (int a = 0; a < 17; ++a) {
    for (int b = 0; b < 17; ++b) {
      for (int c = 0; c < 17; ++c) {
        const uint8_t *node = lut->tableData + ((a * 17 + b) * 17 + c) * 4;
        std::vector<uint8_t> want;
        if (a == b && b == c) {
          want = {0, 0, 0, uint8_t(255 - n[a])};
        } else {
          const int cyan = 255 - n[a], magenta = 255 - n[b], yellow = 255 - n[c];
          want = {uint8_t(cyan), uint8_t(magenta), uint8_t(yellow),
                  uint8_t(std::min(cyan, std::min(magenta, yellow)) / 2)};
        }
        ASSERT_EQ(std::vector<uint8_t>(node, node + 4), want) << a << "," << b << "," << c;
      }
    }
  }

  // Grey v blends the black of the diagonal nodes around it: 255 - v up to
  // the truncation of each cell, at least 1 below white.
  for (int v = 0; v < 256; ++v) {
    int cell = 1;
    while (v > n[static_cast<size_t>(cell)]) ++cell;
    const int low = n[static_cast<size_t>(cell - 1)], high = n[static_cast<size_t>(cell)];
    const int d = high - low, fr = v - low;
    int want = ((d - fr) * (255 - low) + fr * (255 - high)) / d;
    if (v < 255 && want == 0) want = 1;
    EXPECT_EQ(lut->grayToBlack[v], want) << v;
  }

  EXPECT_EQ(CmDelete(cm_), kOk);
  cm_ = nullptr;
  EXPECT_EQ(LiveAllocations(), 0);
}

TEST_F(ColourConversationTest, NoMatchingLineEndsTheFirstCall) {
  page_.xResolution = 360;
  Start();
  EXPECT_EQ(Send(Selection(5123, 210)), kBadResource);
  EXPECT_EQ(nextId_, 0);
  EXPECT_EQ(cm_->phase, 2);
  EXPECT_EQ(cm_->idBase, 0);
}

TEST_F(ColourConversationTest, IdBaseIsTheIdTruncatedToThousands) {
  const int32_t ids[] = {12345, 999, 1000, -5123};
  const int32_t bases[] = {12000, 0, 1000, -5000};
  const ResultCode results[] = {kOk, kOk, kOk, kAllocFailed};
  for (int n = 0; n < 4; ++n) {
    Start();
    EXPECT_EQ(Send(Selection(ids[n], 210)), results[n]) << ids[n];
    EXPECT_EQ(nextId_, ids[n]);
    EXPECT_EQ(cm_->idBase, bases[n]) << ids[n];
    CmDelete(cm_);
    cm_ = nullptr;
  }
}

TEST_F(ColourConversationTest, WorkAreaFailureAsksForNothing) {
  for (PlatformOp op : {PlatformOp::kAlloc, PlatformOp::kLock}) {
    Start();
    FailNthCall(op, 1);
    EXPECT_EQ(Send(Selection(5123, 210)), kAllocFailed);
    EXPECT_EQ(nextId_, -1);
    EXPECT_EQ(cm_->phase, 2);
    EXPECT_EQ(LiveAllocations(), 2);
    CmDelete(cm_);
    cm_ = nullptr;
    EXPECT_EQ(LiveAllocations(), 0);
  }
}

TEST_F(ColourConversationTest, InkLoadPassFollowsHalftoneIdVariantAndMethod) {
  struct Case {
    int32_t halftoneId;
    uint32_t methodVariant;
    uint32_t method;
    bool applies;
  };
  const Case cases[] = {
      {310, 0, 3, true},  {300, 1, 3, true},  {399, 0xFFFFFFFFu, 3, true},
      {299, 0, 3, false}, {400, 0, 3, false}, {310, 2, 3, false},
      {310, 0, 1, false}, {0, 0, 3, false},
  };
  for (const Case &c : cases) {
    page_.methodVariant = c.methodVariant;
    page_.method = c.method;
    Start();
    std::string text = Selection(2000, c.halftoneId);
    // The fixture's line names method 3; other methods use the list's names.
    if (c.method == 1) text.replace(text.find("screen"), 6, "diffuse");
    ASSERT_EQ(Send(text), kOk);
    ColourTable t = PrinterTable();
    t.kind = 0;  // no diagonal rewrite: every node as authored
    ASSERT_EQ(Send(WriteColourTable(t)), kOk);
    const CmLut *lut = CmGetLut(cm_);
    bool allMatch = true;
    for (size_t n = 0; n < t.grid.size(); ++n) {
      const int want = c.applies ? InkLoadReference(250, 100, t.grid[n]) : t.grid[n];
      allMatch = allMatch && lut->tableData[n] == want;
    }
    EXPECT_TRUE(allMatch) << c.halftoneId << " " << c.methodVariant << " " << c.method;
    // grayToBlack is read from the finished table: at white, black is the
    // node's own (0); at black, node (0,0,0) holds black 127.
    const int black = c.applies ? InkLoadReference(250, 100, 127) : 127;
    EXPECT_EQ(lut->grayToBlack[0], black) << c.halftoneId;
    CmDelete(cm_);
    cm_ = nullptr;
  }
}

TEST_F(ColourConversationTest, UnusableInkLoadIsRefusedBeforeAnythingIsBuilt) {
  Start();
  ASSERT_EQ(Send(Selection(2000, 310)), kOk);
  ColourTable t = PrinterTable();
  t.inkLoadDark = 0;
  EXPECT_EQ(Send(WriteColourTable(t)), kBadResource);
  EXPECT_EQ(CmGetLut(cm_)->tableHandle, 0u);
  EXPECT_EQ(LiveAllocations(), 2);
  // The same resource needs no curve for a halftone id outside 300..399.
  CmDelete(cm_);
  Start();
  ASSERT_EQ(Send(Selection(2000, 210)), kOk);
  EXPECT_EQ(Send(WriteColourTable(t)), kOk);
}

TEST_F(ColourConversationTest, CallsAfterTheEndChangeNothing) {
  const std::vector<uint8_t> table = WriteColourTable(PrinterTable());
  // After a complete conversation.
  Start();
  ASSERT_EQ(Send(Selection(2000, 210)), kOk);
  ASSERT_EQ(Send(table), kOk);
  const CmLut before = *CmGetLut(cm_);
  const std::vector<uint8_t> data(before.tableData, before.tableData + table.size() / 2);
  nextId_ = 5;
  EXPECT_EQ(Send(table), kBadResource);
  EXPECT_EQ(nextId_, -1);
  EXPECT_EQ(std::memcmp(CmGetLut(cm_), &before, sizeof before), 0);
  EXPECT_EQ(std::vector<uint8_t>(before.tableData, before.tableData + data.size()), data);
  EXPECT_EQ(LiveAllocations(), 4);
  CmDelete(cm_);

  // After a first call that matched nothing: the text is never decoded as
  // a colour table.
  page_.yResolution = 360;
  Start();
  const std::string selection = Selection(2000, 210);
  ASSERT_EQ(Send(selection), kBadResource);
  EXPECT_EQ(Send(selection), kBadResource);
  EXPECT_EQ(nextId_, -1);
  EXPECT_EQ(cm_->phase, 3);
  EXPECT_EQ(LiveAllocations(), 2);
  CmDelete(cm_);
  page_.yResolution = 720;

  // After a second call that failed.
  Start();
  ASSERT_EQ(Send(Selection(2000, 210)), kOk);
  FailNthCall(PlatformOp::kAlloc, 1);
  ASSERT_EQ(Send(table), kAllocFailed);
  EXPECT_EQ(Send(table), kBadResource);
  EXPECT_EQ(nextId_, -1);
  EXPECT_EQ(cm_->phase, 4);
  CmDelete(cm_);
  cm_ = nullptr;
  EXPECT_EQ(LiveAllocations(), 0);
}

TEST_F(ColourConversationTest, EveryFailureOfTheSecondCallUnwinds) {
  struct Step {
    PlatformOp op;
    int nth;
    ResultCode want;
  };
  const Step steps[] = {{PlatformOp::kAlloc, 1, kAllocFailed},
                        {PlatformOp::kLock, 1, kLockFailed},
                        {PlatformOp::kAlloc, 2, kAllocFailed},
                        {PlatformOp::kLock, 2, kLockFailed}};
  const std::vector<uint8_t> table = WriteColourTable(PrinterTable());
  for (const Step &s : steps) {
    Start();
    ASSERT_EQ(Send(Selection(2000, 210)), kOk);
    FailNthCall(s.op, s.nth);
    nextId_ = 2000;
    EXPECT_EQ(Send(table), s.want) << s.nth;
    EXPECT_EQ(cm_->phase, 3);
    EXPECT_EQ(CmGetLut(cm_)->tableHandle, 0u);
    EXPECT_EQ(CmDelete(cm_), kOk);
    cm_ = nullptr;
    EXPECT_EQ(LiveAllocations(), 0) << s.nth;
  }
  // A refused grid takes nothing either.
  ColourTable bad = PrinterTable();
  bad.nodes2 = EvenNodes(9);
  Start();
  ASSERT_EQ(Send(Selection(2000, 210)), kOk);
  EXPECT_EQ(Send(WriteColourTable(bad)), kBadResource);
  EXPECT_EQ(LiveAllocations(), 2);
}

}  // namespace
}  // namespace inkdot
