// Whole pages through the engine and the test profile: black prints black
// ink everywhere, however the rows are split.
#include <gtest/gtest.h>

#include "inkdot/host/print_job.h"
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

}  // namespace
}  // namespace inkdot::host
