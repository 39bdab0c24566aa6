#include "colour/tone_curves.h"

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "colour/log_prime.h"
#include "colour/option_list.h"
#include "support/option_list_builder.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using testing::OptionListBuilder;
using testing::PlatformOp;

// The three-tap smoothing written out: entries 1..253 in order, each from
// its already smoothed left neighbour.
void SmoothReference(int32_t *curve) {
  for (int i = 1; i < 254; ++i) curve[i] = (curve[i - 1] + curve[i] + curve[i + 1]) / 3;
}

TEST(GammaLevelTest, LogarithmTableAndSums) {
  EXPECT_EQ(LogPrime[0], 3466);
  EXPECT_EQ(LogPrime[1], 5493);
  EXPECT_EQ(LogPrime[2], 8047);
  EXPECT_EQ(LogPrime[96], 31162);
  for (int i = 0; i < kLogPrimeCount; ++i) {
    const int32_t p = kPrimes[i];
    for (int32_t d = 2; d * d <= p; ++d) ASSERT_NE(p % d, 0) << p;
    ASSERT_TRUE(i == 0 || p > kPrimes[i - 1]);
    EXPECT_EQ(LogPrime[i], std::lround(5000.0 * std::log(p))) << p;
  }
  EXPECT_EQ(Log5000(1), 0);
  EXPECT_EQ(Log5000(360), 3 * 3466 + 2 * 5493 + 8047);  // 2^3 * 3^2 * 5
  EXPECT_EQ(Log5000(502), 3466 + Log5000(251));
  EXPECT_EQ(Log5000(509), 31162);
  for (int32_t n = 2; n <= 511; ++n) {
    EXPECT_NEAR(Log5000(n), 5000.0 * std::log(n), 4.0) << n;  // <= 8 factors
  }
}

TEST(GammaLevelTest, RoundedPowerCurve) {
  EXPECT_EQ(GammaLevel(128, 150), 91);
  EXPECT_EQ(GammaLevel(1, 300), 0);
  for (int32_t v = 0; v < 256; ++v) EXPECT_EQ(GammaLevel(v, 100), v);
  for (int32_t gamma = 100; gamma <= 300; gamma += 25) {
    EXPECT_EQ(GammaLevel(0, gamma), 0);
    EXPECT_EQ(GammaLevel(255, gamma), 255);
    for (int32_t v = 1; v < 255; ++v) {
      EXPECT_NEAR(GammaLevel(v, gamma), 255.0 * std::pow(v / 255.0, gamma / 100.0), 1.0)
          << v << " at " << gamma;
      EXPECT_GE(GammaLevel(v, gamma), GammaLevel(v - 1, gamma));
    }
  }
}

TEST(ShapeToneTest, BrightnessAndContrastAlone) {
  int32_t t[256];
  ShapeTone(50, 0, t);  // k = 200, t = 64: a line of slope 2, then a shoulder
  for (int i = 0; i < 64; ++i) ASSERT_EQ(t[i], 2 * i);
  EXPECT_EQ(t[64], 129);
  EXPECT_EQ(t[255], 255);

  ShapeTone(-50, 0, t);  // k = 200, t = 192, a = 118: a toe, then a line
  const int32_t toe[] = {67, 68, 69, 71, 72};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(t[155 + i], toe[i]);
  EXPECT_EQ(t[192], 128);
  EXPECT_EQ(t[255], 254);

  ShapeTone(0, -50, t);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(t[i], (50 * i + 6400) / 100);

  ShapeTone(0, 50, t);  // k = 200, t1 = 96, t2 = 160: slope 2 through 128
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[96], 64);
  EXPECT_EQ(t[128], 128);
  EXPECT_EQ(t[159], 190);
  EXPECT_EQ(t[255], 255);
}

TEST(ShapeToneTest, ContrastActsOnTheBrightenedValues) {
  int32_t t[256];
  ShapeTone(-50, 50, t);
  const int32_t middle[] = {6, 8, 10, 14, 16};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(t[155 + i], middle[i]);
  // From t2 = 160 the shoulder meets values near 73, far below its knee.
  EXPECT_EQ(t[160], 0);
  EXPECT_EQ(t[254], 255);
  EXPECT_EQ(t[255], 255);
}

