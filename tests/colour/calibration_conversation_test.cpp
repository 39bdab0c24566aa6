// The colour conversation with the calibration calls, through the public
// operations, from CmNew to CmDelete.
#include <cstring>
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
using resources::Curve;
using testing::CallCount;
using testing::FailNthCall;
using testing::LiveAllocations;
using testing::PlatformOp;

constexpr int kInks = 4;
constexpr int kNodes = 3;
constexpr int kTableBytes = kNodes * kNodes * kNodes * kInks;
constexpr int32_t kTableId = 12345;
constexpr int32_t kCurveId = 12777;

// Curve n maps v to 255 - v for n = 0 and to v / 2 + n otherwise: far from
// every other curve, and not the identity.
uint8_t CurveByte(int n, int v) {
  return static_cast<uint8_t>(n == 0 ? 255 - v : v / 2 + n);
}

class CalibrationConversationTest : public ::testing::Test {
 protected:
  CalibrationConversationTest() {
    page_.method = 3;
    page_.inputFormat = 2;
    page_.colorMode = 1;
    page_.xResolution = 720;
    page_.yResolution = 720;
    params_.tableKeyNumber = 5;
    params_.neutralBalance = 50;

    resources::SelectionTable first;
    first.methods = {"none", "diffuse", "dither", "screen"};
    first.keyBase = 0;
    first.keys = {"plain"};
    first.modes = {"std"};
    first.entries = {{kTableId, 250, "screen", "plain", 720, 720, "std", 5, 0}};
    firstTable_ = resources::WriteSelectionTable(first);
    first.entries = {{kCurveId, 0, "screen", "plain", 720, 720, "std", 5, 0}};
    secondTable_ = resources::WriteSelectionTable(first);

    resources::ColourTable table;
    table.channelCount = kInks;
    table.nodes1 = table.nodes2 = table.nodes3 = resources::EvenNodes(kNodes);
    for (int i = 0; i < kTableBytes; ++i) table.grid.push_back(static_cast<uint8_t>(i * 7 + 3));
    table.neutralBlack = {0, 0, 0};
    grid_ = table.grid;
    colourTable_ = resources::WriteColourTable(table);

    block_ = resources::WriteCalibrationBlock({"CW:", 3, {55, 30, 70, 50}, {0xFE, 0xFF}});
    channelMap_ = resources::WriteChannelMap({{1, {3, 3, 3, 3}}, {3, {0, 1, 2, 3}}});
    reference_ = resources::WriteReferenceValues({std::nullopt, {50, 70, 30, 50}});
    std::vector<Curve> curves(21);
    for (int n = 0; n < 21; ++n) {
      for (int v = 0; v < 256; ++v) curves[n][v] = CurveByte(n, v);
    }
    curves_ = resources::WriteCurves(curves);
  }

  ~CalibrationConversationTest() override {
    if (cm_ != nullptr) CmDelete(cm_);
    EXPECT_EQ(LiveAllocations(), 0);
  }

  void WithCalibration() {
    options_.Add(kOptionCalibration, block_.data());
    params_.options = options_.List();
  }

  ResultCode New() {
    nextId_ = 55;
    return CmNew(&params_, &page_, 0, &nextId_, &cm_);
  }

  // The resource that the object asked for last.
  const void *Wanted() const {
    switch (nextId_) {
      case 0:
        return firstTable_.c_str();
      case kTableId:
        return colourTable_.data();
      case 980:
        return channelMap_.data();
      case 990:
        return reference_.data();
      case 12900:
        return secondTable_.c_str();
      case kCurveId:
        return curves_.data();
      default:
        return nullptr;
    }
  }

  ResultCode Next() { return CmSetResource(cm_, Wanted(), &nextId_); }

  // Runs the whole conversation; returns the first non-zero code, or 0.
  ResultCode Converse(std::vector<int32_t> *ids = nullptr) {
    ResultCode result = New();
    if (result != kOk) return result;
    while (result == kOk && nextId_ != -1) {
      result = Next();
      if (ids != nullptr) ids->push_back(nextId_);
    }
    return result;
  }

