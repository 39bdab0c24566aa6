// SPDX-License-Identifier: Apache-2.0
// Regression guards on colour: a small set of colours well inside the
// printer's gamut, printed through the engine and measured on the preview,
// must stay within a mean CIEDE2000 of 2 with the bundled default profile
// in each main way of printing, and of 1.5 with a profile built from a
// public characterisation data set and previewed as that measured printer.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "chart_measurement.h"
#include "colour_inversion.h"
#include "printer_response.h"
#include "profile_builder.h"

namespace {

using namespace inkdot;

struct Way {
  const char *name;
  uint32_t dotMode, method, x;
};

// Mean CIEDE2000 of colours inside `profile`'s printer gamut printed `way`.
double InGamutMean(const host::Profile &profile, const Way &way) {
  const std::vector<profile::Rgb8> patches = {
      {194, 150, 130}, {224, 172, 105}, {141, 110, 90},  {120, 160, 200},
      {98, 122, 157},  {87, 108, 67},   {133, 128, 177}, {200, 140, 100},
      {170, 90, 100},  {150, 180, 120}, {230, 220, 180}, {90, 90, 120},
      {180, 180, 180}, {128, 128, 128}, {80, 80, 80},    {200, 200, 220},
      {160, 120, 160}, {110, 150, 150}};
  // Every patch lies inside the printer model's gamut.
  const profile::PrinterResponse model = profile::ModelResponse(*profile.printer, 9);
  const profile::GamutMapper gamut(model, {});
  std::vector<host::Lab> targets;
  for (const profile::Rgb8 &p : patches) {
    const host::Lab lab = host::SrgbToLab(p[0] / 255.0, p[1] / 255.0, p[2] / 255.0);
    double hue = std::atan2(lab[2], lab[1]) * 180 / 3.14159265358979;
    if (hue < 0) hue += 360;
    EXPECT_LT(std::hypot(lab[1], lab[2]), gamut.MaxChroma(lab[0], hue));
    targets.push_back(lab);
  }
  host::PrintSettings settings;
  settings.dotMode = way.dotMode;
  settings.method = way.method;
  settings.xResolution = way.x;
  settings.yResolution = 720;
  settings.pageThreads = 1;
  const profile::ChartMeasurement m =
      profile::PrintAndMeasure(profile, settings, patches, 6, 64);
  double sum = 0;
  for (size_t i = 0; i < patches.size(); ++i)
    sum += host::DeltaE2000(m.measured[i], targets[i]);
  return sum / patches.size();
}

const Way kWays[] = {{"single screen", 0, 3, 720},
                     {"single diffusion", 0, 1, 720},
                     {"variable diffusion", 2, 1, 1440},
                     {"variable screen", 2, 3, 1440}};

TEST(DefaultProfileColour, InGamutColoursPrintWithinTwoDeltaE) {
  const host::Profile profile = host::LoadProfile(INKDOT_DEFAULT_PROFILE);
  ASSERT_TRUE(profile.printer);
  for (const Way &way : kWays) {
    SCOPED_TRACE(way.name);
    EXPECT_LE(InGamutMean(profile, way), 2.0);
  }
}

// Offset printing on coated paper, measured: a public data set that
// Debian's icc-profiles-free ships.
const char kPublicDataSet[] = "/usr/share/color/icc/FOGRA39L.ti3";

TEST(MeasuredProfileColour, InGamutColoursPrintWithinOneAndAHalfDeltaE) {
#ifdef INKDOT_SANITIZED
  GTEST_SKIP() << "a whole profile build takes minutes under the sanitizers; the measured "
                  "printer's code runs under them in the MeasuredGrid and MeasuredPrinter tests";
#endif
  if (!std::filesystem::exists(kPublicDataSet))
    GTEST_SKIP() << kPublicDataSet << " is not installed (Debian package icc-profiles-free)";
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      ("inkdot_measured_" +
       std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  profile::BuildOptions options;
  options.measurements = kPublicDataSet;
  profile::BuildProfile(dir, options);
  const host::Profile profile = host::LoadProfile(dir);
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(profile.printer && profile.printer->measured);
  for (const Way &way : {kWays[0], kWays[2]}) {
    SCOPED_TRACE(way.name);
    EXPECT_LE(InGamutMean(profile, way), 1.5);
  }
}

}  // namespace
