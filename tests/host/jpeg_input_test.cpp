// SPDX-License-Identifier: Apache-2.0
// Reading JPEG: grey and RGB, EXIF orientation and resolution, and damaged
// files refused with the file named. (CMYK, which needs a colour profile,
// is tested with the colour-managed input.)
#include <gtest/gtest.h>

#include <cstdio>
// jpeglib.h needs FILE declared first.
#include <jpeglib.h>

#include <cstring>
#include <fstream>

#include "exif.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/image.h"
#include "jpeg_writer.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

using testing::Bytes;
using testing::JpegPicture;
using testing::WriteJpeg;


// A little-endian EXIF block with orientation and, when x > 0, a resolution.
std::vector<uint8_t> Exif(uint16_t orientation, uint32_t x = 0, uint32_t y = 0,
                          uint16_t unit = 2) {
  std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
  auto u16 = [&](uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
  const uint16_t count = x ? 4 : 1;
  u16(count);
  const uint32_t values = 8 + 2 + 12 * count + 4;  // rationals after the directory
  u16(0x0112); u16(3); u32(1); u16(orientation); u16(0);
  if (x) {
    u16(0x011A); u16(5); u32(1); u32(values);
    u16(0x011B); u16(5); u32(1); u32(values + 8);
    u16(0x0128); u16(3); u32(1); u16(unit); u16(0);
  }
  u32(0);  // no next directory
  if (x) {
    u32(x); u32(1); u32(y); u32(1);
  }
  return b;
}

void ExpectColour(const Image &image, uint32_t x, uint32_t y, std::vector<int> expected,
                  const std::string &what) {
  for (uint32_t c = 0; c < image.channels; ++c) {
    const int got = image.samples[(y * image.width + x) * image.channels + c] / 257;
    EXPECT_NEAR(got, expected[c], 3) << what << " at " << x << "," << y << " channel " << c;
  }
}

TEST(JpegInput, ColourSpacesReadAsGreyOrRgb) {
  testing::TempDir dir;
  struct Case {
    const char *name;
    JpegPicture picture;
    uint32_t channels;
    std::vector<int> left, right;
  };
  JpegPicture grey;
  grey.components = 1, grey.space = JCS_GRAYSCALE, grey.left = {40}, grey.right = {200};
  JpegPicture rgb;
  rgb.left = {255, 0, 0}, rgb.right = {0, 0, 255};
  const Case cases[] = {
      {"grey", grey, 1, {40}, {200}},
      {"rgb", rgb, 3, {255, 0, 0}, {0, 0, 255}},
  };
  for (const Case &c : cases) {
    const auto path = dir.path() / (std::string(c.name) + ".jpg");
    WriteJpeg(c.picture, path);
    const Image image = ReadImagePage(path, 0);
    ASSERT_EQ(image.channels, c.channels) << c.name;
    ASSERT_EQ(image.width, 32u);
    ASSERT_EQ(image.height, 16u);
    ExpectColour(image, 4, 8, c.left, c.name);
    ExpectColour(image, 28, 8, c.right, c.name);
    EXPECT_EQ(image.xDpi, 0) << c.name;
  }
}

TEST(JpegInput, ExifOrientationTurnsThePictureAsViewersDo) {
  // Stored 32 x 16: red on the left, blue on the right. Each case names the
  // displayed size and which colour shows at the displayed top left.
  testing::TempDir dir;
  struct Case {
    uint16_t orientation;
    uint32_t width, height;
    bool redTopLeft;
    bool redBottomRight;
  };
  const Case cases[] = {
      {1, 32, 16, true, false}, {2, 32, 16, false, true}, {3, 32, 16, false, true},
      {4, 32, 16, true, false}, {5, 16, 32, true, false}, {6, 16, 32, true, false},
      {7, 16, 32, false, true}, {8, 16, 32, false, true},
  };
  const std::vector<int> red = {255, 0, 0}, blue = {0, 0, 255};
  for (const Case &c : cases) {
    JpegPicture picture;
    picture.left = {255, 0, 0}, picture.right = {0, 0, 255};
    picture.exif = Exif(c.orientation);
    const std::string number = std::to_string(c.orientation);
    const auto path = dir.path() / ("o" + number + ".jpg");
    WriteJpeg(picture, path);
    const Image image = ReadImagePage(path, 0);
    std::string what = "orientation ";  // appended: GCC 12 -O3 misreads "..." + string
    what += number;
    ASSERT_EQ(image.width, c.width) << what;
    ASSERT_EQ(image.height, c.height) << what;
    ExpectColour(image, 2, 2, c.redTopLeft ? red : blue, what);
    ExpectColour(image, c.width - 3, c.height - 3, c.redBottomRight ? red : blue, what);
  }
}

TEST(JpegInput, ResolutionFromExifElseJfif) {
  testing::TempDir dir;
  struct Case {
    const char *name;
    int densityUnit, xDensity, yDensity;
    std::vector<uint8_t> exif;
    double xDpi, yDpi;
  };
  const Case cases[] = {
      {"jfif-dpi", 1, 300, 150, {}, 300, 150},
      {"jfif-cm", 2, 118, 118, {}, 118 * 2.54, 118 * 2.54},
      {"jfif-aspect-only", 0, 1, 1, {}, 0, 0},
      {"exif-wins", 1, 300, 300, Exif(1, 240, 120), 240, 120},
      {"exif-turned", 0, 1, 1, Exif(6, 240, 120), 120, 240},
      {"exif-cm", 0, 1, 1, Exif(1, 59, 59, 3), 59 * 2.54, 59 * 2.54},
  };
  for (const Case &c : cases) {
    JpegPicture picture;
    picture.left = picture.right = {128, 128, 128};
    picture.densityUnit = c.densityUnit, picture.xDensity = c.xDensity, picture.yDensity = c.yDensity;
    picture.exif = c.exif;
    const auto path = dir.path() / (std::string(c.name) + ".jpg");
    WriteJpeg(picture, path);
    const std::unique_ptr<ImageRows> rows = OpenImagePage(path, 0);
    EXPECT_NEAR(rows->xDpi(), c.xDpi, 1e-9) << c.name;
    EXPECT_NEAR(rows->yDpi(), c.yDpi, 1e-9) << c.name;
  }
}

TEST(JpegInput, DamagedFilesAreRefusedWithTheirName) {
  testing::TempDir dir;
  JpegPicture picture;
  picture.left = {10, 200, 30}, picture.right = {90, 20, 250};
  picture.width = 64, picture.height = 64;
  const auto whole = dir.path() / "whole.jpg";
  WriteJpeg(picture, whole);
  std::ifstream in(whole, std::ios::binary);
  const Bytes bytes(std::istreambuf_iterator<char>(in), {});
  for (size_t keep : {size_t{3}, size_t{40}, bytes.size() / 2}) {
    const auto cut = dir.path() / ("cut" + std::to_string(keep) + ".jpg");
    testing::WriteFile(cut, Bytes(bytes.begin(), bytes.begin() + keep));
    try {
      ReadImagePage(cut, 0);
      ADD_FAILURE() << "read a JPEG cut at " << keep;
    } catch (const ImageError &e) {
      EXPECT_NE(std::string(e.what()).find(cut.filename().string()), std::string::npos);
      EXPECT_NE(std::string(e.what()).find("JPEG"), std::string::npos) << e.what();
    }
  }
}

TEST(JpegInput, MalformedExifIsIgnored) {
  std::vector<uint8_t> good = Exif(6, 300, 300);
  EXPECT_EQ(detail::ReadExif(good.data(), good.size()).orientation, 6u);
  EXPECT_EQ(detail::ReadExif(good.data(), good.size()).xDpi, 300);
  // Every truncation reads what lies before the cut and nothing past it.
  for (size_t size = 0; size < good.size(); ++size) {
    const detail::ExifFacts facts = detail::ReadExif(good.data(), size);
    EXPECT_TRUE(facts.orientation == 0 || facts.orientation == 6) << size;
  }
  std::vector<uint8_t> farOffset = good;
  farOffset[10] = 0xF0;  // directory beyond the block
  EXPECT_EQ(detail::ReadExif(farOffset.data(), farOffset.size()).orientation, 0u);
  std::vector<uint8_t> zeroDenominator = Exif(1, 300, 300);
  zeroDenominator[zeroDenominator.size() - 12] = 0;  // x's denominator
  EXPECT_EQ(detail::ReadExif(zeroDenominator.data(), zeroDenominator.size()).xDpi, 0);
}

}  // namespace
}  // namespace inkdot::host
