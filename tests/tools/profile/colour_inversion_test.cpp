// SPDX-License-Identifier: Apache-2.0
// Gamut mapping and black generation of the colour tables, on the default
// printer model's own continuous-tone response.
#include "colour_inversion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "printer_response.h"

namespace {

using namespace inkdot;

double Hue(const host::Lab &lab) {
  return std::atan2(lab[2], lab[1]) * 180 / 3.14159265358979;
}

class GamutMapping : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    response_ = new profile::PrinterResponse(
        profile::ModelResponse(host::DefaultPrinterModel(), 9));
    perceptual_ = new profile::GamutMapper(*response_, {});
    relative_ = new profile::GamutMapper(*response_,
                                         {profile::Intent::kRelativeColorimetric, 2.4});
  }
  static void TearDownTestSuite() {
    delete perceptual_;
    delete relative_;
    delete response_;
  }
  static profile::PrinterResponse *response_;
  static profile::GamutMapper *perceptual_, *relative_;
};
profile::PrinterResponse *GamutMapping::response_;
profile::GamutMapper *GamutMapping::perceptual_, *GamutMapping::relative_;

TEST_F(GamutMapping, GreysStayNeutralAndApproachTheBlackPointStrictly) {
  double last = -1;
  for (int v = 0; v <= 255; ++v) {
    const host::Lab source = host::SrgbToLab(v / 255.0, v / 255.0, v / 255.0);
    const host::Lab mapped = perceptual_->Map(source);
    EXPECT_NEAR(mapped[1], 0, 1e-6);
    EXPECT_NEAR(mapped[2], 0, 1e-6);
    EXPECT_GT(mapped[0], last) << "input " << v;
    if (v == 0) {
      EXPECT_NEAR(mapped[0], perceptual_->BlackPoint(), 1e-6);
    }
    if (source[0] >= 25) {
      EXPECT_NEAR(mapped[0], source[0], 1e-6) << "input " << v;
    }
    last = mapped[0];
  }
}

TEST_F(GamutMapping, OutOfGamutColoursKeepTheirHueAndLandInside) {
  const host::Lab colours[] = {host::SrgbToLab(0, 0, 1), host::SrgbToLab(0, 1, 0),
                               host::SrgbToLab(1, 0, 0), host::SrgbToLab(1, 0, 1),
                               host::SrgbToLab(0, 1, 1), host::SrgbToLab(1, 1, 0)};
  for (const host::Lab &source : colours) {
    for (const profile::GamutMapper *mapper : {perceptual_, relative_}) {
      const host::Lab mapped = mapper->Map(source);
      EXPECT_NEAR(Hue(mapped), Hue(source), 1e-6);
      const double chroma = std::hypot(mapped[1], mapped[2]);
      EXPECT_LE(chroma, mapper->MaxChroma(mapped[0], Hue(mapped) < 0 ? Hue(mapped) + 360
                                                                     : Hue(mapped)) +
                            0.5);
      EXPECT_LT(chroma, std::hypot(source[1], source[2]));
    }
  }
}

TEST_F(GamutMapping, RelativeColorimetricLeavesReachableColoursAlone) {
  const host::Lab inside =
      host::SrgbToLab(0.6, 0.5, 0.4);  // a light brown, well inside
  const host::Lab mapped = relative_->Map(inside);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(mapped[c], inside[c], 1e-6);
  EXPECT_LT(perceptual_->MaxChroma(inside[0], 60), 200);
}

TEST_F(GamutMapping, InvertedInksPrintTheTarget) {
  // Mapped targets are reached by the solver within a fraction of a unit.
  const host::Lab targets[] = {
      {70, 10, 20}, {50, -20, -20}, {40, 30, -10}, {30, 0, 0}, {85, 0, 30}};
  for (const host::Lab &target : targets) {
    double residual;
    const profile::Coverage inks = perceptual_->Solve(
        target, perceptual_->BlackFor(target), {0.2, 0.2, 0.2, 0}, &residual);
    EXPECT_LT(residual, 0.1);
    EXPECT_LT(host::DeltaE2000(response_->LabOf(inks), target), 0.1);
    EXPECT_LE(inks[0] + inks[1] + inks[2] + inks[3], 2.4 + 1e-9);
  }
}

TEST_F(GamutMapping, BlackGenerationLeavesLightColoursAndFillsGreys) {
  EXPECT_EQ(perceptual_->BlackFor({80, 30, 20}),
            0.0);                                     // light colourful: no black dots
  EXPECT_GT(perceptual_->BlackFor({50, 0, 0}), 0.3);  // greys print with black
  // The more colourful a dark tone, the less black.
  const double grey = perceptual_->BlackFor({30, 0, 0});
  const double tinted = perceptual_->BlackFor({30, 8, 0});
  EXPECT_GT(tinted, 0.0);
  EXPECT_LT(tinted, grey);
  EXPECT_LT(perceptual_->BlackFor({30, 40, 0}), tinted);
}

}  // namespace
