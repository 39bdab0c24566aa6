// SPDX-License-Identifier: Apache-2.0
// The vector paths of the ordered colour dither, hybrid colour and one-bit
// colour diffusion kernels write the bytes (and leave the error lines) of
// their portable paths:
// random tables, matrices and runs, sources mixing smooth stretches
// (smoothing on), noise (off), white, black and the ends of the channel
// range.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/vector_kernels.h"
#include "support/lcg.h"

namespace inkdot {
namespace {

struct Tables {
  std::vector<uint32_t> colours = std::vector<uint32_t>(32768);
  std::vector<uint8_t> grid = std::vector<uint8_t>(512);
  std::vector<uint16_t> scale = std::vector<uint16_t>(256), matrix;
};

void Randomise(Lcg &r, HalftoneContext &ht, Tables &t) {
  ht.matrixWidth = 1u << r.Below(9);
  ht.matrixHeight = 1 + r.Below(40);
  ht.matrixSize = 1 + r.Below(65536);  // thresholds may pass its top
  t.matrix.resize(ht.matrixWidth * ht.matrixHeight);
  // A quarter of the thresholds at the edges: 0, the top, just past it, and
  // the largest, where 16-bit and 32-bit comparisons part.
  const uint16_t edges[4] = {0, static_cast<uint16_t>(ht.matrixSize - 1),
                             static_cast<uint16_t>(ht.matrixSize), 0xFFFF};
  for (uint16_t &m : t.matrix) {
    m = r.Below(4) == 0 ? edges[r.Below(4)] : static_cast<uint16_t>(r.Next());
  }
  for (uint32_t &c : t.colours) c = r.Next();
  for (uint16_t &s : t.scale) s = static_cast<uint16_t>(r.Below(4) == 0 ? 0 : r.Next());
  for (uint32_t v = 0; v < 256; ++v) {
    const bool last = r.Below(8) == 0;  // on grid point 31, which never moves up
    t.grid[2 * v] = static_cast<uint8_t>(last ? 31 : r.Below(31));
    t.grid[2 * v + 1] = static_cast<uint8_t>(last ? 255 : r.Next());
  }
  for (uint32_t p = 0; p < 256; ++p) {
    ht.paletteTotals[p] = r.Next() >> r.Below(32);
    ht.paletteLimits[p] = r.Next();
  }
  // Now and then a total within a threshold's reach of 2^32, where a
  // threshold below zero (past the matrix's top) still dots.
  if (r.Below(4) == 0) ht.paletteTotals[r.Below(256)] = 0xFFFFFFFFu - r.Below(0x10000);
  ht.blocks[kColourTableBlock].pointer = t.colours.data();
  ht.blocks[kGridIndexBlock].pointer = t.grid.data();
  ht.blocks[kLevelScaleBlock].pointer = t.scale.data();
  ht.blocks[kThresholdMatrixBlock].pointer = t.matrix.data();
}

std::vector<uint8_t> Source(Lcg &r, uint32_t pixels) {
  std::vector<uint8_t> src(4 * pixels);
  uint32_t previous = r.Next(), white = 0;
  const uint32_t firstKind = r.Below(3) == 0 ? 1 : 0;  // a third of the sources have no white
  for (uint32_t i = 0; i < pixels; ++i) {
    uint32_t px = previous;
    switch (white > 0 ? 0 : firstKind + r.Below(10 - firstKind)) {
      case 0:  // white stretches, whole groups of lanes included
        white = white > 0 ? white - 1 : r.Below(24);
        px = 0xFFFFFF;
        break;
      case 1: px = 0; break;
      case 2:
        for (int k = 0; k < 3; ++k) {
          const uint32_t pick = r.Below(3), v = pick == 0 ? 0 : pick == 1 ? 255 : r.Below(256);
          px = (px & ~(0xFFu << 8 * k)) | v << 8 * k;
        }
        break;
      default:
        for (int k = 0; k < 3; ++k) {
          const uint32_t v = ((px >> 8 * k) + r.Below(9) - 4) & 0xFF;  // wraps at the ends
          px = (px & ~(0xFFu << 8 * k)) | v << 8 * k;
        }
    }
    previous = px | r.Next() << 24;
    for (int k = 0; k < 4; ++k) src[4 * i + k] = static_cast<uint8_t>(previous >> 8 * k);
  }
  return src;
}

struct Case {
  RowKernel kernel;
  uint32_t dotMode, bitsPerPixel, path;
};

class VectorDitherTest : public ::testing::TestWithParam<Case> {};

TEST_P(VectorDitherTest, WritesThePortableBytes) {
  const Case c = GetParam();
  if (DetectVectorPath() < c.path) {
    GTEST_SKIP() << (c.path == kAvx2Path ? "no AVX2" : "no AVX-512 VBMI") << " on this processor";
  }
  Lcg r{c.bitsPerPixel};
  HalftoneContext ht{};
  Tables tables;
  for (int object = 0; object < 40; ++object) {
    Randomise(r, ht, tables);
    for (int trial = 0; trial < 60; ++trial) {
      const int32_t magnifications[4] = {0, 1, -1, 2};
      ht.params.magnification = magnifications[r.Below(4)];
      ht.params.inputFormat = r.Below(2) == 0 ? 2 : 4;
      const uint32_t count = r.Below(4) == 0 ? r.Below(24) : r.Below(400);
      const uint32_t firstBit = r.Below(8), startX = r.Below(600);
      ht.params.maxPixels = startX + count;
      const uint32_t sourcePixels = ht.params.magnification == 1 ? (count + 1) / 2
                                    : ht.params.magnification == -1 && c.dotMode == 2
                                        ? 2 * count
                                        : count;
      const std::vector<uint8_t> src = Source(r, sourcePixels);
      const uint32_t stride = (firstBit + count * c.bitsPerPixel + 7) / 8 + r.Below(3);
      std::vector<uint8_t> portable(4 * stride + 8);
      for (uint8_t &b : portable) b = static_cast<uint8_t>(r.Next());
      std::vector<uint8_t> vector = portable;
      const uint32_t row = r.Next() >> 16;
      for (uint32_t path : {uint32_t{kPortablePath}, c.path}) {
        ht.vectorPath = path;
        RowRun run{src.data(), (path == c.path ? vector : portable).data(), stride,
                   firstBit, count, startX, 0, row, 0, 0};
        ASSERT_EQ(c.kernel(&ht, run), kOk);
      }
      ASSERT_EQ(vector, portable) << "object " << object << ", magnification "
                                  << ht.params.magnification << ", " << count
                                  << " pixels from " << startX << ", firstBit " << firstBit;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, VectorDitherTest,
                         ::testing::Values(Case{DitherColourRow, 0, 1, kAvx2Path},
                                           Case{DitherColourRow, 0, 1, kAvx512Path},
                                           Case{DotDitherColourRow, 2, 2, kAvx2Path},
                                           Case{DotDitherColourRow, 2, 2, kAvx512Path}));

// One random run of `kernel` through a portable object and a vector one,
// each with its own three error lines; afterwards the planes and the error
// lines must agree. `row` moves on, or stays, as a page's rows do.
// `sourcePairs`: the run reads two source pixels per output pixel at
// magnification -1. `inkBytes`: half the runs take ink bytes as input.
struct RunShape {
  uint32_t width, bitsPerPixel, firstBits;
  bool sourcePairs, inkBytes;
};

void CompareRun(Lcg &r, RowKernel kernel, const RunShape &shape, HalftoneContext ht[2],
                std::vector<int32_t> lines[2][3], uint32_t &row) {
  const int32_t magnifications[3] = {0, 1, -1};
  const int32_t magnification = magnifications[r.Below(3)];
  const uint32_t startX = r.Below(4) == 0 ? 0 : r.Below(shape.width - 16);
  const uint32_t rest = shape.width - startX;
  const uint32_t count = r.Below(4) == 0 ? rest : r.Below(rest + 1);
  const uint32_t firstBit = r.Below(shape.firstBits);
  const bool pairs = magnification == -1 && shape.sourcePairs;
  const std::vector<uint8_t> src =
      Source(r, magnification == 1 ? (count + 1) / 2 : pairs ? 2 * count : count);
  const uint32_t bits = shape.bitsPerPixel;
  const uint32_t stride = (bits * firstBit + bits * count + 7) / 8 + r.Below(3);
  std::vector<uint8_t> out[2];
  out[0].resize(4 * stride + 8);
  for (uint8_t &b : out[0]) b = static_cast<uint8_t>(r.Next());
  out[1] = out[0];
  row += r.Below(4) == 0 ? 0 : 1;
  const uint32_t inputFormat = shape.inkBytes && r.Below(2) == 0 ? 4 : 2;
  for (int path = 0; path < 2; ++path) {
    ht[path].params.magnification = magnification;
    ht[path].params.inputFormat = inputFormat;
    RowRun run{src.data(), out[path].data(), stride, firstBit, count, startX, 0, row, 0, 0};
    ASSERT_EQ(kernel(&ht[path], run), kOk);
  }
  const auto where = ::testing::Message()
                     << "magnification " << magnification << ", " << count << " pixels from "
                     << startX << ", firstBit " << firstBit;
  ASSERT_EQ(out[1], out[0]) << where;
  for (int k = 0; k < 3; ++k) ASSERT_EQ(lines[1][k], lines[0][k]) << where << ", line " << k;
}

// Rows of runs through one object per path, each with its own error lines:
// after every run the planes and the error lines must agree.
TEST(VectorHybridTest, WritesThePortableBytesAndErrors) {
  if (DetectVectorPath() < kAvx2Path) GTEST_SKIP() << "no AVX2 on this processor";
  const RowKernel kernels[4] = {HybridColourRow, HybridColourRowWide, HybridColourRow2880,
                                HybridColourRowTall};
  constexpr uint32_t kWidth = 700;
  Lcg r{7};
  HalftoneContext ht[2]{};
  Tables tables;
  std::vector<int16_t> curve(256);
  std::vector<int32_t> lines[2][3];
  for (int object = 0; object < 24; ++object) {
    const RowKernel kernel = kernels[object % 4];
    Randomise(r, ht[0], tables);
    if (object % 4 == 3) ht[0].matrixSize = 16384;  // the tall member's only size
    for (uint32_t p = 0; p < 256; ++p) {
      const uint32_t small = r.Below(3) == 0 ? 0 : r.Below(256);
      ht[0].paletteAmounts[p] = small | (small + r.Below(256)) << 16;
      ht[0].paletteLimits[p] &= r.Below(3) == 0 ? 0xFFFFu : ~0u;  // no medium
      curve[p] = static_cast<int16_t>(r.Below(700) - 100);
    }
    for (uint32_t &d : ht[0].dotParams) d = r.Below(256);
    ht[0].blocks[kDotCurveBlock].pointer = curve.data();
    ht[0].params.maxPixels = kWidth;
    ht[1] = ht[0];
    for (int path = 0; path < 2; ++path) {
      ht[path].vectorPath = path == 0 ? kPortablePath : kAvx2Path;
      for (int k = 0; k < 3; ++k) {
        lines[path][k].assign(kWidth + 2 * kErrorMargin + 8, 0);
        ht[path].blocks[kErrorLineBlock + k].pointer = lines[path][k].data();
      }
    }
    uint32_t row = r.Next() >> 20;
    const RunShape shape{kWidth, 2, 6, kernel == HybridColourRowTall, false};
    for (int trial = 0; trial < 40; ++trial) {
      SCOPED_TRACE(::testing::Message() << "object " << object);
      CompareRun(r, kernel, shape, ht, lines, row);
      if (HasFatalFailure()) return;
    }
  }
}


// The one-bit diffusion kernels on the ordered dither's vector front: the
// hybrid kernel diffuses ink 1 on it, the fast colour diffusion kernels
// inks 0, 1 and 3. Rows of runs through one object per path, each with its
// own error lines, planes and lines compared after every run.
struct OneBitCase {
  RowKernel kernel;
  uint32_t path;
};

class VectorOneBitDiffusionTest : public ::testing::TestWithParam<OneBitCase> {};

TEST_P(VectorOneBitDiffusionTest, WritesThePortableBytesAndErrors) {
  const OneBitCase c = GetParam();
  if (DetectVectorPath() < c.path) GTEST_SKIP() << "this processor lacks the path";
  constexpr uint32_t kWidth = 700;
  Lcg r{11 + c.path};
  HalftoneContext ht[2]{};
  Tables tables;
  std::vector<int16_t> dotCurve(256);
  std::vector<uint16_t> toneCurve(256);
  std::vector<int32_t> lines[2][3];
  for (int object = 0; object < 24; ++object) {
    Randomise(r, ht[0], tables);
    for (uint32_t p = 0; p < 256; ++p) {
      dotCurve[p] = static_cast<int16_t>(r.Below(600) - 100);
      toneCurve[p] = static_cast<uint16_t>(200 + r.Below(400));
    }
    // Limits T0 > T1 > T2 > T3 spread over the levels, so every filter runs.
    const uint32_t t3 = r.Below(8);
    const uint32_t t2 = t3 + 1 + r.Below(16), t1 = t2 + 1 + r.Below(40);
    ht[0].dotParams[0] = t1 + 1 + r.Below(120);
    ht[0].dotParams[1] = t1;
    ht[0].dotParams[2] = t2;
    ht[0].dotParams[3] = t3;
    ht[0].blocks[kDotCurveBlock].pointer = dotCurve.data();
    ht[0].blocks[kToneCurveBlock].pointer = toneCurve.data();
    ht[0].params.maxPixels = kWidth;
    // Colour mode 2 leaves plane 3 to the caller (the hybrid kernel
    // ignores the mode).
    ht[0].params.colorMode = object % 2 == 0 ? 4 : 2;
    ht[1] = ht[0];
    for (int path = 0; path < 2; ++path) {
      ht[path].vectorPath = path == 0 ? kPortablePath : c.path;
      for (int k = 0; k < 3; ++k) {
        lines[path][k].assign(kWidth + 2 * kErrorMargin + 8, 0);
        ht[path].blocks[kErrorLineBlock + k].pointer = lines[path][k].data();
      }
    }
    uint32_t row = r.Next() >> 20;
    // Ink bytes reach the hybrid kernel's odd pixel; the fast kernels
    // read colours whatever the format.
    const RunShape shape{kWidth, 1, 8, false, true};
    for (int trial = 0; trial < 40; ++trial) {
      SCOPED_TRACE(::testing::Message() << "object " << object);
      CompareRun(r, c.kernel, shape, ht, lines, row);
      if (HasFatalFailure()) return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kernels, VectorOneBitDiffusionTest,
    ::testing::Values(OneBitCase{DiffuseColourRowHybrid, kAvx2Path},
                      OneBitCase{DiffuseColourRowHybrid, kAvx512Path},
                      OneBitCase{DiffuseColourRowFast, kAvx2Path},
                      OneBitCase{DiffuseColourRowFast, kAvx512Path},
                      OneBitCase{DiffuseColourRowFast1440, kAvx2Path},
                      OneBitCase{DiffuseColourRowFast1440, kAvx512Path}));

}  // namespace
}  // namespace inkdot
