// Per-ink calibration, driven through the public colour conversation from
// CmNew to CmDelete.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calibration_resource_writers.h"
#include "colour/option_list.h"
#include "colour_resource_writers.h"
#include "inkdot/inkdot.h"
#include "support/option_list_builder.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using resources::ChannelMapRecord;
using resources::ReferenceValues;
using testing::LiveAllocations;
using testing::PlatformOp;

constexpr int kInks = 4;
constexpr int kTableBytes = 27 * kInks;  // 3 x 3 x 3 nodes
constexpr int32_t kTableId = 12345;
constexpr int32_t kCurveId = 12777;

// Curve n of the curve resource: every curve differs from every other at
// every byte, and none is the identity.
uint8_t CurveByte(int n, int v) { return static_cast<uint8_t>(n == 0 ? 255 - v : v / 2 + n); }

resources::SelectionTable Selection(int32_t id, const char *mode, int32_t keyNumber) {
  resources::SelectionTable table;
  table.methods = {"none", "diffuse", "dither", "screen"};
  table.keys = {"Plain"};
  table.modes = {"calib", "one", "two", "three", "enh"};
  table.entries = {{id, 250, "screen", "Plain", 720, 720, mode, keyNumber, 0}};
  return table;
}

class CalibrationTest : public ::testing::Test {
 protected:
  CalibrationTest() {
    page_ = {3, 0, 2, 1, 720, 720, 0, 0, 0, 0, 0};
    params_.tableKeyNumber = 5;
    params_.neutralBalance = 50;
    params_.colorAdjustMode = 2;  // match mode 4 for the first table only
    firstTable_ = resources::WriteSelectionTable(Selection(kTableId, "enh", 5));
    secondTable_ = resources::WriteSelectionTable(Selection(kCurveId, "calib", 5));
    table_.channelCount = kInks;
    table_.nodes1 = table_.nodes2 = table_.nodes3 = resources::EvenNodes(3);
    for (int i = 0; i < kTableBytes; ++i) table_.grid.push_back(static_cast<uint8_t>(i * 7 + 3));
    table_.neutralBlack = {0, 0, 0};
    block_ = {"CW:", 3, {55, 30, 70, 50}, {0xFE, 0xFF}};
    map_ = {{1, {3, 3, 3, 3}}, {3, {0, 1, 2, 3}}};
    reference_ = {std::nullopt, {50, 70, 30, 50}};
    std::vector<resources::Curve> curves(37);
    for (int n = 0; n < 37; ++n) {
      for (int v = 0; v < 256; ++v) curves[n][v] = CurveByte(n, v);
    }
    curves_ = resources::WriteCurves(curves);
  }

  ~CalibrationTest() override {
    if (cm_ != nullptr) CmDelete(cm_);
    EXPECT_EQ(LiveAllocations(), 0);
  }

  ResultCode New() {
    colourTable_ = resources::WriteColourTable(table_);
    blockBytes_ = resources::WriteCalibrationBlock(block_);
    mapBytes_ = resources::WriteChannelMap(map_);
    referenceBytes_ = resources::WriteReferenceValues(reference_);
    options_ = {};
    options_.Add(kOptionCalibration, blockBytes_.data());
    if (hostCurves_ != nullptr) options_.Add(kOptionHostCurves, hostCurves_);
    params_.options = options_.List();
    nextId_ = 55;
    return CmNew(&params_, &page_, 0, &nextId_, &cm_);
  }

  ResultCode Next() {
    const void *wanted = nullptr;
    switch (nextId_) {
      case 0: wanted = firstTable_.c_str(); break;
      case kTableId: wanted = colourTable_.data(); break;
      case 980: wanted = mapBytes_.data(); break;
      case 990: wanted = referenceBytes_.data(); break;
      case 12900: wanted = secondTable_.c_str(); break;
      case kCurveId: wanted = curves_.data(); break;
    }
    return CmSetResource(cm_, wanted, &nextId_);
  }

