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

using testing::FailNthCall;
using testing::LiveAllocations;
using testing::OptionListBuilder;
using testing::PlatformOp;

// The three-tap smoothing written out directly: entries 1..253 in order,
// each from its already smoothed left neighbour.
void SmoothReference(int32_t *curve) {
  for (int i = 1; i < 254; ++i) curve[i] = (curve[i - 1] + curve[i] + curve[i + 1]) / 3;
}

TEST(LogPrimeTest, EveryEntryIsTheNearestIntegerToTheLogarithm) {
  EXPECT_EQ(LogPrime[0], 3466);
  EXPECT_EQ(LogPrime[1], 5493);
  EXPECT_EQ(LogPrime[2], 8047);
  EXPECT_EQ(LogPrime[96], 31162);
  for (int i = 0; i < kLogPrimeCount; ++i) {
    const int32_t p = kPrimes[i];
    for (int32_t d = 2; d * d <= p; ++d) {
      EXPECT_NE(p % d, 0) << p << " is not prime";
    }
    if (i > 0) {
      EXPECT_GT(p, kPrimes[i - 1]);
    }
    EXPECT_EQ(LogPrime[i], std::lround(5000.0 * std::log(static_cast<double>(p))))
        << "prime " << p;
  }
}

TEST(LogPrimeTest, Log5000SumsOverThePrimeFactors) {
  EXPECT_EQ(Log5000(1), 0);
  EXPECT_EQ(Log5000(2), 3466);
  EXPECT_EQ(Log5000(360), 3 * 3466 + 2 * 5493 + 8047);  // 2^3 * 3^2 * 5
  EXPECT_EQ(Log5000(509), 31162);
  EXPECT_EQ(Log5000(2 * 251), 3466 + Log5000(251));
  // Each factor carries at most half a unit of rounding.
  for (int32_t n = 2; n <= 511; ++n) {
    int factors = 0;
    for (int32_t m = n, d = 2; m > 1;) {
      if (m % d == 0) {
        m /= d;
        ++factors;
      } else {
        ++d;
      }
    }
    EXPECT_NEAR(Log5000(n), 5000.0 * std::log(static_cast<double>(n)), 0.5 * factors)
        << "n = " << n;
  }
}

TEST(GammaLevelTest, KnownLevels) {
  EXPECT_EQ(GammaLevel(128, 150), 91);
  EXPECT_EQ(GammaLevel(1, 300), 0);
  for (int32_t gamma : {100, 150, 220, 300}) {
    EXPECT_EQ(GammaLevel(0, gamma), 0);
    EXPECT_EQ(GammaLevel(255, gamma), 255);
  }
  for (int32_t v = 0; v < 256; ++v) EXPECT_EQ(GammaLevel(v, 100), v) << "v = " << v;
}

TEST(GammaLevelTest, FollowsThePowerCurveWithinOneLevel) {
  for (int32_t gamma = 100; gamma <= 300; gamma += 25) {
    int32_t previous = 0;
    for (int32_t v = 0; v < 256; ++v) {
      const double exact = 255.0 * std::pow(v / 255.0, gamma / 100.0);
      const int32_t level = GammaLevel(v, gamma);
      EXPECT_NEAR(level, exact, 1.0) << "v = " << v << ", gamma = " << gamma;
      EXPECT_GE(level, previous) << "v = " << v << ", gamma = " << gamma;
      previous = level;
    }
  }
}

TEST(ShapeToneTest, BrightnessFiftyIsALineWithACubicShoulder) {
  int32_t tone[256];
  ShapeTone(50, 0, tone);
  // k = 200, t = 64: T = 2i below 64.
  for (int i = 0; i < 64; ++i) EXPECT_EQ(tone[i], 2 * i) << "i = " << i;
  EXPECT_EQ(tone[1], 2);
  EXPECT_EQ(tone[63], 126);
  EXPECT_EQ(tone[64], 129);
  EXPECT_EQ(tone[255], 255);
  for (int i = 1; i < 256; ++i) EXPECT_GE(tone[i], tone[i - 1]);
}

TEST(ShapeToneTest, BrightnessMinusFiftyHasACubicToe) {
  int32_t tone[256];
  ShapeTone(-50, 0, tone);
  // k = 200, t = 192, a = 13107200 / 110592 = 118.
  const int32_t toe[] = {67, 68, 69, 71, 72};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(tone[155 + i], toe[i]);
  EXPECT_EQ(tone[0], 0);
  EXPECT_EQ(tone[192], (200 * 192 - 100 * 256) / 100);  // the line from t on
  EXPECT_EQ(tone[255], 254);
}