  std::vector<uint8_t> Table() const {
    const CmLut *lut = CmGetLut(cm_);
    return std::vector<uint8_t>(lut->tableData, lut->tableData + kTableBytes);
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  testing::OptionListBuilder options_;
  std::string firstTable_, secondTable_;
  std::vector<uint8_t> grid_, colourTable_, block_, channelMap_, reference_, curves_;
  CmContext *cm_ = nullptr;
  int32_t nextId_ = 0;
};

TEST_F(CalibrationConversationTest, SixCallsCalibrateTheFinishedTable) {
  // The same conversation without the block gives the table to calibrate.
  ASSERT_EQ(Converse(), kOk);
  const std::vector<uint8_t> plain = Table();
  // Neutral settings, kind 0 and a halftone id outside 300..399: the table
  // is the resource's grid as it came.
  ASSERT_EQ(plain, grid_);
  uint8_t plainGrey[256];
  std::memcpy(plainGrey, CmGetLut(cm_)->grayToBlack, 256);
  CmDelete(cm_);
  cm_ = nullptr;

  WithCalibration();
  std::vector<int32_t> ids;
  ASSERT_EQ(Converse(&ids), kOk);
  EXPECT_EQ(ids, (std::vector<int32_t>{kTableId, 980, 990, 12900, kCurveId, -1}));

  // Mode 1: (55 + 50 - 50 - 30) / 2 = 12, (30 + 50 - 70 - 30) / 2 -> 0,
  // (70 + 50 - 30 - 30) / 2 -> 20, and 10 for a value on its reference.
  const int curveOfInk[kInks] = {12, 0, 20, 10};
  const std::vector<uint8_t> calibrated = Table();
  for (int i = 0; i < kTableBytes; ++i) {
    ASSERT_EQ(calibrated[i], CurveByte(curveOfInk[i % kInks], plain[i])) << "byte " << i;
  }
  const CmLut *lut = CmGetLut(cm_);
  EXPECT_EQ(std::memcmp(lut->grayToBlack, plainGrey, 256), 0);
  EXPECT_EQ(lut->tableResourceId, kTableId);
  EXPECT_EQ(lut->halftoneResourceId, 250);
  EXPECT_EQ(LiveAllocations(), 3);  // object, CmLut, table: the state is gone

  // The conversation is over: a further call is refused and changes nothing.
  EXPECT_EQ(CmSetResource(cm_, curves_.data(), &nextId_), kBadResource);
  EXPECT_EQ(nextId_, -1);
  EXPECT_EQ(Table(), calibrated);
}

TEST_F(CalibrationConversationTest, FailingSecondSelectionReleasesTheState) {
  WithCalibration();
  resources::SelectionTable second;
  second.methods = {"none", "diffuse", "dither", "screen"};
  second.keyBase = 0;
  second.keys = {"plain"};
  second.modes = {"std"};
  second.entries = {{kCurveId, 0, "screen", "plain", 720, 720, "std", 6, 0}};
  secondTable_ = resources::WriteSelectionTable(second);
  ASSERT_EQ(New(), kOk);
  for (int call = 1; call <= 4; ++call) ASSERT_EQ(Next(), kOk) << call;
  EXPECT_EQ(nextId_, 12900);
  EXPECT_EQ(LiveAllocations(), 5);  // with the state and its planes
  EXPECT_EQ(Next(), kBadResource);
  EXPECT_EQ(nextId_, 0);
  EXPECT_EQ(LiveAllocations(), 3);
  // Calls after the failure touch nothing that was released.
  nextId_ = kCurveId;
  EXPECT_EQ(Next(), kBadResource);
  EXPECT_EQ(nextId_, -1);
}

TEST_F(CalibrationConversationTest, RefusedChannelMapReleasesTheState) {
  WithCalibration();
  channelMap_ = resources::WriteChannelMap({{3, {0, 1, 2, 4}}});
  ASSERT_EQ(New(), kOk);
  ASSERT_EQ(Next(), kOk);
  ASSERT_EQ(Next(), kOk);
  ASSERT_EQ(nextId_, 980);
  EXPECT_EQ(Next(), kBadResource);
  EXPECT_EQ(LiveAllocations(), 3);
}

TEST_F(CalibrationConversationTest, SettingsOutOfRangeStopTheSecondCall) {
  WithCalibration();
  params_.contrast = 51;
  ASSERT_EQ(New(), kOk);
  ASSERT_EQ(Next(), kOk);
  EXPECT_EQ(Next(), kBadParams);
  EXPECT_EQ(Table(), grid_);  // the decoded table stays
  CmDelete(cm_);
  cm_ = nullptr;
  EXPECT_EQ(LiveAllocations(), 0);

  const int32_t gamma = 301;
  options_.Add(kOptionGamma, &gamma);
  params_.contrast = 0;
  params_.options = options_.List();
  ASSERT_EQ(New(), kOk);
  ASSERT_EQ(Next(), kOk);
  EXPECT_EQ(Next(), kBadTable);
}

TEST_F(CalibrationConversationTest, AdjustedTableIsCalibratedAfterTheRebuild) {
  // A host red curve that swaps 0 and 255 and keeps 128 mirrors the nodes
  // 0, 128, 255 on the red axis: every node takes the bytes of its mirror
  // image, except the two corners, which keep their own.
  uint8_t host[768];
  for (int i = 0; i < 256; ++i) {
    host[i] = static_cast<uint8_t>(255 - i);
    host[256 + i] = host[512 + i] = static_cast<uint8_t>(i);
  }
  host[128] = 128;
  options_.Add(kOptionHostCurves, host);
  WithCalibration();
  ASSERT_EQ(Converse(), kOk);
  const int curveOfInk[kInks] = {12, 0, 20, 10};
  const std::vector<uint8_t> table = Table();
  for (int a = 0; a < kNodes; ++a) {
    for (int b = 0; b < kNodes; ++b) {
      for (int c = 0; c < kNodes; ++c) {
        const bool corner = (a + b + c == 0) || (a + b + c == 3 * (kNodes - 1));
        const int from = corner ? a : kNodes - 1 - a;
        for (int ch = 0; ch < kInks; ++ch) {
          const uint8_t source = grid_[((from * kNodes + b) * kNodes + c) * kInks + ch];
          const uint8_t got = table[((a * kNodes + b) * kNodes + c) * kInks + ch];
          ASSERT_EQ(got, CurveByte(curveOfInk[ch], source))
              << a << "," << b << "," << c << " ink " << ch;
        }
      }
    }
  }
}

TEST_F(CalibrationConversationTest, DeleteReleasesAStateLeftHalfWay) {
  WithCalibration();
  ASSERT_EQ(New(), kOk);
  for (int call = 1; call <= 3; ++call) ASSERT_EQ(Next(), kOk);
  EXPECT_EQ(nextId_, 990);
  EXPECT_EQ(LiveAllocations(), 5);
  // The fixture's CmDelete must leave nothing behind.
}

TEST_F(CalibrationConversationTest, EveryMemoryFailureLeavesNothingAfterDelete) {
  WithCalibration();
  ASSERT_EQ(Converse(), kOk);
  CmDelete(cm_);
  cm_ = nullptr;
  const int allocs = CallCount(PlatformOp::kAlloc);
  const int locks = CallCount(PlatformOp::kLock);
  ASSERT_GE(allocs, 7);  // object, CmLut, two work areas, table, new table, curves, ...

  for (PlatformOp op : {PlatformOp::kAlloc, PlatformOp::kLock}) {
    const int count = op == PlatformOp::kAlloc ? allocs : locks;
    for (int n = 1; n <= count; ++n) {
      testing::ResetPlatform();
      FailNthCall(op, n);
      const ResultCode result = Converse();
      // A selection table's work area that cannot be had, whether its
      // allocation or its lock failed, is reported as 257.
      if (op == PlatformOp::kAlloc) {
        EXPECT_EQ(result, kAllocFailed) << "failing call " << n;
      } else {
        EXPECT_TRUE(result == kLockFailed || result == kAllocFailed) << "failing call " << n;
      }
      if (cm_ != nullptr) {
        // No further call is wanted after a failure; one anyway is refused.
        if (n > 2) {
          EXPECT_EQ(CmSetResource(cm_, curves_.data(), &nextId_), kBadResource);
        }
        CmDelete(cm_);
        cm_ = nullptr;
      }
      EXPECT_EQ(LiveAllocations(), 0) << "failing call " << n;
    }
  }
}

}  // namespace
}  // namespace inkdot
