// SPDX-License-Identifier: Apache-2.0
// The fast one-bit colour diffusion kernels diffuse inks 0, 1 and 3 in the
// lanes of one vector on their vector paths, on a window of their error
// lines, with the narrow filters in lanes and the wide ones ink by ink.
// Each case below runs rows of runs of one kind of page through a portable
// object and a vector one and compares the planes and the three error lines
// after every run. The colour table maps each source channel straight to
// one ink (channel 0 to ink 0, 1 to ink 1, 2 to ink 3, a fixed ink 2), so a
// case chooses the levels, and with them the filter classes, it covers, and
// whether a block's inks all stay active.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/vector_kernels.h"
#include "support/lcg.h"

namespace inkdot {
namespace {

constexpr uint32_t kWidth = 530;  // not a multiple of the 64-pixel block

enum class Page {
  kLightTint,      // levels at or below T0: dotted pixels take the wide filters
  kDark,           // levels above T0: the narrow filters only
  kSingleInk,      // one ink at a time, the others 0 (inks go inactive)
  kWhiteAndSolid,  // white stretches between solid and faint patches
  kMixed,          // any level, changing every few pixels
  kSparse,         // white but for a few pixels at a block's end, then zeros
};

struct Case {
  const char *name;
  RowKernel kernel;
  uint32_t path;
  Page page;
  bool largeErrors;  // the error lines start anywhere in 32 bits, so cells wrap
  uint32_t colorMode;
};

// A source channel value for a level: the grid keeps v >> 3, the table
// gives the level 8 * (v >> 3).
uint8_t Channel(Lcg &r, Page page, int k, uint32_t x, uint32_t &patch) {
  switch (page) {
    case Page::kLightTint:
      return static_cast<uint8_t>(r.Below(40));
    case Page::kDark:
      return static_cast<uint8_t>(200 + r.Below(56));
    case Page::kSingleInk:
      if (x % 37 == 0) patch = r.Below(3);
      return static_cast<uint8_t>(static_cast<uint32_t>(k) == patch ? r.Below(256) : 0);
    case Page::kWhiteAndSolid:
      if (x % 23 == 0) patch = r.Below(4);
      return static_cast<uint8_t>(patch == 0   ? 255
                                  : patch == 1 ? 0
                                  : patch == 2 ? r.Below(24)
                                               : 250);
    case Page::kMixed:
      if (x % 5 == 0) patch = r.Next();
      return static_cast<uint8_t>((patch >> (8 * k)) + r.Below(16));
    case Page::kSparse: {
      // Per 64 source pixels (a block, or two with two output pixels per
      // source pixel): one to four printed pixels at the end, with every
      // level nonzero, and in about half of them zero levels at the start,
      // where the inks' activity left by so few pixels decides what prints.
      const uint32_t p = x % 64;
      if (p == 0 && k == 0) patch = r.Next();
      if (p >= 64 - (1 + patch % 4)) return static_cast<uint8_t>(8 + r.Below(248));
      return (patch & 32) != 0 && p < 2 + (patch >> 2) % 8 ? 0 : 255;
    }
  }
  return 0;
}

std::vector<uint8_t> Source(Lcg &r, Page page, uint32_t pixels) {
  std::vector<uint8_t> src(4 * pixels);
  uint32_t patch = 0;
  for (uint32_t i = 0; i < pixels; ++i) {
    for (int k = 0; k < 3; ++k) src[4 * i + k] = Channel(r, page, k, i, patch);
    // White pixels in the white-and-solid and sparse pages only.
    if (page != Page::kWhiteAndSolid && page != Page::kSparse && src[4 * i] == 255 &&
        src[4 * i + 1] == 255) {
      src[4 * i + 2] = 254;
    }
    src[4 * i + 3] = static_cast<uint8_t>(r.Next());
  }
  return src;
}

struct Object {
  HalftoneContext ht{};
  std::vector<uint32_t> colours = std::vector<uint32_t>(32768);
  std::vector<uint8_t> grid = std::vector<uint8_t>(512);
  std::vector<uint16_t> scale = std::vector<uint16_t>(256),
                        tone = std::vector<uint16_t>(256);
  std::vector<uint16_t> matrix = std::vector<uint16_t>(64 * 16);
  std::vector<int16_t> dotCurve = std::vector<int16_t>(256);
  std::vector<int32_t> lines[3];