TEST(ShapeToneTest, ContrastBendsAboutTheMiddle) {
  int32_t tone[256];
  ShapeTone(0, -50, tone);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(tone[i], (50 * i + 6400) / 100) << "i = " << i;

  // k = 200, t1 = 96, t2 = 160: a line of slope 2 through 128 between them.
  ShapeTone(0, 50, tone);
  EXPECT_EQ(tone[0], 0);
  EXPECT_EQ(tone[96], 64);
  EXPECT_EQ(tone[128], 128);
  EXPECT_EQ(tone[159], 190);
  EXPECT_EQ(tone[255], 255);
}

TEST(ShapeToneTest, ContrastActsOnTheBrightenedValues) {
  int32_t tone[256];
  ShapeTone(-50, 50, tone);
  const int32_t middle[] = {6, 8, 10, 14, 16};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(tone[155 + i], middle[i]) << "i = " << 155 + i;
  // From t2 = 160 the shoulder acts on values that brightness left near 73,
  // far below its knee, so they clamp to 0.
  EXPECT_EQ(tone[160], 0);
  EXPECT_EQ(tone[254], 255);
  EXPECT_EQ(tone[255], 255);
}

class ToneCurvesTest : public ::testing::Test {
 protected:
  // Builds, copies the curves out and releases; returns the build's code.
  ResultCode Build(const CmOptionList *options = nullptr) {
    ToneCurves *curves = nullptr;
    const ResultCode result = BuildToneCurves(&params_, options, &curves);
    if (result == kOk) {
      saturation_ = curves->saturation;
      for (int i = 0; i < 256; ++i) {
        red_[i] = curves->curveRed[i];
        green_[i] = curves->curveGreen[i];
        blue_[i] = curves->curveBlue[i];
      }
      EXPECT_EQ(ReleaseToneCurves(curves), kOk);
    }
    EXPECT_EQ(LiveAllocations(), 0);
    return result;
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  int32_t saturation_ = -999;
  int32_t red_[256] = {};
  int32_t green_[256] = {};
  int32_t blue_[256] = {};
};

TEST_F(ToneCurvesTest, NeutralSettingsGiveTheIdentity) {
  params_.saturation = -17;
  ASSERT_EQ(Build(), kOk);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(red_[i], i);
    EXPECT_EQ(green_[i], i);
    EXPECT_EQ(blue_[i], i);
  }
  EXPECT_EQ(saturation_, -17);
}

TEST_F(ToneCurvesTest, StoredGammaZeroOrNullActsAs150) {
  const int32_t zero = 0;
  OptionListBuilder options;
  options.Add(kOptionGamma, &zero);
  ASSERT_EQ(Build(options.List()), kOk);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(red_[i], i);

  OptionListBuilder nullGamma;
  nullGamma.Add(kOptionGamma, nullptr);
  ASSERT_EQ(Build(nullGamma.List()), kOk);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(blue_[i], i);
}

TEST_F(ToneCurvesTest, GammaShiftsByTheDifferenceOfTheTwoPowers) {
  const int32_t gamma = 300;
  const int32_t other = 100;
  OptionListBuilder options;
  options.Add(kOptionGamma, &gamma).Add(kOptionGamma, &other);  // first wins
  params_.greenOffset = -20;
  ASSERT_EQ(Build(options.List()), kOk);
  int32_t wantRed[256];
  int32_t wantGreen[256];
  for (int i = 0; i < 256; ++i) {
    const int32_t g = GammaLevel(i, 300) - GammaLevel(i, 150);
    wantRed[i] = std::clamp(i + g, 0, 255);
    wantGreen[i] = std::clamp(i - 20 + g, 0, 255);
  }
  SmoothReference(wantRed);
  SmoothReference(wantGreen);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(red_[i], wantRed[i]) << "i = " << i;
    EXPECT_EQ(green_[i], wantGreen[i]) << "i = " << i;
    EXPECT_EQ(blue_[i], wantRed[i]) << "i = " << i;
  }
  EXPECT_LT(red_[128], 128);  // a higher gamma darkens the middle
}

