// Whole pages through the engine and the test profile: white paper stays
// white, black prints black ink everywhere, coverage rises with darkness
// for every method and dot mode, colours land on the inks that make them,
// and calibration with identity curves changes nothing.
#include <gtest/gtest.h>

#include "inkdot/host/print_job.h"
#include "inkdot/host/preview.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

struct Combination {
  const char *method;
  uint32_t dotMode;
};

// The combinations with a kernel: every method with single-size dots;
// diffusion and screening with multi-size dots.
const Combination kCombinations[] = {{"midpoint", 0},  {"dither", 0}, {"diffusion", 0},
                                     {"screen", 0},    {"diffusion", 2}, {"screen", 2}};

Image Flat(uint32_t width, uint32_t height, uint8_t r, uint8_t g, uint8_t b) {
  Image image;
  image.width = width;
  image.height = height;
  image.channels = 3;
  for (uint32_t i = 0; i < width * height; ++i) {
    image.samples.push_back(static_cast<uint16_t>(r * 257));
    image.samples.push_back(static_cast<uint16_t>(g * 257));
    image.samples.push_back(static_cast<uint16_t>(b * 257));
  }
  return image;
}

// Share of pixels of a plane that carry a dot of any size.
double DotShare(const DotPage &page, size_t plane) {
  uint64_t dots = 0;
  for (uint32_t y = 0; y < page.height; ++y) {
    for (uint32_t x = 0; x < page.width; ++x) dots += page.Code(plane, x, y) != 0;
  }
  return static_cast<double>(dots) / (static_cast<double>(page.width) * page.height);
}

// Ink coverage summed over the planes, each dot counted by its size.
double Coverage(const DotPage &page) {
  double total = 0;
  for (size_t k = 0; k < page.planes.size(); ++k) {
    for (uint32_t y = 0; y < page.height; ++y) {
      for (uint32_t x = 0; x < page.width; ++x) {
        total += DotCoverage(page.bitsPerPixel, page.Code(k, x, y)) / 256.0;
      }
    }
  }
  return total / (static_cast<double>(page.width) * page.height);
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteTestProfile(dir_.path());
    profile_ = LoadProfile(dir_.path());
  }
  PrintSettings Settings(const Combination &c) {
    PrintSettings settings;
    settings.method = profile_.methods.at(c.method).method;
    settings.methodVariant = profile_.methods.at(c.method).variant;
    settings.dotMode = c.dotMode;
    settings.xResolution = settings.yResolution = 720;
    return settings;
  }
  testing::TempDir dir_;
  Profile profile_;
};

TEST_F(EndToEnd, WhiteGivesNoDotsAndBlackPrintsBlackEverywhere) {
  for (const Combination &c : kCombinations) {
    SCOPED_TRACE(std::string(c.method) + ", dot mode " + std::to_string(c.dotMode));
    DotPage white = PrintImage(profile_, Settings(c), Flat(40, 12, 255, 255, 255));
    ASSERT_EQ(white.planes.size(), 4u);
    EXPECT_EQ(white.bitsPerPixel, c.dotMode == 2 ? 2u : 1u);
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(DotShare(white, k), 0.0) << "plane " << k;
    DotPage black = PrintImage(profile_, Settings(c), Flat(40, 12, 0, 0, 0));
    EXPECT_EQ(DotShare(black, 3), 1.0);
    for (size_t k = 0; k < 3; ++k) EXPECT_EQ(DotShare(black, k), 0.0) << "plane " << k;
  }
}

TEST_F(EndToEnd, CoverageRisesWithDarknessForEveryMethodAndDotMode) {
  for (const Combination &c : kCombinations) {
    SCOPED_TRACE(std::string(c.method) + ", dot mode " + std::to_string(c.dotMode));
    double previous = -1;
    for (int level = 255; level >= 0; level -= 32) {
      const uint8_t v = static_cast<uint8_t>(level);
      DotPage page = PrintImage(profile_, Settings(c), Flat(64, 64, v, v, v));
      const double coverage = Coverage(page);
      EXPECT_GE(coverage, previous) << "grey " << level;
      previous = coverage;
    }
    DotPage black = PrintImage(profile_, Settings(c), Flat(64, 64, 0, 0, 0));
    EXPECT_GT(Coverage(black), 0.5);
  }
}

