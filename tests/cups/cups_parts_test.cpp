// SPDX-License-Identifier: Apache-2.0
// The filter's parts: the page stream, the job options and the raster rows.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "inkdot/host/errors.h"
#include "job_options.h"
#include "page_stream.h"
#include "raster_test_support.h"
#include "raster_rows.h"

namespace inkdot::cups {
namespace {

std::vector<uint8_t> StreamOf(const std::vector<std::vector<uint8_t>> &pages, bool finish) {
  testing::TempDir dir;
  std::FILE *out = std::tmpfile();
  {
    PageStreamWriter writer(out);
    for (size_t i = 0; i < pages.size(); ++i) {
      const auto path = dir.path() / std::to_string(i);
      testing::WriteFile(path, pages[i]);
      writer.AddPage(path);
    }
    if (finish) writer.Finish();
  }
  std::fflush(out);
  std::vector<uint8_t> bytes(static_cast<size_t>(std::ftell(out)));
  std::rewind(out);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), out), bytes.size());
  std::fclose(out);
  return bytes;
}

TEST(PageStream, PagesComeBackInOrder) {
  const std::vector<std::vector<uint8_t>> pages = {{1, 2, 3}, {}, std::vector<uint8_t>(70000, 9)};
  EXPECT_EQ(ReadPageStream(StreamOf(pages, true)), pages);
  EXPECT_TRUE(ReadPageStream(StreamOf({}, true)).empty());
}

TEST(PageStream, DamagedOrUnfinishedStreamsAreRefused) {
  const std::vector<uint8_t> good = StreamOf({{1, 2, 3, 4}, {5, 6}}, true);
  auto with = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> bytes = good;
    bytes[at] = value;
    return bytes;
  };
  const std::vector<uint8_t> tail = {good.begin(), good.end() - 8};
  struct Case {
    const char *name;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"other magic", with(0, 'X')},
      {"other version", with(8, 2)},
      {"no end record (cancelled job)", tail},
      {"cut inside a page", {good.begin(), good.begin() + 20}},
      {"page numbers out of order", with(16, 7)},
      {"end record counts other pages", with(good.size() - 1, 3)},
      {"bytes after the end", [&] { auto b = good; b.push_back(0); return b; }()},
      {"unfinished writer", StreamOf({{1}}, false)},
  };
  for (const Case &c : cases) {
    EXPECT_THROW(ReadPageStream(c.bytes), host::Error) << c.name;
  }
}

host::Profile OptionsProfile() {
  host::Profile profile;
  profile.name = "test";
  profile.dotModes = {0, 1, 2};
  profile.methods = {{"diffusion", {1, 0}}, {"screen", {3, 0}}, {"dither", {3, 1}}};
  return profile;
}

TEST(JobOptions, ChoicesBecomeSettings) {
  const host::Profile profile = OptionsProfile();
  const host::PrintSettings defaults = SettingsFromOptions({}, profile);
  EXPECT_EQ(defaults.method, 1u);
  EXPECT_EQ(defaults.dotMode, 2u);
  EXPECT_EQ(defaults.colour.gamma, 0);

  const host::PrintSettings chosen = SettingsFromOptions(
      ParseJobOptions("InkdotMethod=Dither InkdotDots=Single InkdotBrightness=-50 "
                      "InkdotContrast=50 InkdotSaturation=10 InkdotGamma=1.8 media=A4"),
      profile);
  EXPECT_EQ(chosen.method, 3u);
  EXPECT_EQ(chosen.methodVariant, 1u);
  EXPECT_EQ(chosen.dotMode, 0u);
  EXPECT_EQ(chosen.colour.brightness, -50);
  EXPECT_EQ(chosen.colour.contrast, 50);
  EXPECT_EQ(chosen.colour.saturation, 10);
  EXPECT_EQ(chosen.colour.gamma, 180);
}

