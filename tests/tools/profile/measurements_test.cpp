// SPDX-License-Identifier: Apache-2.0
// Characterisation data: the CGATS target and measurements, and the printer
// model fitted to measurements.
#include "measurements.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "icc_printer.h"
#include "measured_printer.h"
#include "profile_builder.h"
#include "inkdot/host/printer_model_json.h"

namespace {

using namespace inkdot;
namespace fs = std::filesystem;

fs::path TempFile(const std::string &name) {
  return fs::temp_directory_path() /
         ("inkdot_measurements_" +
          std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
          name);
}

TEST(Measurements, TargetSpreadsOverTheInksWithinTheLimit) {
  const auto patches = profile::TargetPatches(2.4);
  bool paper = false, solidBlack = false;
  for (const auto &p : patches) {
    EXPECT_LE(p[0] + p[1] + p[2] + p[3], 2.4 + 1e-9);
    paper |= p == std::array<double, 4>{0, 0, 0, 0};
    solidBlack |= p == std::array<double, 4>{0, 0, 0, 1};
  }
  EXPECT_TRUE(paper);
  EXPECT_TRUE(solidBlack);
  EXPECT_GT(patches.size(), 500u);
}

TEST(Measurements, FitRecoversThePrinterThatMadeThem) {
  // "Measure" the target on a printer model with its own n, through CGATS.
  host::PrinterModel truth = host::DefaultPrinterModel();
  truth.yuleNielsen = 1.7;
  std::vector<profile::Measurement> data;
  for (const auto &p : profile::TargetPatches(2.4))
    data.push_back({p, host::ModelLab(truth, p)});
  const fs::path file = TempFile("fit.txt");
  profile::WriteMeasurementsCgats(file, data);
  const auto back = profile::ReadMeasurementsCgats(file);
  fs::remove(file);
  ASSERT_EQ(back.size(), data.size());
  EXPECT_LT(host::DeltaE2000(back[5].lab, data[5].lab), 0.01);

  double error;
  const host::PrinterModel fitted =
      profile::FitPrinterModel(back, truth.dotCoverage, &error);
  EXPECT_NEAR(fitted.yuleNielsen, 1.7, 1e-9);
  EXPECT_LT(error, 0.05);
  for (int i = 0; i < 16; ++i) {
    EXPECT_LT(host::DeltaE2000(fitted.primaries[i], truth.primaries[i]), 0.2)
        << host::PrimaryName(i);
  }
}

// A printer no Neugebauer model describes: every ink gains dots along a
// curve of its own before the inks mix.
host::Lab DotGainPrinter(const std::array<double, 4> &a) {
  std::array<double, 4> gained;
  for (int k = 0; k < 4; ++k) gained[k] = a[k] + (0.25 + 0.05 * k) * a[k] * (1 - a[k]);
  return host::ModelLab(host::DefaultPrinterModel(), gained);
}

TEST(MeasuredGrid, FollowsMeasurementsTheModelCannot) {
  std::vector<profile::Measurement> data;
  for (const auto &p : profile::TargetPatches(2.4)) data.push_back({p, DotGainPrinter(p)});
  double modelError;
  profile::FitPrinterModel(data, {0.4, 0.7, 1.0}, &modelError);
  const profile::MeasuredFit fit = profile::FitMeasuredGrid(data, profile::kMeasuredGridSteps);
  EXPECT_LT(fit.meanError, 0.3);
  EXPECT_LT(fit.meanError, modelError / 3);
  // Between the patches too: fixed pseudo-random amounts within the limit.
  uint32_t seed = 21;
  const auto next = [&] { return (seed = seed * 1664525u + 1013904223u) / 4294967296.0; };
  double sum = 0;
  int count = 0;
  while (count < 200) {
    const std::array<double, 4> a{next(), next(), next(), next()};
    if (a[0] + a[1] + a[2] + a[3] > 2.4) continue;
    sum += host::DeltaE2000(host::MeasuredLab(fit.grid, a), DotGainPrinter(a));
    ++count;
  }
  EXPECT_LT(sum / count, 1.0);
}

TEST(MeasuredGrid, RefusesMeasurementsThatLeaveAnInkOut) {
  // A three-ink sample: black never printed, so nothing says what it does.
  std::vector<profile::Measurement> data;
  for (const auto &p : profile::TargetPatches(2.4)) {
    if (p[3] == 0) data.push_back({p, host::ModelLab(host::DefaultPrinterModel(), p)});
  }
  const fs::path file = TempFile("no-black.txt");
  profile::WriteMeasurementsCgats(file, data);
  const fs::path dir = TempFile("no-black-profile");
  profile::BuildOptions options;
  options.measurements = file;
  try {
    profile::BuildProfile(dir, options);
    ADD_FAILURE() << "accepted";
  } catch (const std::runtime_error &e) {
    EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("no patch prints black"), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(fs::exists(dir));
  fs::remove(file);
}

// A public characterisation data set of offset printing on coated paper, as
// Debian's icc-profiles-free ships it (CGATS with CMYK, XYZ and LAB).
const char kPublicDataSet[] = "/usr/share/color/icc/FOGRA39L.ti3";

TEST(MeasuredGrid, FitsAPublicDataSetAndPredictsPatchesLeftOut) {
  if (!fs::exists(kPublicDataSet))
    GTEST_SKIP() << kPublicDataSet << " is not installed (Debian package icc-profiles-free)";
  const auto data = profile::ReadMeasurementsCgats(kPublicDataSet);
  ASSERT_EQ(data.size(), 1617u);
  EXPECT_NEAR(data[0].lab[0], 100, 1e-6);  // relative to its paper
  std::vector<profile::Measurement> kept, left;
  for (size_t i = 0; i < data.size(); ++i) (i % 10 == 3 ? left : kept).push_back(data[i]);
  const profile::MeasuredFit fit = profile::FitMeasuredGrid(kept, profile::kMeasuredGridSteps);
  EXPECT_LT(fit.meanError, 0.2);
  double sum = 0;
  for (const auto &m : left) sum += host::DeltaE2000(host::MeasuredLab(fit.grid, m.inks), m.lab);
  EXPECT_LT(sum / left.size(), 0.5);
}

TEST(Measurements, ReadsXyzRelativeToThePaper) {
  // A paper that is not D50 white: colours come out relative to it.
  const fs::path file = TempFile("xyz.txt");
  {
    std::ofstream out(file);
    out << "CGATS.17\nNUMBER_OF_FIELDS 8\nBEGIN_DATA_FORMAT\n"
           "SAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K XYZ_X XYZ_Y XYZ_Z\nEND_DATA_FORMAT\n"
           "NUMBER_OF_SETS 16\nBEGIN_DATA\n";
    for (int i = 0; i < 16; ++i) {
      const double y = i == 0 ? 90.0 : 45.0;  // paper, then darker patches
      out << i + 1 << " " << (i & 1) * 100 << " " << (i >> 1 & 1) * 100 << " "
          << (i >> 2 & 1) * 100 << " " << (i >> 3 & 1) * 100 << " " << y * 0.9642 << " "
          << y << " " << y * 0.8249 << "\n";
    }
    out << "END_DATA\n";
  }
  const auto data = profile::ReadMeasurementsCgats(file);
  fs::remove(file);
  EXPECT_NEAR(data[0].lab[0], 100, 1e-6);
  EXPECT_NEAR(data[1].lab[0], host::XyzToLab({0.5 * 0.9642, 0.5, 0.5 * 0.8249})[0],
              1e-6);
}

TEST(Measurements, RefusesFilesItCannotUse) {
  struct Case {
    const char *what;
    std::string text;
    const char *message;
  };
  const std::string header = "CGATS.17\nNUMBER_OF_FIELDS 5\nBEGIN_DATA_FORMAT\n";
  const Case cases[] = {
      {"no colour",
       header +
           "SAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K\nEND_DATA_FORMAT\nNUMBER_OF_SETS "
           "1\nBEGIN_DATA\n1 0 0 0 0\nEND_DATA\n",
       "neither LAB"},
      {"no black",
       header + "SAMPLE_ID CMYK_C CMYK_M CMYK_Y LAB_L\nEND_DATA_FORMAT\nNUMBER_OF_SETS "
                "1\nBEGIN_DATA\n1 0 0 0 100\nEND_DATA\n",
       "no CMYK_K"},
      {"not CGATS", "hello\n", "not a readable CGATS"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path file = TempFile("bad.txt");
    std::ofstream(file) << c.text;
    try {
      profile::ReadMeasurementsCgats(file);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error &e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos)
          << e.what();
    }
    fs::remove(file);
  }
}

}  // namespace

namespace {

// A CMYK output profile that Debian ships with Ghostscript; the test is
// skipped where it is absent.
const char kIccProfile[] = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

TEST(IccPrinter, GivesTheProfilesCmykAndItsPrinter) {
  if (!fs::exists(kIccProfile))
    GTEST_SKIP() << kIccProfile << " is not installed (Debian package ghostscript)";
  const auto cmyk =
      profile::IccCmyk(kIccProfile, {255, 255, 255, 0, 0, 0, 0, 0, 255}, true, true);
  ASSERT_EQ(cmyk.size(), 3u);
  for (double v : cmyk[0]) EXPECT_LT(v, 0.01);  // white: no ink
  EXPECT_GT(cmyk[1][3], 0.5);                   // black: mostly black ink
  EXPECT_GT(cmyk[2][0], cmyk[2][2]);            // blue: more cyan than yellow
  const auto printed =
      profile::IccMeasurements(kIccProfile, {{0, 0, 0, 0}, {0, 0, 0, 1}});
  EXPECT_NEAR(printed[0].lab[0], 100,
              0.5);  // relative colorimetric: the paper is white
  EXPECT_LT(printed[1].lab[0], 40);
}

TEST(IccPrinter, RefusesProfilesThatAreNotCmyk) {
  const char rgb[] = "/usr/share/color/icc/ghostscript/srgb.icc";
  if (!fs::exists(rgb))
    GTEST_SKIP() << rgb << " is not installed (Debian package ghostscript)";
  try {
    profile::IccCmyk(rgb, {0, 0, 0}, true, true);
    ADD_FAILURE() << "accepted";
  } catch (const std::runtime_error &e) {
    EXPECT_NE(std::string(e.what()).find("is not a CMYK profile"), std::string::npos)
        << e.what();
  }
}

}  // namespace
