// SPDX-License-Identifier: Apache-2.0
// The netpbm planes of a print hold the dots of its TIFF planes, read back
// through libtiff; a page that fails part-way leaves no output of the run.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "inkdot/host/errors.h"
#include "inkdot/host/print_job.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

// A grey ramp across, a colour ramp down: every ink at many levels.
// An odd width leaves unused bits at the end of packed rows.
void WriteRamp(const std::filesystem::path &path, uint32_t width, uint32_t height) {
  RgbImage8 image;
  image.width = width;
  image.height = height;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      image.rgb.push_back(static_cast<uint8_t>(255 * x / (width - 1)));
      image.rgb.push_back(static_cast<uint8_t>(255 * y / (height - 1)));
      image.rgb.push_back(static_cast<uint8_t>((x * 7 + y * 3) % 256));
    }
  }
  WritePng(image, 0, path);
}

// A P4 or P5 file as dot codes, one byte per pixel: PBM's bit, or maxval
// minus PGM's sample. Header fields are separated by one space or newline,
// no comments, as the files are written.
std::vector<uint8_t> ReadNetpbmCodes(const std::filesystem::path &path, uint32_t *width,
                                     uint32_t *height) {
  std::ifstream file(path, std::ios::binary);
  std::string magic;
  uint32_t maxval = 1;
  file >> magic >> *width >> *height;
  if (magic == "P5") file >> maxval;
  file.get();  // the single whitespace before the data
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
  std::vector<uint8_t> codes;
  if (magic == "P4") {
    const size_t rowBytes = (*width + 7) / 8;
    EXPECT_EQ(data.size(), rowBytes * *height) << path;
    for (uint32_t y = 0; y < *height; ++y)
      for (uint32_t x = 0; x < *width; ++x)
        codes.push_back((data.at(y * rowBytes + x / 8) >> (7 - x % 8)) & 1);
  } else {
    EXPECT_EQ(magic, "P5") << path;
    EXPECT_EQ(maxval, 3u) << path;
    EXPECT_EQ(data.size(), static_cast<size_t>(*width) * *height) << path;
    for (uint8_t sample : data) codes.push_back(static_cast<uint8_t>(maxval - sample));
  }
  return codes;
}

class PlaneFormats : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteTestProfile(dir_.path() / "profile");
    profile_ = LoadProfile(dir_.path() / "profile");
    settings_.xResolution = settings_.yResolution = 720;
    settings_.inputDpi = 720;
  }
  PrintSummary Print(const std::vector<std::filesystem::path> &inputs, PlaneFormat format,
                     const std::filesystem::path &out) {
    PrintOutput output;
    output.dir = out;
    output.format = format;
    return PrintFiles(profile_, settings_, inputs, output, 1);
  }

  testing::TempDir dir_;
  Profile profile_;
  PrintSettings settings_;
};

TEST_F(PlaneFormats, NetpbmPlanesHoldTheTiffPlanesDots) {
  const auto input = dir_.path() / "ramp.png";
  WriteRamp(input, 61, 23);
  const struct {
    uint32_t dotMode;
    const char *extension;
  } cases[] = {{0, ".pbm"}, {2, ".pgm"}};
  for (const auto &c : cases) {
    settings_.dotMode = c.dotMode;
    const auto tiffDir = dir_.path() / ("tiff" + std::to_string(c.dotMode));
    const auto pnmDir = dir_.path() / ("pnm" + std::to_string(c.dotMode));
    Print({input}, PlaneFormat::kTiff, tiffDir);
    const PrintSummary summary = Print({input}, PlaneFormat::kNetpbm, pnmDir);
    const DotPage tiff = ReadDotPageTiff(tiffDir / "ramp.tif");
    ASSERT_EQ(summary.outputs.size(), tiff.inks.size());
    for (size_t k = 0; k < tiff.inks.size(); ++k) {
      const auto path = pnmDir / ("ramp-" + tiff.inks[k].name + c.extension);
      EXPECT_EQ(summary.outputs[k], path);
      uint32_t width = 0, height = 0;
      const std::vector<uint8_t> codes = ReadNetpbmCodes(path, &width, &height);
      ASSERT_EQ(width, tiff.width);
      ASSERT_EQ(height, tiff.height);
      std::vector<uint8_t> expected;
      for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) expected.push_back(tiff.Code(k, x, y));
      EXPECT_EQ(codes, expected) << path;
    }
  }
}

TEST_F(PlaneFormats, PageFailingPartWayLeavesNoOutput) {
  // The second image's data stops half-way: its page opens its files and
  // takes rows before reading fails.
  const auto good = dir_.path() / "good.png";
  const auto cut = dir_.path() / "cut.png";
  WriteRamp(good, 40, 20);
  WriteRamp(cut, 300, 300);
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
  const auto out = dir_.path() / "out";
  std::filesystem::create_directory(out);
  for (PlaneFormat format : {PlaneFormat::kNetpbm, PlaneFormat::kTiff}) {
    EXPECT_THROW(Print({good, cut}, format, out), Error);
    EXPECT_TRUE(std::filesystem::is_empty(out));
  }
}

}  // namespace
}  // namespace inkdot::host