TEST(JobOptions, BadChoicesNameTheOption) {
  const host::Profile profile = OptionsProfile();
  const char *cases[][2] = {
      {"InkdotBrightness=51", "InkdotBrightness"}, {"InkdotContrast=abc", "InkdotContrast"},
      {"InkdotSaturation=5x", "InkdotSaturation"}, {"InkdotGamma=0.9", "InkdotGamma"},
      {"InkdotGamma=3.5", "InkdotGamma"},           {"InkdotGamma=wide", "InkdotGamma"},
      {"InkdotMethod=Midpoint", "InkdotMethod"},    {"InkdotDots=Tiny", "InkdotDots"},
  };
  for (const auto &[text, name] : cases) {
    try {
      SettingsFromOptions(ParseJobOptions(text), profile);
      ADD_FAILURE() << text << " was accepted";
    } catch (const host::SettingError &error) {
      EXPECT_NE(std::string(error.what()).find(name), std::string::npos) << error.what();
    }
  }
  host::Profile variableOnly = profile;
  variableOnly.dotModes = {2};
  EXPECT_THROW(SettingsFromOptions({{"InkdotDots", "Single"}}, variableOnly), host::SettingError);
}

TEST(RasterRows, SamplesComeOutAsSixteenBitLightness) {
  struct Case {
    cups_cspace_t space;
    unsigned bits;
    std::vector<uint16_t> written;  // one pixel
    std::vector<uint16_t> read;
  };
  const std::vector<Case> cases = {
      {CUPS_CSPACE_RGB, 8, {0x00, 0x80, 0xFF}, {0x0000, 0x8080, 0xFFFF}},
      {CUPS_CSPACE_SRGB, 16, {0x1234, 0xFFFF, 0x0001}, {0x1234, 0xFFFF, 0x0001}},
      {CUPS_CSPACE_W, 8, {0x40}, {0x4040}},
      {CUPS_CSPACE_SW, 16, {0xABCD}, {0xABCD}},
      {CUPS_CSPACE_K, 8, {0xFF}, {0x0000}},  // full ink is black
      {CUPS_CSPACE_K, 16, {0x0100}, {0xFEFF}},
  };
  for (const Case &c : cases) {
    testing::TempDir dir;
    const auto path = dir.path() / "page.ras";
    const cups_page_header2_t header = RasterHeader(c.space, c.bits, 3, 2);
    WriteRaster(path, {{header, PixelRows(header, c.written)}});
    RasterFile file(path);
    cups_page_header2_t read;
    ASSERT_TRUE(cupsRasterReadHeader2(file.raster(), &read));
    CheckRasterHeader(read);
    RasterRows rows(file.raster(), read);
    EXPECT_EQ(rows.channels(), c.written.size());
    EXPECT_EQ(rows.xDpi(), 720);
    std::vector<uint16_t> row(3 * rows.channels());
    for (uint32_t y = 0; y < 2; ++y) {
      rows.ReadRow(row.data());
      for (size_t x = 0; x < 3; ++x) {
        for (size_t k = 0; k < c.read.size(); ++k) {
          EXPECT_EQ(row[x * c.read.size() + k], c.read[k]) << c.space << "/" << c.bits;
        }
      }
    }
    EXPECT_THROW(rows.ReadRow(row.data()), host::ImageError) << "read past the page";
  }
}

TEST(RasterRows, UnprintableHeadersAreRefused) {
  struct Case {
    const char *name;
    void (*change)(cups_page_header2_t &);
  };
  const Case cases[] = {
      {"CMYK", [](cups_page_header2_t &h) { h.cupsColorSpace = CUPS_CSPACE_CMYK; }},
      {"1 bit", [](cups_page_header2_t &h) { h.cupsBitsPerColor = 1; }},
      {"planar", [](cups_page_header2_t &h) { h.cupsColorOrder = CUPS_ORDER_PLANAR; }},
      {"no width", [](cups_page_header2_t &h) { h.cupsWidth = 0; }},
      {"no height", [](cups_page_header2_t &h) { h.cupsHeight = 0; }},
      {"short lines", [](cups_page_header2_t &h) { h.cupsBytesPerLine -= 1; }},
      {"huge", [](cups_page_header2_t &h) {
         h.cupsWidth = 20000;
         h.cupsHeight = 20000;
         h.cupsBytesPerLine = 60000;
       }},
  };
  CheckRasterHeader(RasterHeader(CUPS_CSPACE_RGB, 8, 10, 10));
  for (const Case &c : cases) {
    cups_page_header2_t header = RasterHeader(CUPS_CSPACE_RGB, 8, 10, 10);
    c.change(header);
    EXPECT_THROW(CheckRasterHeader(header), host::ImageError) << c.name;
  }
}

}  // namespace
}  // namespace inkdot::cups
