// SPDX-License-Identifier: Apache-2.0
// Reading images: PNG and PGM/PPM, with truncated and foreign files refused.
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "inkdot/host/errors.h"
#include "inkdot/host/image.h"
#include "image_readers.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

using testing::Bytes;

void ExpectImageError(const std::filesystem::path &path, const std::string &mention) {
  try {
    ReadImagePage(path, 0);
    ADD_FAILURE() << "read " << path;
  } catch (const ImageError &e) {
    EXPECT_NE(std::string(e.what()).find(mention), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(path.filename().string()), std::string::npos) << e.what();
  }
}

RgbImage8 Gradient(uint32_t width, uint32_t height) {
  RgbImage8 image{width, height, {}};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      image.rgb.push_back(static_cast<uint8_t>(x * 20));
      image.rgb.push_back(static_cast<uint8_t>(y * 30));
      image.rgb.push_back(static_cast<uint8_t>(x + y));
    }
  }
  return image;
}

void WriteInterlacedPng(const RgbImage8 &image, const std::filesystem::path &path) {
  FILE *file = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (uint32_t y = 0; y < image.height; ++y) {
    rows.push_back(const_cast<png_bytep>(image.rgb.data() + y * image.width * 3));
  }
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

void WriteTiledTiff(const RgbImage8 &image, const std::filesystem::path &path) {
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, image.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, image.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
  TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
  std::vector<uint8_t> tile(16 * 16 * 3);
  for (uint32_t ty = 0; ty < image.height; ty += 16) {
    for (uint32_t tx = 0; tx < image.width; tx += 16) {
      std::fill(tile.begin(), tile.end(), 0);
      for (uint32_t y = ty; y < std::min(ty + 16, image.height); ++y) {
        for (uint32_t x = tx; x < std::min(tx + 16, image.width); ++x) {
          std::memcpy(&tile[((y - ty) * 16 + (x - tx)) * 3], &image.rgb[(y * image.width + x) * 3], 3);
        }
      }
      TIFFWriteTile(tiff, tile.data(), tx, ty, 0, 0);
    }
  }
  TIFFClose(tiff);
}

TEST(ImageInput, StreamedAndWholeLayoutsHandOutTheSameRows) {
  // A plain PNG streams row by row; interlaced PNG and tiled TIFF are read
  // whole when opened. Each must give back the source samples exactly.
  testing::TempDir dir;
  const RgbImage8 source = Gradient(37, 21);
  const auto plain = dir.path() / "plain.png";
  const auto interlaced = dir.path() / "interlaced.png";
  const auto tiled = dir.path() / "tiled.tif";
  WritePng(source, 150, plain);
  WriteInterlacedPng(source, interlaced);
  WriteTiledTiff(source, tiled);
  for (const auto &path : {plain, interlaced, tiled}) {
    EXPECT_EQ(CountImagePages(path), 1u);
    std::unique_ptr<ImageRows> rows = OpenImagePage(path, 0);
    ASSERT_EQ(rows->width(), source.width) << path;
    ASSERT_EQ(rows->height(), source.height) << path;
    ASSERT_EQ(rows->channels(), 3u) << path;
    std::vector<uint16_t> row(source.width * 3);
    for (uint32_t y = 0; y < source.height; ++y) {
      rows->ReadRow(row.data());
      for (size_t i = 0; i < row.size(); ++i) {
        ASSERT_EQ(row[i], source.rgb[y * row.size() + i] * 257) << path << " row " << y;
      }
    }
  }
  // 150 dpi is stored as 5906 pixels per metre and reads back whole.
  const std::unique_ptr<ImageRows> rows = OpenImagePage(plain, 0);
  EXPECT_EQ(rows->xDpi(), 150);
  EXPECT_EQ(rows->yDpi(), 150);
}

TEST(ImageInput, ResolutionsSnapToWholeDpiOnlyWhenClose) {
  struct Case {
    double stored;
    double read;
  };
  const Case cases[] = {
      {5906 * 0.0254, 150},     // PNG pixels per metre
      {2835 * 0.0254, 72},      // 72.009
      {59.06 * 2.54, 150},      // TIFF pixels per centimetre
      {11811 * 0.0254, 300},    // 299.9994
      {5905 * 0.0254, 5905 * 0.0254},  // 149.987: a step away, kept
      {150.5, 150.5},
      {0, 0},                   // not given
      {0.004, 0.004},           // never snapped to 0
  };
  for (const Case &c : cases) {
    EXPECT_EQ(detail::WholeDpiWhenClose(c.stored), c.read) << c.stored;
  }
}

TEST(ImageInput, PgmAndPpmAtEightAndSixteenBits) {
  testing::TempDir dir;
  const auto pgm = dir.path() / "a.pgm";
  Bytes data = testing::TextBytes("P5\n# comment\n2 1\n1000\n");
  for (uint16_t v : {500, 1000}) {
    data.push_back(static_cast<uint8_t>(v >> 8));
    data.push_back(static_cast<uint8_t>(v));
  }
  testing::WriteFile(pgm, data);
  Image image = ReadImagePage(pgm, 0);
  EXPECT_EQ(image.channels, 1u);
  EXPECT_EQ(image.samples[0], 32768);  // 500 of 1000, rounded
  EXPECT_EQ(image.samples[1], 65535);
  EXPECT_EQ(image.xDpi, 0);
  testing::WriteFile(pgm, testing::TextBytes(std::string("P5 1 1 256\n\x01\x00", 13)));
  EXPECT_EQ(ReadImagePage(pgm, 0).samples[0], 65535);  // above 255: two bytes a sample

  const auto ppm = dir.path() / "b.ppm";
  Bytes pixels = testing::TextBytes("P6 1 2 255\n");
  for (uint8_t v : {10, 20, 30, 255, 0, 128}) pixels.push_back(v);
  testing::WriteFile(ppm, pixels);
  image = ReadImagePage(ppm, 0);
  EXPECT_EQ(image.channels, 3u);
  EXPECT_EQ(image.samples[1], 20 * 257);
  EXPECT_EQ(image.samples[5], 128 * 257);
  testing::WriteFile(ppm, testing::TextBytes("P6 2 2 255\n\x0a\x14\x1e"));
  ExpectImageError(ppm, "truncated");
  testing::WriteFile(ppm, testing::TextBytes("P6 2"));
  ExpectImageError(ppm, "height is missing");
}

TEST(ImageInput, EachReaderKnowsOnlyItsOwnFirstBytes) {
  using Sniffer = bool (*)(std::span<const uint8_t>);
  const Sniffer sniffers[] = {detail::IsPng, detail::IsTiff, detail::IsJpeg, detail::IsPnm};
  const struct {
    Bytes head;
    int reader;  // index into sniffers, -1 for none
  } cases[] = {
      {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, 0},
      {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A}, -1},  // cut short
      {{'I', 'I', 42, 0}, 1},
      {{'M', 'M', 0, 42}, 1},
      {{'I', 'I', 0, 42}, -1},  // byte orders mixed
      {{0xFF, 0xD8, 0xFF}, 2},
      {{0xFF, 0xD8}, -1},
      {{'P', '5'}, 3},
      {{'P', '6'}, 3},
      {{'P', '3'}, -1},  // plain-text PPM is not read
      {{}, -1},
  };
  for (const auto &c : cases) {
    for (int r = 0; r < 4; ++r) {
      EXPECT_EQ(sniffers[r](c.head), r == c.reader) << "reader " << r << ", case for " << c.reader;
    }
  }
}

TEST(ImageInput, SinglePageFormatsHaveOnePageAndRefuseASecond) {
  testing::TempDir dir;
  const std::filesystem::path png = dir.path() / "one.png", pgm = dir.path() / "one.pgm",
                              tif = dir.path() / "one.tif";
  WritePng(Gradient(3, 2), 72, png);
  testing::WriteFile(pgm, testing::TextBytes("P5 1 1 255\n\x80"));
  WriteTiledTiff(Gradient(3, 2), tif);
  for (const std::filesystem::path &path : {png, pgm, tif}) {
    EXPECT_EQ(CountImagePages(path), 1u) << path;
    try {
      OpenImagePage(path, 1, {});
      ADD_FAILURE() << "opened page 2 of " << path;
    } catch (const ImageError &e) {
      EXPECT_NE(std::string(e.what()).find(path.filename().string()), std::string::npos) << e.what();
      // TIFF counts its own pages and says so in its own words.
      EXPECT_EQ(std::string(e.what()).find("has only one page") != std::string::npos, path != tif)
          << e.what();
    }
  }
}

}  // namespace
}  // namespace inkdot::host
