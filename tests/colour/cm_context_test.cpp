#include "colour/cm_context.h"

#include <cstring>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "colour/calibration_state.h"
#include "frame/memory_blocks.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using testing::FailNthCall;
using testing::LiveAllocations;
using testing::PlatformOp;

class CmContextTest : public ::testing::Test {
 protected:
  CmContextTest() {
    params_.brightness = 5;
    params_.neutralBalance = 50;
    params_.unused13 = 77;
    page_.method = 1;
    page_.inputFormat = 2;
    page_.colorMode = 1;
    page_.xResolution = 720;
    page_.yResolution = 720;
    page_.maxPixels = 4000;
  }

  // Creates the object; the test owns it.
  CmContext *Create() {
    int32_t nextId = 55;
    CmContext *cm = nullptr;
    EXPECT_EQ(NewCmContext(&params_, &page_, &nextId, &cm), kOk);
    EXPECT_EQ(nextId, 0);
    return cm;
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
};

TEST_F(CmContextTest, CopiesSettingsAndStartsAtPhaseOne) {
  CmContext *cm = Create();
  ASSERT_NE(cm, nullptr);
  EXPECT_EQ(std::memcmp(&cm->params, &params_, sizeof params_), 0);
  EXPECT_EQ(std::memcmp(&cm->page, &page_, sizeof page_), 0);
  EXPECT_EQ(cm->phase, 1);
  EXPECT_EQ(cm->calibration, nullptr);
  EXPECT_EQ(DeleteCmContext(cm), kOk);
}

TEST_F(CmContextTest, FreshLutIsZeroFilledButForItsOwnHandle) {
  CmContext *cm = Create();
  CmLut *lut = GetCmLut(cm);
  ASSERT_NE(lut, nullptr);
  EXPECT_EQ(lut, cm->lut);
  EXPECT_NE(lut->blockHandle, 0u);
  EXPECT_EQ(lut->blockHandle, cm->lutHandle);
  CmLut expected{};
  expected.blockHandle = lut->blockHandle;
  EXPECT_EQ(std::memcmp(lut, &expected, sizeof expected), 0);
  EXPECT_EQ(DeleteCmContext(cm), kOk);
}

TEST_F(CmContextTest, DeleteReleasesExactlyTheTwoAllocations) {
  CmContext *cm = Create();
  EXPECT_EQ(LiveAllocations(), 2);
  EXPECT_EQ(DeleteCmContext(cm), kOk);
  EXPECT_EQ(LiveAllocations(), 0);
  EXPECT_EQ(testing::CallCount(PlatformOp::kFree), 2);
}

TEST_F(CmContextTest, DeleteAlsoReleasesHeldTablesAndCalibration) {
  CmContext *cm = Create();
  CmLut *lut = cm->lut;
  void *pointer = nullptr;
  ASSERT_EQ(MemAcquire(64, 1, &lut->tableHandle, &pointer), kOk);
  ASSERT_EQ(MemAcquire(16, 1, &lut->selectorHandle, &pointer), kOk);
  uintptr_t stateHandle = 0;
  ASSERT_EQ(MemAcquire(sizeof(CalibrationState), 1, &stateHandle, &pointer), kOk);
  auto *state = static_cast<CalibrationState *>(pointer);
  state->selfHandle = stateHandle;
  ASSERT_EQ(MemAcquire(4 * 256, 1, &state->curveHandle, &pointer), kOk);
  cm->calibration = state;
  EXPECT_EQ(LiveAllocations(), 6);
  EXPECT_EQ(DeleteCmContext(cm), kOk);
  EXPECT_EQ(LiveAllocations(), 0);
}

// The match-mode rules: {method, inputFormat, grayMode, colorAdjustMode} in,
// {method, colorAdjustMode, matchMode} out.
struct ModeCase {
  uint32_t method;
  uint32_t inputFormat;
  int32_t grayMode;
  int32_t colorAdjustMode;
  uint32_t wantMethod;
  int32_t wantAdjust;
  int16_t wantMatch;
};

void PrintTo(const ModeCase &c, std::ostream *os) {
  *os << "method " << c.method << ", input " << c.inputFormat << ", grey "
      << c.grayMode << ", adjust " << c.colorAdjustMode;
}

class MatchModeTest : public CmContextTest,
                      public ::testing::WithParamInterface<ModeCase> {};

TEST_P(MatchModeTest, FollowsTheModeRules) {
  const ModeCase &c = GetParam();
  page_.method = c.method;
  page_.inputFormat = c.inputFormat;
  params_.grayMode = c.grayMode;
  params_.colorAdjustMode = c.colorAdjustMode;
  CmContext *cm = Create();
  EXPECT_EQ(cm->page.method, c.wantMethod);
  EXPECT_EQ(cm->params.colorAdjustMode, c.wantAdjust);
  EXPECT_EQ(cm->matchMode, c.wantMatch);
  // The caller's records are never written.
  EXPECT_EQ(page_.method, c.method);
  EXPECT_EQ(params_.colorAdjustMode, c.colorAdjustMode);
  DeleteCmContext(cm);
}

INSTANTIATE_TEST_SUITE_P(
    CmNew, MatchModeTest,
    ::testing::Values(
        // Method 0 becomes method 3 with the enhanced adjustment.
        ModeCase{0, 2, 0, 0, 3, 2, 4},
        ModeCase{0, 2, 4, 0, 3, 0, 0},   // grey mode 4 wins
        ModeCase{0, 0, 0, 0, 3, 2, 0},   // grey input
        ModeCase{0, 0, 1, 0, 3, 2, 4},   // grey mode 1 wins over grey input
        // Grey mode 4 clears any adjustment.
        ModeCase{1, 2, 4, 2, 1, 0, 0},
        ModeCase{1, 2, 4, 7, 1, 0, 0},
        // The low 16 bits of the adjustment give the match mode.
        ModeCase{1, 2, 0, 7, 1, 7, 7},
        ModeCase{1, 2, 0, 0x30005, 1, 0x30005, 5},
        ModeCase{1, 2, 0, 2, 1, 2, 4},
        ModeCase{1, 0, 0, 7, 1, 7, 0},
        ModeCase{1, 0, 1, 7, 1, 7, 4},
        ModeCase{3, 4, 1, 0, 3, 0, 4}));

TEST_F(CmContextTest, EveryFailureUnwindsCompletely) {
  struct Step {
    PlatformOp op;
    int nth;
    ResultCode want;
  };
  const Step steps[] = {{PlatformOp::kAlloc, 1, kAllocFailed},
                        {PlatformOp::kLock, 1, kLockFailed},
                        {PlatformOp::kAlloc, 2, kAllocFailed},
                        {PlatformOp::kLock, 2, kLockFailed}};
  for (const Step &step : steps) {
    testing::ResetPlatform();
    FailNthCall(step.op, step.nth);
    int32_t nextId = 55;
    CmContext *cm = nullptr;
    EXPECT_EQ(NewCmContext(&params_, &page_, &nextId, &cm), step.want)
        << "call " << step.nth;
    EXPECT_EQ(nextId, 0);
    EXPECT_EQ(cm, nullptr);
    EXPECT_EQ(LiveAllocations(), 0) << "call " << step.nth;
  }
}

TEST_F(CmContextTest, RefusedAllocationNamesTheObjectSize) {
  FailNthCall(PlatformOp::kAlloc, 1);
  int32_t nextId = 1;
  CmContext *cm = nullptr;
  EXPECT_EQ(NewCmContext(&params_, &page_, &nextId, &cm), kAllocFailed);
  ASSERT_EQ(testing::ShownMessages().size(), 1u);
  EXPECT_EQ(testing::ShownMessages()[0].text,
            "size = " + std::to_string(kCmContextBytes));
}

}  // namespace
}  // namespace inkdot
