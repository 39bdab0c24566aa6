// SPDX-License-Identifier: Apache-2.0
// Dot planes written in every compression decode, through libtiff, to the
// planes that went in; PackBits rows decode to their bytes within the
// encoder's size bound.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <random>
#include <thread>

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

// A strip counts as blank only if every byte, first and last included, is 0.
TEST(StripEncoder, BlankMeansEveryByteZero) {
  for (const size_t size : {1u, 2u, 31u, 65472u}) {
    std::vector<uint8_t> strip(size, 0);
    EXPECT_TRUE(detail::IsBlank(strip.data(), size)) << size;
    for (const size_t at : {size_t{0}, size / 2, size - 1}) {
      strip[at] = 1;
      EXPECT_FALSE(detail::IsBlank(strip.data(), size)) << size << " at " << at;
      strip[at] = 0;
    }
  }
}

// A page of white, solid and noisy rows, several strips high with a short
// last strip; rows from `blankFrom` on are white.
DotPage MixedPage(uint32_t width, uint32_t height, uint32_t bits, uint32_t blankFrom = ~0u) {
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
        row[i] = y % 5 == 0 || y >= blankFrom ? 0
                 : y % 5 == 1                  ? 0xFF
                                               : static_cast<uint8_t>(random() >> (y % 3 * 8));
      }
    }
  }
  return page;
}

// Whether every deflated strip of the current directory is one zlib stream
// that inflates to exactly the strip's rows: readers that stop at the
// strip's size would not notice a stream that is cut short or runs on.
bool StripsInflateToTheirRows(TIFF *t) {
  uint32_t height = 0, rowsPerStrip = 0;
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  libdeflate_decompressor *inflate = libdeflate_alloc_decompressor();
  bool exact = inflate != nullptr;
  for (uint32_t s = 0; exact && s < TIFFNumberOfStrips(t); ++s) {
    const uint32_t rows = std::min(rowsPerStrip, height - s * rowsPerStrip);
    const size_t expected = static_cast<size_t>(TIFFVStripSize(t, rows));
    std::vector<uint8_t> raw(TIFFRawStripSize(t, s)), out(expected + 64);
    const tmsize_t got = TIFFReadRawStrip(t, s, raw.data(), static_cast<tmsize_t>(raw.size()));
    size_t in = 0, made = 0;
    exact = got == static_cast<tmsize_t>(raw.size()) &&
            libdeflate_zlib_decompress_ex(inflate, raw.data(), raw.size(), out.data(),
                                          out.size(), &in, &made) == LIBDEFLATE_SUCCESS &&
            in == raw.size() && made == expected;
  }
  libdeflate_free_decompressor(inflate);
  return exact;
}

// Reads every directory of `path` through libtiff, collecting its warnings
// and errors and any tag that differs from what the planes' writer sets for
// a 1440 x 720 dpi page of `inks` planes.
std::string ExpectPlaneTags(const std::filesystem::path &path, PlaneCompression compression,
                            uint16_t inks) {
  std::string complaints;
  const auto collect = [](TIFF *, void *to, const char *, const char *format, va_list args) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    *static_cast<std::string *>(to) += std::string(text) + "; ";
    return 1;
  };
  TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, collect, &complaints);
  TIFFOpenOptionsSetWarningHandlerExtR(options, collect, &complaints);
  TIFF *t = TIFFOpenExt(path.c_str(), "r", options);
  TIFFOpenOptionsFree(options);
  if (!t) return complaints + "not opened";
  uint16_t plane = 0;
  do {
    uint16_t tag = 0, number = 0, count = 0, unit = 0;
    float x = 0, y = 0;
    const char *software = nullptr;
    TIFFGetField(t, TIFFTAG_COMPRESSION, &tag);
    TIFFGetField(t, TIFFTAG_PAGENUMBER, &number, &count);
    TIFFGetField(t, TIFFTAG_XRESOLUTION, &x);
    TIFFGetField(t, TIFFTAG_YRESOLUTION, &y);
    TIFFGetField(t, TIFFTAG_RESOLUTIONUNIT, &unit);
    TIFFGetField(t, TIFFTAG_SOFTWARE, &software);
    if (tag != detail::TiffCompressionTag(compression)) complaints += "compression; ";
    if (tag == COMPRESSION_ADOBE_DEFLATE && !StripsInflateToTheirRows(t)) complaints += "strips; ";
    if (number != plane || count != inks) complaints += "page number; ";
    if (x != 1440 || y != 720 || unit != RESUNIT_INCH) complaints += "resolution; ";
    if (!software || std::string(software) != "inkdot") complaints += "software; ";
    ++plane;
  } while (TIFFReadDirectory(t));
  TIFFClose(t);
  if (plane != inks) complaints += std::to_string(plane) + " directories; ";
  return complaints;
}

TEST(DotPlanes, EveryCompressionDecodesToThePlanesWritten) {
  testing::TempDir dir;
  for (const uint32_t bits : {1u, 2u}) {
    // 9000 dots at 2 bits: 2250-byte rows, 29 rows a strip; 100 rows end
    // with a strip of 13. From row 58 on the page is white: whole blank
    // strips of 29 and then 13 rows at 2 bits, one of 42 at 1 bit.
    const DotPage page = MixedPage(9000, 100, bits, 58);
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
      // The tags say what libtiff decoded.
      const std::string complaints = ExpectPlaneTags(path, compression, 3);
      EXPECT_EQ(complaints, "") << bits << " bits, compression " << int(compression);
      // Nothing else is left beside the page.
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
  }
}

// A page that is not finished leaves nothing behind and the file it was
// to replace as it was.
TEST(DotPlanes, AnUnfinishedPageLeavesThePathAsItWas) {
  testing::TempDir dir;
  const auto path = dir.path() / "p.tif";
  { std::ofstream(path) << "an earlier page"; }
  const DotPage page = MixedPage(3000, 100, 1);
  {
    DotPageWriter writer(page, path);
    for (uint32_t y = 0; y < 60; ++y) {
      for (size_t k = 0; k < page.planes.size(); ++k) {
        writer.TakePlaneRow(k, y, page.planes[k].data() + y * page.rowBytes());
      }
    }
  }
  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "an earlier page");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// The planes' writers run on several threads, so that the strips of the
// planes interleave in the file in no fixed order: each plane's directory
// still finds its own.
TEST(DotPlanes, PlanesWrittenFromSeveralThreadsDecodeToTheirPlanes) {
  testing::TempDir dir;
  const DotPage page = MixedPage(3000, 400, 2);
  const auto path = dir.path() / "p.tif";
  {
    DotPageWriter writer(page, path, PlaneCompression::kFast);
    const auto writePlanes = [&](size_t first) {
      for (uint32_t y = 0; y < page.height; ++y) {
        for (size_t k = first; k < page.planes.size(); k += 2) {
          writer.TakePlaneRow(k, y, page.planes[k].data() + y * page.rowBytes());
        }
      }
    };
    std::thread other(writePlanes, 1);
    writePlanes(0);
    other.join();
    writer.Finish();
  }
  EXPECT_EQ(ReadDotPageTiff(path).planes, page.planes);
  EXPECT_EQ(ExpectPlaneTags(path, PlaneCompression::kFast, 3), "");
}

}  // namespace
}  // namespace inkdot::host
