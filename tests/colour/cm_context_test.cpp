// SPDX-License-Identifier: Apache-2.0
#include "colour/cm_context.h"

#include <gtest/gtest.h>

#include "support/test_platform.h"

namespace inkdot {
namespace {

using testing::LiveAllocations;
using testing::PlatformOp;

TEST(CmContextTest, MatchModeFollowsMethodInputGreyAndAdjustment) {
  // {method, inputFormat, grayMode, colorAdjustMode} in, {method,
  // colorAdjustMode, matchMode} out.
  const struct { uint32_t method, input; int32_t grey, adjust; uint32_t wantMethod; int32_t wantAdjust, wantMatch; } cases[] = {
      {0, 2, 0, 0, 3, 2, 4},  // method 0 becomes 3 with the enhanced adjustment
      {0, 2, 4, 0, 3, 0, 0},  // grey mode 4 wins
      {0, 0, 0, 0, 3, 2, 0},  // grey input
      {0, 0, 1, 0, 3, 2, 4},  // grey mode 1 wins over grey input
      {1, 2, 4, 7, 1, 0, 0},  // grey mode 4 clears any adjustment
      {1, 2, 0, 7, 1, 7, 7},  // the low 16 bits of the adjustment
      {1, 2, 0, 0x30005, 1, 0x30005, 5},
      {1, 2, 0, 2, 1, 2, 4},
      {1, 0, 0, 7, 1, 7, 0},
      {1, 0, 1, 7, 1, 7, 4},
      {3, 4, 1, 0, 3, 0, 4}};
  testing::PlatformGuard guard;
  for (const auto &c : cases) {
    CmParams params{};
    HalftoneParams page{};
    page.method = c.method, page.inputFormat = c.input;
    params.grayMode = c.grey, params.colorAdjustMode = c.adjust;
    int32_t nextId = 55;
    CmContext *cm = nullptr;
    ASSERT_EQ(NewCmContext(&params, &page, &nextId, &cm), kOk);
    EXPECT_EQ(nextId, 0);
    const int index = int(&c - cases);
    EXPECT_EQ(cm->page.method, c.wantMethod) << index;
    EXPECT_EQ(cm->params.colorAdjustMode, c.wantAdjust) << index;
    EXPECT_EQ(cm->matchMode, c.wantMatch) << index;
    EXPECT_EQ(page.method, c.method);  // the caller's records are never written
    EXPECT_EQ(params.colorAdjustMode, c.adjust);
    EXPECT_EQ(DeleteCmContext(cm), kOk);
    EXPECT_EQ(LiveAllocations(), 0);
  }
}

TEST(CmContextTest, EveryFailureUnwindsCompletely) {
  testing::PlatformGuard guard;
  const struct { PlatformOp op; int nth; ResultCode want; } steps[] = {
      {PlatformOp::kAlloc, 1, kAllocFailed}, {PlatformOp::kLock, 1, kLockFailed},
      {PlatformOp::kAlloc, 2, kAllocFailed}, {PlatformOp::kLock, 2, kLockFailed}};
  for (const auto &step : steps) {
    testing::ResetPlatform();
    testing::FailNthCall(step.op, step.nth);
    CmParams params{};
    HalftoneParams page{};
    int32_t nextId = 55;
    CmContext *cm = nullptr;
    EXPECT_EQ(NewCmContext(&params, &page, &nextId, &cm), step.want) << step.nth;
    EXPECT_EQ(nextId, 0);
    EXPECT_EQ(cm, nullptr);
    EXPECT_EQ(LiveAllocations(), 0) << step.nth;
  }
}

}  // namespace
}  // namespace inkdot