  Object(const Case &c, uint32_t path, Lcg r) {
    for (uint32_t a = 0; a < 32; ++a) {
      for (uint32_t b = 0; b < 32; ++b) {
        for (uint32_t d = 0; d < 32; ++d) {
          colours[(a * 32 + b) * 32 + d] =
              8 * a | 8 * b << 8 | 0x40u << 16 | 8 * d << 24;
        }
      }
    }
    for (uint32_t v = 0; v < 256; ++v) {
      grid[2 * v] = static_cast<uint8_t>(v >> 3);
      grid[2 * v + 1] = 255;  // never the point above
      scale[v] = static_cast<uint16_t>(r.Next());
      dotCurve[v] = static_cast<int16_t>((2 * v + 128) / 3 + r.Below(9) - 4);
      tone[v] = static_cast<uint16_t>(255 + (255 - v) * (255 - v) / 170);
    }
    for (uint16_t &m : matrix) m = static_cast<uint16_t>(r.Next());
    ht.matrixWidth = 64;
    ht.matrixHeight = 16;
    ht.matrixSize = 65536;
    const uint32_t limits[4] = {64, 40, 16, 8};
    for (int k = 0; k < 4; ++k) ht.dotParams[k] = limits[k];
    ht.params.maxPixels = kWidth;
    ht.params.colorMode = c.colorMode;
    ht.params.inputFormat = 2;
    ht.vectorPath = path;
    ht.blocks[kColourTableBlock].pointer = colours.data();
    ht.blocks[kGridIndexBlock].pointer = grid.data();
    ht.blocks[kLevelScaleBlock].pointer = scale.data();
    ht.blocks[kThresholdMatrixBlock].pointer = matrix.data();
    ht.blocks[kDotCurveBlock].pointer = dotCurve.data();
    ht.blocks[kToneCurveBlock].pointer = tone.data();
    for (int k = 0; k < 3; ++k) {
      lines[k].resize(kWidth + 2 * kErrorMargin + 8);
      for (int32_t &cell : lines[k]) {
        cell = c.largeErrors ? static_cast<int32_t>(r.Next()) : 0;
      }
      ht.blocks[kErrorLineBlock + k].pointer = lines[k].data();
    }
  }
};

class VectorColourDiffusionTest : public ::testing::TestWithParam<Case> {};

TEST_P(VectorColourDiffusionTest, LeavesThePortableBytesAndErrorLines) {
  const Case c = GetParam();
  if (DetectVectorPath() < c.path) GTEST_SKIP() << "this processor lacks the path";
  Lcg r{static_cast<uint64_t>(c.page) * 31 + c.path};
  Object objects[2] = {Object(c, kPortablePath, r), Object(c, c.path, r)};
  uint32_t row = 5;
  for (int trial = 0; trial < 120; ++trial) {
    // Runs at the line's start and end (the window's edges), at odd
    // columns, of every length from the vector path's shortest on.
    const uint32_t count =
        trial % 3 == 0 ? kWidth - 16 * (trial % 2) : 16 + r.Below(kWidth - 16);
    const uint32_t startX =
        trial % 4 == 1 ? kWidth - count : r.Below(kWidth - count + 1);
    const int32_t magnification = trial % 5 == 4 ? 1 : 0;
    const std::vector<uint8_t> src =
        Source(r, c.page, magnification == 1 ? (count + 1) / 2 : count);
    const uint32_t firstBit = r.Below(8);
    const uint32_t stride = (firstBit + count + 7) / 8 + r.Below(3);
    std::vector<uint8_t> out[2];
    out[0].resize(4 * stride);
    for (uint8_t &b : out[0]) b = static_cast<uint8_t>(r.Next());
    out[1] = out[0];
    row += r.Below(3) == 0 ? 0 : 1;  // now and then two runs on one row
    for (int k = 0; k < 2; ++k) {
      objects[k].ht.params.magnification = magnification;
      const RowRun run{src.data(), out[k].data(), stride, firstBit, count, startX,
                       0,          row,           0,      0};
      ASSERT_EQ(c.kernel(&objects[k].ht, run), kOk);
    }
    const auto where = ::testing::Message() << "trial " << trial << ": " << count
                                            << " pixels from " << startX;
    ASSERT_EQ(out[1], out[0]) << where;
    for (int k = 0; k < 3; ++k)
      ASSERT_EQ(objects[1].lines[k], objects[0].lines[k]) << where;
  }
}

constexpr Case kCases[] = {
    {"SquareLightTint", DiffuseColourRowFast, kAvx2Path, Page::kLightTint, false, 4},
    {"SquareDarkLargeErrors", DiffuseColourRowFast, kAvx2Path, Page::kDark, true, 4},
    {"SquareSingleInk", DiffuseColourRowFast, kAvx2Path, Page::kSingleInk, false, 2},
    {"SquareWhiteAndSolid", DiffuseColourRowFast, kAvx2Path, Page::kWhiteAndSolid, true,
     4},
    {"SquareMixedAvx512", DiffuseColourRowFast, kAvx512Path, Page::kMixed, true, 4},
    {"WideLightTint", DiffuseColourRowFast1440, kAvx2Path, Page::kLightTint, true, 4},
    {"WideDark", DiffuseColourRowFast1440, kAvx2Path, Page::kDark, false, 2},
    {"WideSingleInkLargeErrors", DiffuseColourRowFast1440, kAvx2Path, Page::kSingleInk,
     true, 4},
    {"WideWhiteAndSolid", DiffuseColourRowFast1440, kAvx2Path, Page::kWhiteAndSolid,
     false, 4},
    {"WideMixed", DiffuseColourRowFast1440, kAvx2Path, Page::kMixed, false, 4},
    {"WideLightTintAvx512", DiffuseColourRowFast1440, kAvx512Path, Page::kLightTint,
     false, 4},
    {"SquareSparse", DiffuseColourRowFast, kAvx2Path, Page::kSparse, true, 4},
    {"WideSparse", DiffuseColourRowFast1440, kAvx2Path, Page::kSparse, true, 4},
    {"WideSparseAvx512", DiffuseColourRowFast1440, kAvx512Path, Page::kSparse, false, 2},
};

INSTANTIATE_TEST_SUITE_P(Pages, VectorColourDiffusionTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace inkdot