TEST_F(ToneCurvesTest, SmoothingLeavesBothEndsAlone) {
  params_.contrast = -50;
  ASSERT_EQ(Build(), kOk);
  int32_t want[256];
  for (int i = 0; i < 256; ++i) want[i] = (50 * i + 6400) / 100;
  SmoothReference(want);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(red_[i], want[i]) << "i = " << i;
  EXPECT_EQ(red_[0], 64);
  // 253 smooths to 190; smoothing 254 as well would pull it to 190 too.
  EXPECT_EQ(red_[253], 190);
  EXPECT_EQ(red_[254], 191);
  EXPECT_EQ(red_[255], 191);

  params_.contrast = 0;
  params_.redOffset = 50;
  ASSERT_EQ(Build(), kOk);
  EXPECT_EQ(red_[254], 255);
  EXPECT_EQ(red_[255], 255);
  EXPECT_EQ(red_[0], 50);
  EXPECT_EQ(green_[0], 0);
}

TEST_F(ToneCurvesTest, HostCurvesApplyLast) {
  params_.brightness = 50;
  ASSERT_EQ(Build(), kOk);
  int32_t plainRed[256];
  int32_t plainGreen[256];
  for (int i = 0; i < 256; ++i) {
    plainRed[i] = red_[i];
    plainGreen[i] = green_[i];
  }

  uint8_t host[768];
  for (int i = 0; i < 256; ++i) {
    host[i] = static_cast<uint8_t>(255 - i);  // red: inverted
    host[256 + i] = static_cast<uint8_t>(i / 2);
    host[512 + i] = 7;
  }
  OptionListBuilder options;
  options.Add(kOptionHostCurves, host);
  ASSERT_EQ(Build(options.List()), kOk);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(red_[i], 255 - plainRed[i]);
    EXPECT_EQ(green_[i], plainGreen[i] / 2);
    EXPECT_EQ(blue_[i], 7);
  }

  uint8_t zeros[768] = {};
  OptionListBuilder zeroOptions;
  zeroOptions.Add(kOptionHostCurves, zeros);
  ASSERT_EQ(Build(zeroOptions.List()), kOk);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(red_[i], 0);
    EXPECT_EQ(green_[i], 0);
    EXPECT_EQ(blue_[i], 0);
  }
}

TEST_F(ToneCurvesTest, SettingsOutOfRangeAreRefusedInOrder) {
  int32_t CmParams::*const settings[] = {
      &CmParams::brightness, &CmParams::contrast,    &CmParams::saturation,
      &CmParams::redOffset,  &CmParams::greenOffset, &CmParams::blueOffset};
  for (int32_t CmParams::*setting : settings) {
    for (int32_t value : {-51, 51}) {
      params_ = CmParams{};
      params_.*setting = value;
      EXPECT_EQ(Build(), kBadParams);
    }
    params_ = CmParams{};
    params_.*setting = -50;
    EXPECT_EQ(Build(), kOk);
    params_.*setting = 50;
    EXPECT_EQ(Build(), kOk);
  }
  params_ = CmParams{};
  params_.reserved = 1;
  EXPECT_EQ(Build(), kBadParams);

  for (int32_t gamma : {99, 301, -150}) {
    OptionListBuilder options;
    options.Add(kOptionGamma, &gamma);
    params_ = CmParams{};
    EXPECT_EQ(Build(options.List()), kBadTable) << "gamma " << gamma;
    // A bad setting is reported before a bad gamma.
    params_.reserved = 3;
    EXPECT_EQ(Build(options.List()), kBadParams) << "gamma " << gamma;
  }
  for (int32_t gamma : {100, 300}) {
    OptionListBuilder options;
    options.Add(kOptionGamma, &gamma);
    params_ = CmParams{};
    EXPECT_EQ(Build(options.List()), kOk) << "gamma " << gamma;
  }
}

TEST_F(ToneCurvesTest, MemoryFailuresLeaveNothingBehind) {
  FailNthCall(PlatformOp::kAlloc, 1);
  EXPECT_EQ(Build(), kAllocFailed);
  FailNthCall(PlatformOp::kLock, 1);
  EXPECT_EQ(Build(), kLockFailed);
  ASSERT_FALSE(testing::ShownMessages().empty());
  EXPECT_EQ(testing::ShownMessages()[0].text, "size = 3164");
}

}  // namespace
}  // namespace inkdot
