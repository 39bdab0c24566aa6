#include "colour/calibration.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calibration_resource_writers.h"
#include "colour/cm_context.h"
#include "colour/option_list.h"
#include "colour_resource_writers.h"
#include "frame/memory_blocks.h"
#include "support/option_list_builder.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using resources::CalibrationBlock;
using resources::ChannelMapRecord;
using resources::Curve;
using resources::ReferenceValues;
using testing::FailNthCall;
using testing::LiveAllocations;
using testing::PlatformOp;

// Curve n of the test curve resources: v -> v / 4 + 5n, so that every
// curve differs from every other at every byte.
uint8_t CurveByte(int n, int v) { return static_cast<uint8_t>(v / 4 + 5 * n); }

std::vector<uint8_t> TestCurves(int count) {
  std::vector<Curve> curves(static_cast<size_t>(count));
  for (int n = 0; n < count; ++n) {
    for (int v = 0; v < 256; ++v) curves[n][v] = CurveByte(n, v);
  }
  return resources::WriteCurves(curves);
}

class CalibrationTest : public ::testing::Test {
 protected:
  static constexpr int kInks = 4;
  static constexpr int kNodes = 3;

  CalibrationTest() {
    page_.method = 3;
    page_.inputFormat = 2;
    page_.xResolution = 720;
    page_.yResolution = 720;
    params_.tableKeyNumber = 5;
    block_.headId = 3;
    block_.printerValues = {50, 50, 50, 50};
  }

  ~CalibrationTest() override {
    if (cm_ != nullptr) DeleteCmContext(cm_);
    EXPECT_EQ(LiveAllocations(), 0);
  }

  // The object with a 3 x 3 x 3 table of 4 inks whose bytes all differ in
  // their low bits, and the calibration block in its option list.
  void Create() {
    blockBytes_ = resources::WriteCalibrationBlock(block_);
    options_.Add(kOptionCalibration, blockBytes_.data());
    params_.options = options_.List();
    int32_t nextId = 0;
    ASSERT_EQ(NewCmContext(&params_, &page_, &nextId, &cm_), kOk);
    CmLut *lut = cm_->lut;
    lut->channelCount = kInks;
    lut->gridSize1 = lut->gridSize2 = lut->gridSize3 = kNodes;
    lut->gridSize4 = 1;
    const uint8_t nodes[kNodes] = {0, 128, 255};
    std::memcpy(lut->nodes1, nodes, kNodes);
    std::memcpy(lut->nodes2, nodes, kNodes);
    std::memcpy(lut->nodes3, nodes, kNodes);
    void *memory = nullptr;
    ASSERT_EQ(MemAcquire(kTableBytes, 1, &lut->tableHandle, &memory), kOk);
    lut->tableData = static_cast<uint8_t *>(memory);
    for (int i = 0; i < kTableBytes; ++i) lut->tableData[i] = static_cast<uint8_t>(i * 9 + 1);
    original_.assign(lut->tableData, lut->tableData + kTableBytes);
    cm_->idBase = 12000;
    lut->tableResourceId = 12345;
    lut->halftoneResourceId = 310;
  }

  ResultCode Start() {
    nextId_ = 55;
    return CreateCalibrationState(cm_, &nextId_);
  }

  ResultCode Step(const std::vector<uint8_t> &resource) {
    return RunCalibrationStep(cm_, resource.data(), &nextId_);
  }
  ResultCode Step(const std::string &text) {
    return RunCalibrationStep(cm_, reinterpret_cast<const uint8_t *>(text.c_str()), &nextId_);
  }

  // A second selection table with one line for the settings above under
  // match mode 0, naming curve resource `curveId`.
  std::string SecondTable(int32_t curveId) const {
    resources::SelectionTable table;
    table.methods = {"none", "diffuse", "dither", "screen"};
    table.keyBase = 0;
    table.keys = {"plain"};
    table.modes = {"calib", "normal"};
    table.entries = {{curveId, 0, "screen", "plain", 720, 720, "calib", 5, 0}};
    return resources::WriteSelectionTable(table);
  }

