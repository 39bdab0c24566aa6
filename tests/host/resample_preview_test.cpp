// SPDX-License-Identifier: Apache-2.0
// Area-averaging resampling and dot planes on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "inkdot/host/dot_page.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/resample.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

TEST(Resampling, RowsInTurnEqualTheAreaMeanAtEveryScale) {
  // Enlarging, reducing, mixed and unchanged, grey and RGB: every output
  // sample against the overlap-weighted mean computed pixel by pixel.
  struct Case {
    uint32_t width, height, channels, outWidth, outHeight;
  };
  std::mt19937 random(5);
  for (const Case &c : {Case{7, 5, 1, 23, 11}, Case{23, 11, 3, 7, 5}, Case{10, 9, 3, 10, 9},
                        Case{3, 40, 1, 48, 7}, Case{31, 2, 3, 5, 17}}) {
    Image image;
    image.width = c.width;
    image.height = c.height;
    image.channels = c.channels;
    for (size_t i = 0; i < size_t{c.width} * c.height * c.channels; ++i) {
      image.samples.push_back(static_cast<uint16_t>(random()));
    }
    auto overlap = [](uint64_t o, uint64_t i, uint64_t source, uint64_t target) {
      const uint64_t lo = std::max(o * source, i * target);
      const uint64_t hi = std::min((o + 1) * source, (i + 1) * target);
      return hi > lo ? hi - lo : 0;
    };
    Resampler resampler(image, c.outWidth, c.outHeight);
    std::vector<uint8_t> row(size_t{c.outWidth} * c.channels);
    const uint64_t total = uint64_t{c.width} * c.height;
    for (uint32_t y = 0; y < c.outHeight; ++y) {
      resampler.Row(y, row.data());
      for (uint32_t x = 0; x < c.outWidth; ++x) {
        for (uint32_t ch = 0; ch < c.channels; ++ch) {
          uint64_t sum = 0;
          for (uint32_t j = 0; j < c.height; ++j) {
            for (uint32_t i = 0; i < c.width; ++i) {
              sum += overlap(x, i, c.width, c.outWidth) * overlap(y, j, c.height, c.outHeight) *
                     image.samples[(size_t{j} * c.width + i) * c.channels + ch];
            }
          }
          const uint64_t mean = (sum + total / 2) / total;
          ASSERT_EQ(row[x * c.channels + ch], (mean + 128) / 257)
              << c.width << "x" << c.height << " to " << c.outWidth << "x" << c.outHeight
              << " at " << x << "," << y;
        }
      }
    }
  }
}

DotPage BlankPage(uint32_t width, uint32_t height, uint32_t bits,
                  const std::vector<std::array<uint8_t, 3>> &colours) {
  DotPage page;
  page.width = width;
  page.height = height;
  page.bitsPerPixel = bits;
  page.xDpi = page.yDpi = 300;
  for (size_t k = 0; k < colours.size(); ++k) page.inks.push_back({"ink" + std::to_string(k), colours[k]});
  page.Allocate();
  return page;
}

void SetCode(DotPage &page, size_t plane, uint32_t x, uint32_t y, uint8_t code) {
  uint8_t &byte = page.planes[plane][y * page.rowBytes() + x * page.bitsPerPixel / 8];
  const uint32_t shift = 8 - page.bitsPerPixel - (x * page.bitsPerPixel) % 8;
  byte = static_cast<uint8_t>(byte | (code << shift));
}

TEST(DotPlanes, TiffRoundTripKeepsEveryCodeAndTheInks) {
  testing::TempDir dir;
  DotPage page = BlankPage(13, 5, 2, {{0, 160, 228}, {35, 31, 32}});
  std::mt19937 random(7);
  for (auto &plane : page.planes) {
    for (uint32_t y = 0; y < page.height; ++y) {
      for (uint32_t x = 0; x < page.width; ++x) SetCode(page, &plane - &page.planes[0], x, y, random() % 4);
    }
  }
  page.inks[1].name = "black";
  WriteDotPageTiff(page, dir.path() / "p.tif");
  DotPage back = ReadDotPageTiff(dir.path() / "p.tif");
  EXPECT_EQ(back.width, 13u);
  EXPECT_EQ(back.bitsPerPixel, 2u);
  EXPECT_EQ(back.xDpi, 300u);
  ASSERT_EQ(back.inks.size(), 2u);
  EXPECT_EQ(back.inks[1].name, "black");
  EXPECT_EQ(back.inks[0].colour, page.inks[0].colour);
  EXPECT_EQ(back.planes, page.planes);
  for (uint32_t x = 0; x < 13; ++x) EXPECT_EQ(back.Code(1, x, 4), page.Code(1, x, 4));
}

}  // namespace
}  // namespace inkdot::host