  // The whole conversation: the first non-zero code, or 0.
  ResultCode Converse(std::vector<int32_t> *ids = nullptr) {
    ResultCode result = New();
    while (result == kOk && nextId_ != -1) {
      result = Next();
      if (ids != nullptr) ids->push_back(nextId_);
    }
    return result;
  }

  std::vector<uint8_t> Table() const {
    const uint8_t *data = CmGetLut(cm_)->tableData;
    return std::vector<uint8_t>(data, data + kTableBytes);
  }

  // Every byte of channel p went through curve curveOfChannel[p] (-1: a
  // plane that received no curve, all zeros).
  void ExpectCurves(const std::vector<int> &curveOfChannel) const {
    const std::vector<uint8_t> table = Table();
    for (int i = 0; i < kTableBytes; ++i) {
      const int n = curveOfChannel[i % kInks];
      ASSERT_EQ(table[i], n < 0 ? 0 : CurveByte(n, table_.grid[i])) << "byte " << i;
    }
  }

  void Delete() {
    CmDelete(cm_);
    cm_ = nullptr;
    EXPECT_EQ(LiveAllocations(), 0);
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  resources::ColourTable table_;
  resources::CalibrationBlock block_;
  std::vector<ChannelMapRecord> map_;
  ReferenceValues reference_;
  testing::OptionListBuilder options_;
  std::string firstTable_, secondTable_;
  std::vector<uint8_t> colourTable_, blockBytes_, mapBytes_, referenceBytes_, curves_;
  const uint8_t *hostCurves_ = nullptr;
  CmContext *cm_ = nullptr;
  int32_t nextId_ = 0;
};

TEST_F(CalibrationTest, SixCallsCalibrateTheFinishedTable) {
  std::vector<int32_t> ids;
  ASSERT_EQ(Converse(&ids), kOk);
  EXPECT_EQ(ids, (std::vector<int32_t>{kTableId, 980, 990, 12900, kCurveId, -1}));
  // Mode 1: (55 + 50 - 50 - 30) / 2 = 12, (30 + 50 - 70 - 30) / 2 -> 0,
  // (70 + 50 - 30 - 30) / 2 -> 20, and 10 for a value on its reference.
  ExpectCurves({12, 0, 20, 10});
  const CmLut *lut = CmGetLut(cm_);
  EXPECT_EQ(lut->tableResourceId, kTableId);  // the second selection leaves the ids
  EXPECT_EQ(lut->halftoneResourceId, 250);
  uint8_t grey[256];
  std::memcpy(grey, lut->grayToBlack, 256);
  EXPECT_EQ(LiveAllocations(), 3);  // object, CmLut, table: the state is gone

  // Over: a further call is refused and changes nothing.
  const std::vector<uint8_t> calibrated = Table();
  EXPECT_EQ(CmSetResource(cm_, curves_.data(), &nextId_), kBadResource);
  EXPECT_EQ(nextId_, -1);
  EXPECT_EQ(Table(), calibrated);
  Delete();

  // Without the block the table is the resource's grid (neutral settings)
  // and the grey-to-black table, built before calibration, is the same.
  block_.tag = "XX:";
  ASSERT_EQ(Converse(&ids), kOk);
  EXPECT_EQ(Table(), table_.grid);
  EXPECT_EQ(std::memcmp(CmGetLut(cm_)->grayToBlack, grey, 256), 0);
}

TEST_F(CalibrationTest, CurveChoiceByReferenceMode) {
  struct Case {
    std::vector<uint8_t> printer;
    int mode;  // stored before the values when not 0
    std::vector<uint8_t> reference;
    std::vector<int> curves;
  };
  const std::vector<Case> cases = {
      // Mode 1 with every ink within 2 of its reference: all take curve 10.
      {{52, 48, 50, 51}, 0, {50, 50, 50, 50}, {10, 10, 10, 10}},
      // One ink 3 away: each ink on its own, 72 / 2, 68 / 2, 70 / 2, 73 / 2.
      {{52, 48, 50, 53}, 0, {50, 50, 50, 50}, {11, 9, 10, 11}},
      // Mode 2 from byte 0, values from byte 1: one curve per unit, middle
      // 18, highest 36, no tolerance.
      {{50, 51, 30, 70}, 2, {50, 50, 70, 30}, {18, 19, 0, 36}},
      // Any other mode acts as mode 1.
      {{55, 51, 50, 50}, 9, {50, 50, 50, 50}, {12, 10, 10, 10}},
  };
  for (const Case &c : cases) {
    block_.printerValues = c.printer;
    reference_.mode.reset();
    if (c.mode != 0) reference_.mode = static_cast<uint8_t>(c.mode);
    reference_.values = c.reference;
    ASSERT_EQ(Converse(), kOk);
    ExpectCurves(c.curves);
    Delete();
  }
}

TEST_F(CalibrationTest, ChannelMapRecordsOfTheHead) {
  block_.printerValues = {55, 70, 60, 50};
  // The later record of head 3 wins; head 7's is not ours. Inks 0 and 1
  // share plane 0, where ink 1's curve lands last; plane 1 gets none.
  map_ = {{3, {3, 2, 1, 0}}, {7, {9, 9, 9, 9}}, {3, {0, 0, 2, 3}}};
  reference_ = {std::nullopt, {50, 50, 50, 50}};
  ASSERT_EQ(Converse(), kOk);
  ExpectCurves({20, -1, 15, 10});
  Delete();

  map_ = {{2, {3, 3, 3, 3}}};  // no record of the head: ink i to plane i
  ASSERT_EQ(Converse(), kOk);
  ExpectCurves({12, 20, 15, 10});
}

TEST_F(CalibrationTest, InvalidBlocksSkipTheCalibration) {
  const std::vector<uint8_t> ok = {50, 50, 50, 50};
  const resources::CalibrationBlock invalid[] = {
      {"CW:", 3, {50, 29, 50, 50}, {0xFE, 0xFF}},
      {"CW:", 3, {50, 50, 50, 71}, {0xFE, 0xFF}},
      {"CW:", 3, ok, {0xFE, 0x00}},
      {"CW:", 3, ok, {0xFF, 0xFF}},
      {"CW;", 3, ok, {0xFE, 0xFF}},
      {"CW:", 3, {50, 50, 50}, {0xFE, 0xFF, 0xFF}},  // one value short
  };
  for (const auto &block : invalid) {
    block_ = block;
    std::vector<int32_t> ids;
    ASSERT_EQ(Converse(&ids), kOk);
    EXPECT_EQ(ids, (std::vector<int32_t>{kTableId, -1}));
    EXPECT_EQ(LiveAllocations(), 3);
    Delete();
  }
  // The edges of the value range are valid.
  block_ = {"CW:", 3, {30, 70, 30, 70}, {0xFE, 0xFF}};
  ASSERT_EQ(New(), kOk);
  ASSERT_EQ(Next(), kOk);
  ASSERT_EQ(Next(), kOk);
  EXPECT_EQ(nextId_, 980);
}

TEST_F(CalibrationTest, MoreThanTwentyInksSkipTheCalibration) {
  table_.channelCount = 21;
  table_.nodes1 = table_.nodes2 = table_.nodes3 = {0, 255};
  table_.grid.assign(8 * 21, 9);
  table_.neutralBlack = {0, 0};
  block_.printerValues.assign(21, 50);
  std::vector<int32_t> ids;
  ASSERT_EQ(Converse(&ids), kOk);
  EXPECT_EQ(ids, (std::vector<int32_t>{kTableId, -1}));
}

TEST_F(CalibrationTest, RefusedCallsReleaseTheState) {
  const std::vector<std::vector<ChannelMapRecord>> refusedMaps = {
      {{3, {0, 1, 4, 3}}},                 // plane 4 of 4 channels
      {{3, {0, 1, 2}}},                    // a plane number missing
      {{5, std::vector<uint8_t>(20, 0)}},  // 21 bytes before the 0xFE
  };
  for (const auto &map : refusedMaps) {
    map_ = map;
    EXPECT_EQ(Converse(), kBadResource);
    EXPECT_EQ(LiveAllocations(), 3);
    Delete();
  }
  // 20 bytes is still a record, and other heads' planes are not checked.
  map_ = {{5, std::vector<uint8_t>(19, 9)}, {3, {0, 1, 2, 3}}};
  ASSERT_EQ(Converse(), kOk);
  Delete();

  // The second selection table has no line for the settings.
  secondTable_ = resources::WriteSelectionTable(Selection(kCurveId, "calib", 6));
  ASSERT_EQ(New(), kOk);
  for (int call = 1; call <= 4; ++call) ASSERT_EQ(Next(), kOk);
  EXPECT_EQ(LiveAllocations(), 5);  // with the state and its planes
  EXPECT_EQ(Next(), kBadResource);
  EXPECT_EQ(nextId_, 0);
  EXPECT_EQ(LiveAllocations(), 3);
  nextId_ = kCurveId;
  EXPECT_EQ(Next(), kBadResource);  // nothing released is touched
}

TEST_F(CalibrationTest, DeleteReleasesAStateLeftHalfWay) {
  ASSERT_EQ(New(), kOk);
  for (int call = 1; call <= 3; ++call) ASSERT_EQ(Next(), kOk);
  EXPECT_EQ(nextId_, 990);
  EXPECT_EQ(LiveAllocations(), 5);
}

TEST_F(CalibrationTest, AdjustedTableIsCalibratedAfterTheRebuild) {
  // A host red curve swapping 0 and 255 and keeping 128 mirrors the nodes
  // on the red axis; the black and white corners keep their own bytes.
  uint8_t host[768];
  for (int i = 0; i < 256; ++i) {
    host[i] = static_cast<uint8_t>(255 - i);
    host[256 + i] = host[512 + i] = static_cast<uint8_t>(i);
  }
  host[128] = 128;
  hostCurves_ = host;
  ASSERT_EQ(Converse(), kOk);
  const int curves[kInks] = {12, 0, 20, 10};
  const std::vector<uint8_t> table = Table();
  for (int node = 0; node < 27; ++node) {
    const bool corner = node == 0 || node == 26;
    const int from = corner ? node : (2 - node / 9) * 9 + node % 9;
    for (int ch = 0; ch < kInks; ++ch) {
      ASSERT_EQ(table[node * kInks + ch], CurveByte(curves[ch], table_.grid[from * kInks + ch]))
          << "node " << node << " ink " << ch;
    }
  }
}

TEST_F(CalibrationTest, SettingsOutOfRangeStopTheSecondCall) {
  params_.contrast = 51;
  ASSERT_EQ(New(), kOk);
  ASSERT_EQ(Next(), kOk);
  EXPECT_EQ(Next(), kBadParams);
  EXPECT_EQ(Table(), table_.grid);  // the decoded table stays
}

TEST_F(CalibrationTest, EveryMemoryFailureLeavesNothingAfterDelete) {
  ASSERT_EQ(Converse(), kOk);
  Delete();
  const int allocs = testing::CallCount(PlatformOp::kAlloc);
  const int locks = testing::CallCount(PlatformOp::kLock);
  for (PlatformOp op : {PlatformOp::kAlloc, PlatformOp::kLock}) {
    for (int n = 1; n <= (op == PlatformOp::kAlloc ? allocs : locks); ++n) {
      testing::ResetPlatform();
      testing::FailNthCall(op, n);
      const ResultCode result = Converse();
      // A selection's work area that cannot be had reads as 257 either way.
      EXPECT_TRUE(result == kAllocFailed || (op == PlatformOp::kLock && result == kLockFailed))
          << "failing call " << n << ": " << result;
      if (cm_ != nullptr) Delete();
      EXPECT_EQ(LiveAllocations(), 0) << "failing call " << n;
    }
  }
}

}  // namespace
}  // namespace inkdot