  // Runs the four steps with the given map, reference and curve count.
  void RunAll(const std::vector<ChannelMapRecord> &map, const ReferenceValues &reference,
              int curveCount) {
    ASSERT_EQ(Start(), kOk);
    ASSERT_EQ(nextId_, 980);
    ASSERT_EQ(Step(resources::WriteChannelMap(map)), kOk);
    ASSERT_EQ(nextId_, 990);
    ASSERT_EQ(Step(resources::WriteReferenceValues(reference)), kOk);
    ASSERT_EQ(nextId_, 12900);
    ASSERT_EQ(Step(SecondTable(12777)), kOk);
    ASSERT_EQ(nextId_, 12777);
    ASSERT_EQ(Step(TestCurves(curveCount)), kOk);
    ASSERT_EQ(nextId_, -1);
  }

  // The curve number that each plane received, read back from the planes.
  std::vector<int> PlaneCurves() const {
    std::vector<int> chosen;
    for (int p = 0; p < kInks; ++p) {
      const uint8_t *plane = cm_->calibration->curvePlanes + p * 256;
      int found = -1;
      for (int n = 0; n <= 36 && found < 0; ++n) {
        bool same = true;
        for (int v = 0; v < 256 && same; ++v) same = plane[v] == CurveByte(n, v);
        if (same) found = n;
      }
      chosen.push_back(found);
    }
    return chosen;
  }

  static constexpr int kTableBytes = kNodes * kNodes * kNodes * kInks;
  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  CalibrationBlock block_;
  std::vector<uint8_t> blockBytes_;
  testing::OptionListBuilder options_;
  CmContext *cm_ = nullptr;
  int32_t nextId_ = 0;
  std::vector<uint8_t> original_;
};

const std::vector<ChannelMapRecord> kIdentityMap = {{3, {0, 1, 2, 3}}};

TEST_F(CalibrationTest, ValidBlockAsksForTheChannelMap) {
  block_.printerValues = {30, 70, 45, 50};
  Create();
  ASSERT_EQ(Start(), kOk);
  EXPECT_EQ(nextId_, 980);
  CalibrationState *state = cm_->calibration;
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->step, 1);
  EXPECT_EQ(state->owner, cm_);
  EXPECT_EQ(std::memcmp(&state->savedParams, &cm_->params, sizeof(CmParams)), 0);
  EXPECT_EQ(std::memcmp(&state->savedPage, &cm_->page, sizeof(HalftoneParams)), 0);
  for (int i = 0; i < kInks * 256; ++i) ASSERT_EQ(state->curvePlanes[i], 0);
  EXPECT_EQ(LiveAllocations(), 5);  // object, CmLut, table, state, planes
}

TEST_F(CalibrationTest, InvalidBlocksSkipTheCalibration) {
  struct Case {
    const char *what;
    CalibrationBlock block;
  };
  const std::vector<uint8_t> ok = {50, 50, 50, 50};
  const Case cases[] = {
      {"value 29", {"CW:", 3, {50, 29, 50, 50}, {0xFE, 0xFF}}},
      {"value 71", {"CW:", 3, {50, 50, 50, 71}, {0xFE, 0xFF}}},
      {"no 0xFF", {"CW:", 3, ok, {0xFE, 0x00}}},
      {"no 0xFE", {"CW:", 3, ok, {0xFF, 0xFF}}},
      {"tag", {"CW;", 3, ok, {0xFE, 0xFF}}},
      {"one value short", {"CW:", 3, {50, 50, 50}, {0xFE, 0xFF, 0xFF}}},
  };
  for (const Case &c : cases) {
    testing::ResetPlatform();
    block_ = c.block;
    options_ = {};
    Create();
    ASSERT_EQ(Start(), kOk) << c.what;
    EXPECT_EQ(nextId_, -1) << c.what;
    EXPECT_NE(cm_->calibration, nullptr);  // made all the same, released by the caller
    ReleaseCalibrationState(cm_);
    DeleteCmContext(cm_);
    cm_ = nullptr;
    EXPECT_EQ(LiveAllocations(), 0) << c.what;
  }
}

