// SPDX-License-Identifier: Apache-2.0
// Dot planes written in every compression decode, through libtiff, to the
// planes that went in; PackBits rows decode to their bytes within the
// encoder's size bound.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <random>

#include "inkdot/host/dot_page.h"
#include "strip_encoder.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

// TIFF's PackBits decoding, written from the scheme's definition.
std::vector<uint8_t> UnpackBits(const uint8_t *in, size_t size) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < size;) {
    const int8_t count = static_cast<int8_t>(in[i++]);
    if (count >= 0) {
      out.insert(out.end(), in + i, in + i + count + 1);
      i += static_cast<size_t>(count) + 1;
    } else if (count != -128) {
      out.insert(out.end(), static_cast<size_t>(1 - count), in[i++]);
    }
  }
  return out;
}

TEST(PackBits, RowsDecodeToTheirBytesWithinTheBound) {
  std::mt19937 random(3);
  const auto noise = [&](size_t size, uint32_t values) {
    std::vector<uint8_t> row(size);
    for (uint8_t &byte : row) byte = static_cast<uint8_t>(random() % values);
    return row;
  };
  // Run lengths around the 128-byte limit and the 2- and 3-byte thresholds.
  const auto runs = [](std::initializer_list<size_t> lengths) {
    std::vector<uint8_t> row;
    uint8_t value = 0;
    for (size_t length : lengths) row.insert(row.end(), length, value++);
    return row;
  };
  const std::vector<std::vector<uint8_t>> rows = {
      {7},
      {7, 7},
      runs({128}),
      runs({129}),
      runs({130, 1, 257}),
      runs({1, 2, 1, 2, 1, 2, 1, 3, 1, 1, 3}),
      runs({2, 2, 2, 2, 2, 2, 2, 2}),
      noise(127, 256),
      noise(128, 256),
      noise(129, 256),
      noise(1000, 256),
      noise(3000, 3),
      noise(3000, 2),
  };
  for (const auto &row : rows) {
    std::vector<uint8_t> packed(row.size() + row.size() / 128 + 2);
    const size_t size = detail::PackBitsRow(row.data(), row.size(), packed.data());
    EXPECT_LE(size, row.size() + (row.size() + 127) / 128) << row.size();
    EXPECT_EQ(UnpackBits(packed.data(), size), row) << row.size();
  }
  // Long runs cost two bytes per 128.
  const std::vector<uint8_t> blank(1280, 0);
  std::vector<uint8_t> packed(1300);
  EXPECT_EQ(detail::PackBitsRow(blank.data(), blank.size(), packed.data()), 20u);
}

// A page of white, solid and noisy rows, several strips high with a short
// last strip.
DotPage MixedPage(uint32_t width, uint32_t height, uint32_t bits) {
  DotPage page;
  page.width = width;
  page.height = height;
  page.bitsPerPixel = bits;
  page.xDpi = 1440;
  page.yDpi = 720;
  page.inks = {{"cyan", {0, 160, 228}}, {"black", {35, 31, 32}}, {"yellow", {255, 240, 0}}};
  page.Allocate();
  std::mt19937 random(11);
  for (auto &plane : page.planes) {
    for (uint32_t y = 0; y < height; ++y) {
      uint8_t *row = plane.data() + y * page.rowBytes();
      for (size_t i = 0; i < page.rowBytes(); ++i) {
        row[i] = y % 5 == 0 ? 0 : y % 5 == 1 ? 0xFF : static_cast<uint8_t>(random() >> (y % 3 * 8));
      }
    }
  }
  return page;
}

TEST(DotPlanes, EveryCompressionDecodesToThePlanesWritten) {
  testing::TempDir dir;
  for (const uint32_t bits : {1u, 2u}) {
    // 9000 dots at 2 bits: 2250-byte rows, 29 rows a strip; 100 rows end
    // with a strip of 13.
    const DotPage page = MixedPage(9000, 100, bits);
    for (const auto compression : {PlaneCompression::kDeflate, PlaneCompression::kFast,
                                   PlaneCompression::kPackBits, PlaneCompression::kNone}) {
      const auto path = dir.path() / "p.tif";
      {
        DotPageWriter writer(page, path, compression);
        page.ForEachRow(
            [&](uint32_t y, const uint8_t *rows) { writer.TakeRow(y, rows, page.rowBytes()); });
        writer.Finish();
      }
      const DotPage back = ReadDotPageTiff(path);
      EXPECT_EQ(back.planes, page.planes) << bits << " bits, compression " << int(compression);
      ASSERT_EQ(back.inks.size(), 3u);
      EXPECT_EQ(back.inks[2].name, "yellow");
      // The tag says what libtiff decoded.
      TIFF *t = TIFFOpen(path.c_str(), "r");
      uint16_t tag = 0;
      TIFFGetField(t, TIFFTAG_COMPRESSION, &tag);
      TIFFClose(t);
      EXPECT_EQ(tag, detail::TiffCompressionTag(compression));
      // No part file is left beside the page.
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
  }
}

}  // namespace
}  // namespace inkdot::host
