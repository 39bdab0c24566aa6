// SPDX-License-Identifier: Apache-2.0
#include "colour/tone_curves.h"

#include <gtest/gtest.h>

#include "colour/option_list.h"
#include "support/option_list_builder.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using testing::OptionListBuilder;
using testing::PlatformOp;

class ToneCurvesTest : public ::testing::Test {
 protected:
  // Builds and releases; the build's code.
  ResultCode Build(const CmOptionList *options = nullptr) {
    ToneCurves *curves = nullptr;
    const ResultCode result = BuildToneCurves(&params_, options, &curves);
    if (result == kOk) {
      EXPECT_EQ(ReleaseToneCurves(curves), kOk);
    }
    EXPECT_EQ(testing::LiveAllocations(), 0);
    return result;
  }

  ResultCode BuildWithGamma(int32_t gamma) {
    OptionListBuilder options;
    options.Add(kOptionGamma, &gamma).Add(kOptionGamma, nullptr);  // the first counts
    return Build(options.List());
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
};

TEST_F(ToneCurvesTest, RefusalsInOrderAndReleased) {
  int32_t CmParams::*const settings[] = {&CmParams::brightness, &CmParams::contrast,
                                         &CmParams::saturation, &CmParams::redOffset,
                                         &CmParams::greenOffset, &CmParams::blueOffset};
  for (int32_t CmParams::*setting : settings) {
    for (int32_t value : {-51, -50, 50, 51}) {
      params_ = CmParams{};
      params_.*setting = value;
      EXPECT_EQ(Build(), value == 51 || value == -51 ? kBadParams : kOk);
    }
  }
  params_ = CmParams{};
  for (int32_t gamma : {99, 301, -150}) EXPECT_EQ(BuildWithGamma(gamma), kBadTable);
  for (int32_t gamma : {100, 300}) EXPECT_EQ(BuildWithGamma(gamma), kOk);
  params_.reserved = 1;  // reported before the gamma
  EXPECT_EQ(BuildWithGamma(99), kBadParams);

  testing::FailNthCall(PlatformOp::kAlloc, 1);
  EXPECT_EQ(Build(), kAllocFailed);
  ASSERT_EQ(testing::ShownMessages().size(), 1u);
  EXPECT_EQ(testing::ShownMessages()[0].text, "size = 3164");
  testing::FailNthCall(PlatformOp::kLock, 1);
  EXPECT_EQ(Build(), kLockFailed);
}

}  // namespace
}  // namespace inkdot