class ToneCurvesTest : public ::testing::Test {
 protected:
  // Builds, copies the curves out and releases; the build's code.
  ResultCode Build(const CmOptionList *options = nullptr) {
    ToneCurves *curves = nullptr;
    const ResultCode result = BuildToneCurves(&params_, options, &curves);
    if (result == kOk) {
      saturation_ = curves->saturation;
      std::copy_n(curves->curveRed, 256, red_);
      std::copy_n(curves->curveGreen, 256, green_);
      std::copy_n(curves->curveBlue, 256, blue_);
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
  int32_t saturation_ = 0, red_[256], green_[256], blue_[256];
};

TEST_F(ToneCurvesTest, NeutralSettingsGiveTheIdentity) {
  params_.saturation = -17;
  for (int32_t gamma : {150, 0}) {  // a stored 0 means 150
    ASSERT_EQ(BuildWithGamma(gamma), kOk);
    for (int i = 0; i < 256; ++i) ASSERT_TRUE(red_[i] == i && green_[i] == i && blue_[i] == i);
  }
  EXPECT_EQ(saturation_, -17);
}

TEST_F(ToneCurvesTest, GammaAndOffsetsBeforeSmoothing) {
  params_.greenOffset = -20;
  ASSERT_EQ(BuildWithGamma(300), kOk);
  int32_t wantRed[256], wantGreen[256];
  for (int i = 0; i < 256; ++i) {
    const int32_t g = GammaLevel(i, 300) - GammaLevel(i, 150);
    wantRed[i] = std::clamp(i + g, 0, 255);
    wantGreen[i] = std::clamp(i - 20 + g, 0, 255);
  }
  SmoothReference(wantRed);
  SmoothReference(wantGreen);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(red_[i], wantRed[i]) << i;
    ASSERT_EQ(green_[i], wantGreen[i]) << i;
    ASSERT_EQ(blue_[i], wantRed[i]) << i;
  }
}

TEST_F(ToneCurvesTest, SmoothingLeavesBothEndsAlone) {
  params_.contrast = -50;
  ASSERT_EQ(Build(), kOk);
  int32_t want[256];
  for (int i = 0; i < 256; ++i) want[i] = (50 * i + 6400) / 100;
  SmoothReference(want);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(red_[i], want[i]) << i;
  // 253 smooths to 190; smoothing 254 too would pull it down to 190.
  EXPECT_EQ(red_[0], 64);
  EXPECT_EQ(red_[253], 190);
  EXPECT_EQ(red_[254], 191);
  EXPECT_EQ(red_[255], 191);

  params_ = CmParams{};
  params_.redOffset = 50;
  ASSERT_EQ(Build(), kOk);
  EXPECT_EQ(red_[0], 50);
  EXPECT_EQ(red_[254], 255);
  EXPECT_EQ(red_[255], 255);
  EXPECT_EQ(green_[0], 0);
}

TEST_F(ToneCurvesTest, HostCurvesApplyLast) {
  params_.brightness = 50;
  ASSERT_EQ(Build(), kOk);
  int32_t plainRed[256], plainGreen[256];
  std::copy_n(red_, 256, plainRed);
  std::copy_n(green_, 256, plainGreen);
  uint8_t host[768];
  for (int i = 0; i < 256; ++i) {
    host[i] = static_cast<uint8_t>(255 - i);
    host[256 + i] = static_cast<uint8_t>(i / 2);
    host[512 + i] = 7;
  }
  OptionListBuilder options;
  options.Add(kOptionHostCurves, host);
  ASSERT_EQ(Build(options.List()), kOk);
  for (int i = 0; i < 256; ++i) {
    ASSERT_TRUE(red_[i] == 255 - plainRed[i] && green_[i] == plainGreen[i] / 2 && blue_[i] == 7);
  }
  std::fill_n(host, 768, 0);
  ASSERT_EQ(Build(options.List()), kOk);
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(red_[i] == 0 && green_[i] == 0 && blue_[i] == 0);
}

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