TEST_F(EndToEnd, GreyPagesPrintBlackInkThatRisesWithDarkness) {
  for (const Combination &c : kCombinations) {
    SCOPED_TRACE(std::string(c.method) + ", dot mode " + std::to_string(c.dotMode));
    PrintSettings settings = Settings(c);
    settings.grey = true;
    DotPage white = PrintImage(profile_, settings, Flat(40, 12, 255, 255, 255));
    ASSERT_EQ(white.planes.size(), 1u);
    EXPECT_EQ(DotShare(white, 0), 0.0);
    double previous = -1;
    for (int level = 224; level >= 0; level -= 32) {
      const uint8_t v = static_cast<uint8_t>(level);
      const double coverage = Coverage(PrintImage(profile_, settings, Flat(64, 64, v, v, v)));
      EXPECT_GE(coverage, previous) << "grey " << level;
      previous = coverage;
    }
    EXPECT_GT(previous, 0.5);
  }
}

TEST_F(EndToEnd, ColoursLandOnTheInksThatMakeThem) {
  for (const Combination &c : kCombinations) {
    SCOPED_TRACE(std::string(c.method) + ", dot mode " + std::to_string(c.dotMode));
    // Red is magenta and yellow; blue is cyan and magenta.
    DotPage red = PrintImage(profile_, Settings(c), Flat(48, 16, 255, 0, 0));
    EXPECT_GT(DotShare(red, 1), 0.5);
    EXPECT_GT(DotShare(red, 2), 0.5);
    EXPECT_LT(DotShare(red, 0), 0.1);
    EXPECT_LT(DotShare(red, 3), 0.1);
    DotPage blue = PrintImage(profile_, Settings(c), Flat(48, 16, 0, 0, 255));
    EXPECT_GT(DotShare(blue, 0), 0.5);
    EXPECT_GT(DotShare(blue, 1), 0.5);
    EXPECT_LT(DotShare(blue, 2), 0.1);
  }
}

TEST_F(EndToEnd, GreyInputPrintsOnePlaneOfTheLastInk) {
  PrintSettings settings = Settings({"diffusion", 0});
  settings.grey = true;
  DotPage page = PrintImage(profile_, settings, Flat(32, 8, 60, 60, 60));
  ASSERT_EQ(page.planes.size(), 1u);
  EXPECT_EQ(page.inks[0].name, "black");
  EXPECT_GT(DotShare(page, 0), 0.3);
}

TEST_F(EndToEnd, RunsOfAnyLengthCoverTheWholeRow) {
  // Splitting rows into runs must still give every pixel its dot: on black,
  // runs of 5 pixels (not a multiple of a byte) leave no gap.
  for (const Combination &c : kCombinations) {
    SCOPED_TRACE(std::string(c.method) + ", dot mode " + std::to_string(c.dotMode));
    PrintSettings settings = Settings(c);
    settings.runLength = 5;
    DotPage black = PrintImage(profile_, settings, Flat(37, 4, 0, 0, 0));
    EXPECT_EQ(DotShare(black, 3), 1.0);
  }
}

TEST_F(EndToEnd, IdentityCalibrationChangesNothing) {
  PrintSettings settings = Settings({"diffusion", 2});
  Image image = Flat(24, 8, 200, 120, 40);
  DotPage plain = PrintImage(profile_, settings, image);
  settings.colour.calibration = {52, 49, 50, 51};
  DotPage calibrated = PrintImage(profile_, settings, image);
  EXPECT_EQ(plain.planes, calibrated.planes);
}

}  // namespace
}  // namespace inkdot::host