TEST_F(CalibrationTest, BlockMustBeInANonEmptyList) {
  Create();
  params_.options = nullptr;
  cm_->params.options = nullptr;
  ASSERT_EQ(Start(), kOk);
  EXPECT_EQ(nextId_, -1);
  ReleaseCalibrationState(cm_);

  testing::OptionListBuilder other;
  const int32_t gamma = 150;
  other.Add(kOptionGamma, &gamma);
  cm_->params.options = other.List();
  ASSERT_EQ(Start(), kOk);
  EXPECT_EQ(nextId_, -1);
  ReleaseCalibrationState(cm_);

  testing::OptionListBuilder empty;
  cm_->params.options = empty.List();
  ASSERT_EQ(Start(), kOk);
  EXPECT_EQ(nextId_, -1);
}

TEST_F(CalibrationTest, MoreInksThanTheStateHoldsSkipTheCalibration) {
  block_.printerValues.assign(21, 50);
  Create();
  cm_->lut->channelCount = 21;
  ASSERT_EQ(Start(), kOk);
  EXPECT_EQ(nextId_, -1);
}

TEST_F(CalibrationTest, ChannelMapTakesTheLastRecordOfTheHead) {
  block_.printerValues = {31, 42, 53, 64};
  Create();
  ASSERT_EQ(Start(), kOk);
  const std::vector<ChannelMapRecord> map = {
      {3, {3, 2, 1, 0}}, {7, {9, 9, 9, 9}}, {3, {1, 1, 0, 2}}, {4, {0, 0, 0, 0}}};
  ASSERT_EQ(Step(resources::WriteChannelMap(map)), kOk);
  EXPECT_EQ(nextId_, 990);
  const CalibrationState *state = cm_->calibration;
  EXPECT_EQ(state->step, 2);
  const uint8_t wantMap[] = {1, 1, 0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
  EXPECT_EQ(std::memcmp(state->channelMap, wantMap, 20), 0);
  const uint8_t wantValues[] = {31, 42, 53, 64};
  EXPECT_EQ(std::memcmp(state->printerValues, wantValues, 4), 0);
}

TEST_F(CalibrationTest, ChannelMapWithoutTheHeadIsTheIdentity) {
  Create();
  ASSERT_EQ(Start(), kOk);
  ASSERT_EQ(Step(resources::WriteChannelMap({{2, {3, 3, 3, 3}}})), kOk);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(cm_->calibration->channelMap[i], i);
}

TEST_F(CalibrationTest, ChannelMapOutsideTheFormatIsRefused) {
  const std::vector<std::vector<ChannelMapRecord>> refused = {
      {{3, {0, 1, 4, 3}}},                     // plane 4 of 4 channels
      {{3, {0, 1, 2}}},                        // a plane missing
      {{5, std::vector<uint8_t>(20, 0)}},      // 21 bytes
      {{3, {0, 1, 2, 3}}, {3, {0, 1, 2, 200}}},
  };
  for (const auto &map : refused) {
    testing::ResetPlatform();
    options_ = {};
    Create();
    ASSERT_EQ(Start(), kOk);
    EXPECT_EQ(Step(resources::WriteChannelMap(map)), kBadResource);
    DeleteCmContext(cm_);  // releases the state still held
    cm_ = nullptr;
    EXPECT_EQ(LiveAllocations(), 0);
  }
  // 20 bytes is still a record; other heads' plane numbers are not used.
  options_ = {};
  Create();
  ASSERT_EQ(Start(), kOk);
  EXPECT_EQ(Step(resources::WriteChannelMap(
                {{5, std::vector<uint8_t>(19, 9)}, {3, {0, 1, 2, 3, 77}}})),
            kOk);
}

TEST_F(CalibrationTest, ReferenceResourceInBothModes) {
  Create();
  ASSERT_EQ(Start(), kOk);
  ASSERT_EQ(Step(resources::WriteChannelMap(kIdentityMap)), kOk);
  ASSERT_EQ(Step(resources::WriteReferenceValues({2, {41, 52, 63, 74}})), kOk);
  EXPECT_EQ(nextId_, 12900);
  EXPECT_EQ(cm_->calibration->referenceMode, 2);
  const uint8_t fromOne[] = {41, 52, 63, 74};
  EXPECT_EQ(std::memcmp(cm_->calibration->referenceValues, fromOne, 4), 0);

  cm_->calibration->step = 2;
  ASSERT_EQ(Step(resources::WriteReferenceValues({std::nullopt, {50, 2, 63, 74}})), kOk);
  EXPECT_EQ(cm_->calibration->referenceMode, 1);
  const uint8_t fromZero[] = {50, 2, 63, 74};
  EXPECT_EQ(std::memcmp(cm_->calibration->referenceValues, fromZero, 4), 0);

  cm_->calibration->step = 2;
  ASSERT_EQ(Step(resources::WriteReferenceValues({71, {50, 50, 50, 50}})), kOk);
  EXPECT_EQ(cm_->calibration->referenceMode, 71);
}

TEST_F(CalibrationTest, SecondSelectionUsesTheSavedSettingsAndModeZero) {
  Create();
  ASSERT_EQ(Start(), kOk);
  ASSERT_EQ(Step(resources::WriteChannelMap(kIdentityMap)), kOk);
  ASSERT_EQ(Step(resources::WriteReferenceValues({std::nullopt, {50, 50, 50, 50}})), kOk);
  // Settings disturbed after the state was made are put back first.
  cm_->params.tableKeyNumber = 6;
  cm_->page.xResolution = 360;
  cm_->matchMode = 4;
  ASSERT_EQ(Step(SecondTable(12777)), kOk);
  EXPECT_EQ(nextId_, 12777);
  EXPECT_EQ(cm_->calibration->step, 4);
  EXPECT_EQ(cm_->params.tableKeyNumber, 5);
  EXPECT_EQ(cm_->page.xResolution, 720u);
  EXPECT_EQ(cm_->matchMode, 0);
  EXPECT_EQ(cm_->lut->tableResourceId, 12345);
  EXPECT_EQ(cm_->lut->halftoneResourceId, 310);
}

TEST_F(CalibrationTest, SecondSelectionWithoutAMatchIsRefused) {
  Create();
  ASSERT_EQ(Start(), kOk);
  ASSERT_EQ(Step(resources::WriteChannelMap(kIdentityMap)), kOk);
  ASSERT_EQ(Step(resources::WriteReferenceValues({std::nullopt, {50, 50, 50, 50}})), kOk);
  cm_->calibration->savedParams.tableKeyNumber = 6;
  EXPECT_EQ(Step(SecondTable(12777)), kBadResource);
  EXPECT_EQ(nextId_, 0);

  cm_->calibration->step = 3;
  FailNthCall(PlatformOp::kAlloc, 1);  // the selection's work area
  EXPECT_EQ(Step(SecondTable(12777)), kAllocFailed);
}

TEST_F(CalibrationTest, ModeOneMovesOneCurvePerTwoUnits) {
  block_.printerValues = {55, 30, 70, 50};
  Create();
  RunAll(kIdentityMap, {std::nullopt, {50, 70, 30, 50}}, 21);
  // (55 + 50 - 50 - 30) / 2 = 12; (30 + 50 - 70 - 30) / 2 = -10 -> 0;
  // (70 + 50 - 30 - 30) / 2 = 30 -> 20; equal values take the middle, 10.
  EXPECT_EQ(PlaneCurves(), (std::vector<int>{12, 0, 20, 10}));
}

TEST_F(CalibrationTest, ModeOneTreatsInksWithinTwoAsMatching) {
  block_.printerValues = {52, 48, 50, 51};
  Create();
  RunAll(kIdentityMap, {std::nullopt, {50, 50, 50, 50}}, 21);
  EXPECT_EQ(PlaneCurves(), (std::vector<int>{10, 10, 10, 10}));
}

TEST_F(CalibrationTest, ModeOneToleranceNeedsEveryInkClose) {
  block_.printerValues = {52, 48, 50, 53};
  Create();
  RunAll(kIdentityMap, {std::nullopt, {50, 50, 50, 50}}, 21);
  // 72 / 2, 68 / 2, 70 / 2, 73 / 2.
  EXPECT_EQ(PlaneCurves(), (std::vector<int>{11, 9, 10, 11}));
}

TEST_F(CalibrationTest, ModeTwoMovesOneCurvePerUnit) {
  block_.printerValues = {50, 51, 30, 70};
  Create();
  RunAll(kIdentityMap, {2, {50, 50, 70, 30}}, 37);
  // 50 + 50 - 50 - 32 = 18; 19; -22 -> 0; 58 -> 36. No tolerance.
  EXPECT_EQ(PlaneCurves(), (std::vector<int>{18, 19, 0, 36}));
}

TEST_F(CalibrationTest, OtherModesActAsModeOne) {
  block_.printerValues = {55, 50, 50, 50};
  Create();
  RunAll(kIdentityMap, {9, {50, 50, 50, 50}}, 21);
  EXPECT_EQ(PlaneCurves(), (std::vector<int>{12, 10, 10, 10}));
}

TEST_F(CalibrationTest, CurvesApplyToEveryTableByte) {
  block_.printerValues = {55, 50, 30, 70};
  Create();
  // Ink 0 to plane 2, ink 2 to plane 0.
  RunAll({{3, {2, 1, 0, 3}}}, {std::nullopt, {50, 50, 70, 30}}, 21);
  const int planeCurve[kInks] = {0, 10, 12, 20};
  ApplyCalibrationCurves(cm_);
  for (int i = 0; i < kTableBytes; ++i) {
    ASSERT_EQ(cm_->lut->tableData[i], CurveByte(planeCurve[i % kInks], original_[i]))
        << "byte " << i;
  }
}

TEST_F(CalibrationTest, TwoInksOnOnePlaneLeaveAnotherPlaneEmpty) {
  block_.printerValues = {55, 70, 50, 50};
  Create();
  RunAll({{3, {0, 0, 2, 3}}}, {std::nullopt, {50, 50, 50, 50}}, 21);
  // Ink 1's curve (20) lands on plane 0 after ink 0's (12); plane 1 stays 0.
  const std::vector<int> chosen = PlaneCurves();
  EXPECT_EQ(chosen[0], 20);
  EXPECT_EQ(chosen[2], 10);
  ApplyCalibrationCurves(cm_);
  for (int i = 1; i < kTableBytes; i += kInks) ASSERT_EQ(cm_->lut->tableData[i], 0) << i;
  EXPECT_EQ(cm_->lut->tableData[0], CurveByte(20, original_[0]));
}

TEST_F(CalibrationTest, CreationFailuresReleaseWhatWasTaken) {
  struct Case {
    PlatformOp op;
    int nth;
    ResultCode want;
  };
  const Case cases[] = {{PlatformOp::kAlloc, 1, kAllocFailed},
                        {PlatformOp::kLock, 1, kLockFailed},
                        {PlatformOp::kAlloc, 2, kAllocFailed},
                        {PlatformOp::kLock, 2, kLockFailed}};
  Create();
  for (const Case &c : cases) {
    FailNthCall(c.op, c.nth);
    EXPECT_EQ(Start(), c.want) << c.nth;
    EXPECT_EQ(cm_->calibration, nullptr);
    EXPECT_EQ(LiveAllocations(), 3) << c.nth;
  }
}

TEST_F(CalibrationTest, NoStepWithoutAState) {
  Create();
  EXPECT_EQ(Step(TestCurves(21)), kBadResource);
  EXPECT_EQ(nextId_, -1);
  ApplyCalibrationCurves(cm_);
  EXPECT_EQ(std::memcmp(cm_->lut->tableData, original_.data(), kTableBytes), 0);
}

}  // namespace
}  // namespace inkdot
