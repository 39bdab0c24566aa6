// SPDX-License-Identifier: Apache-2.0
// The window diffusion of the hybrid colour kernels' AVX2 path against the
// portable loop, where it differs most from it: error lines that start far
// from zero (negative cells truncate toward zero, large ones wrap), inks
// that stop and start diffusing inside a group of eight pixels, white
// stretches, runs that end at every place in a group, rows that reach both
// ends of the line, matrix rows of several widths, and every filter of
// each member.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/multi_size/hybrid_members.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/vector_kernels.h"
#include "support/lcg.h"

namespace inkdot {
namespace {

enum class Cells { kZero, kLarge, kExtreme };

struct Scene {
  const char *name;
  RowKernel kernel;
  Cells cells;
  uint32_t noSmallIn4;  // palette entries without a small amount, in four
  uint32_t whiteIn64;   // pixels starting a white stretch, in 64
  uint32_t matrixWidth = 64;
};

// The tables of one object, owned here; the context points into them.
struct Object {
  static constexpr uint32_t kWidth = 300;
  HalftoneContext ht{};
  std::vector<uint32_t> colours = std::vector<uint32_t>(32768);
  std::vector<uint8_t> grid = std::vector<uint8_t>(512);
  std::vector<uint16_t> scale = std::vector<uint16_t>(256);
  std::vector<uint16_t> matrix;
  std::vector<int16_t> curve = std::vector<int16_t>(256);
  std::vector<int32_t> lines[3];

  Object(Lcg &r, const Scene &scene) {
    ht.matrixWidth = scene.matrixWidth;
    ht.matrixHeight = 8;
    ht.matrixSize = 16384;
    matrix.resize(scene.matrixWidth * 8);
    for (uint16_t &m : matrix) m = static_cast<uint16_t>(r.Below(16384));
    for (uint32_t &c : colours) c = r.Next() * 2654435761u;
    for (uint32_t v = 0; v < 256; ++v) {
      grid[2 * v] = static_cast<uint8_t>(v * 31 / 255);
      grid[2 * v + 1] = static_cast<uint8_t>(r.Next());
      scale[v] = static_cast<uint16_t>(v * 64);
    }
    for (uint32_t p = 0; p < 256; ++p) {
      const uint32_t small = r.Below(4) < scene.noSmallIn4 ? 0 : 1 + r.Below(255);
      ht.paletteAmounts[p] = small | (small + r.Below(300)) << 16;
      ht.paletteLimits[p] = r.Below(3) == 0 ? r.Below(16384) : r.Below(2000) << 16 | r.Below(800);
      // Now and then a total beyond any matrix value, past 2^31 too.
      ht.paletteTotals[p] = r.Below(16) != 0 ? r.Below(20000) : r.Below(2) << 31 | r.Next();
      curve[p] = static_cast<int16_t>(r.Below(800) - 200);
    }
    // Limits that pick every filter: none, small, large and random.
    const uint32_t picks[4][3] = {{0, 0, 0}, {255, 255, 255}, {200, 60, 10}, {40, 20, 5}};
    const uint32_t pick = r.Below(5);
    for (int k = 0; k < 3; ++k) ht.dotParams[k] = pick < 4 ? picks[pick][k] : r.Below(256);
    ht.blocks[kColourTableBlock].pointer = colours.data();
    ht.blocks[kGridIndexBlock].pointer = grid.data();
    ht.blocks[kLevelScaleBlock].pointer = scale.data();
    ht.blocks[kThresholdMatrixBlock].pointer = matrix.data();
    ht.blocks[kDotCurveBlock].pointer = curve.data();
    ht.params.inputFormat = 2;
    ht.params.maxPixels = kWidth;
    for (int k = 0; k < 3; ++k) {
      lines[k].resize(kWidth + 2 * kErrorMargin);
      for (int32_t &cell : lines[k]) {
        cell = scene.cells == Cells::kZero    ? 0
               : scene.cells == Cells::kLarge ? static_cast<int32_t>(r.Below(200001)) - 100000
                                              : static_cast<int32_t>(r.Next() << 1 ^ r.Next());
      }
      ht.blocks[kErrorLineBlock + k].pointer = lines[k].data();
    }
  }
};

std::vector<uint8_t> Pixels(Lcg &r, uint32_t count, uint32_t whiteIn64) {
  std::vector<uint8_t> src(4 * count);
  uint32_t white = 0, flat = 0, level = r.Next();
  for (uint32_t i = 0; i < count; ++i) {
    if (white == 0 && r.Below(64) < whiteIn64) white = 1 + r.Below(12);
    // Stretches of one colour, as in flat areas of a page.
    if (flat == 0 && r.Below(16) == 0) flat = 8 + r.Below(24);
    if (flat > 0) {
      --flat;
    } else {
      level += r.Below(4) == 0 ? r.Next() : r.Below(5) * 0x010101u;
    }
    const uint32_t px = white > 0 ? 0xFFFFFFu : level;
    white -= white > 0 ? 1 : 0;
    for (int k = 0; k < 4; ++k) src[4 * i + k] = static_cast<uint8_t>(px >> 8 * k);
  }
  return src;
}

class VectorHybridWindowTest : public ::testing::TestWithParam<Scene> {};

TEST_P(VectorHybridWindowTest, LeavesThePortableBytesAndErrorLines) {
  if (DetectVectorPath() < kAvx2Path) GTEST_SKIP() << "no AVX2 on this processor";
  const Scene scene = GetParam();
  Lcg r{static_cast<uint64_t>(scene.cells) * 977 + scene.noSmallIn4 * 31 + scene.whiteIn64};
  for (int object = 0; object < 12; ++object) {
    const uint64_t seed = r.Next();
    Lcg r0{seed}, r1{seed};
    Object portable(r0, scene), vector(r1, scene);
    portable.ht.vectorPath = kPortablePath;
    vector.ht.vectorPath = kAvx2Path;
    for (uint32_t row = 0; row < 24; ++row) {
      // Runs that end at each place in a group of eight, whole rows, and
      // runs that reach the line's last column.
      const uint32_t count = row % 3 == 0 ? Object::kWidth : 16 + 8 * r.Below(30) + row % 8;
      const uint32_t startX = row % 3 == 2 ? Object::kWidth - count : r.Below(Object::kWidth - count + 1);
      const std::vector<uint8_t> src = Pixels(r, count, scene.whiteIn64);
      const uint32_t stride = (2 * count + 7) / 8 + 1;
      std::vector<uint8_t> out[2] = {std::vector<uint8_t>(4 * stride), std::vector<uint8_t>(4 * stride)};
      Object *objects[2] = {&portable, &vector};
      for (int path = 0; path < 2; ++path) {
        RowRun run{src.data(), out[path].data(), stride, 0, count, startX, 0, row, 0, 0};
        ASSERT_EQ(scene.kernel(&objects[path]->ht, run), kOk);
      }
      const auto where = ::testing::Message() << "object " << object << ", row " << row << ", "
                                              << count << " pixels from " << startX;
      ASSERT_EQ(out[1], out[0]) << where;
      for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(vector.lines[k], portable.lines[k]) << where << ", line " << k;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, VectorHybridWindowTest,
    ::testing::Values(Scene{"SquareLarge", HybridColourRow, Cells::kLarge, 1, 2},
                      Scene{"SquareIdle", HybridColourRow, Cells::kZero, 3, 6},
                      Scene{"WideLarge", HybridColourRowWide, Cells::kLarge, 1, 2},
                      Scene{"WideExtreme", HybridColourRowWide, Cells::kExtreme, 1, 0},
                      Scene{"WideIdle", HybridColourRowWide, Cells::kZero, 3, 6},
                      Scene{"TallLarge", HybridColourRowTall, Cells::kLarge, 1, 2},
                      Scene{"TallExtreme", HybridColourRowTall, Cells::kExtreme, 2, 4},
                      Scene{"FineLarge", HybridColourRow2880, Cells::kLarge, 1, 2},
                      // Matrix rows narrower than a block of 32 pixels, and
                      // wider than the kernel copies.
                      Scene{"WideNarrowMatrix", HybridColourRowWide, Cells::kLarge, 2, 2, 16},
                      Scene{"SquareWideMatrix", HybridColourRow, Cells::kLarge, 2, 2, 1024}),
    [](const ::testing::TestParamInfo<Scene> &scene) { return scene.param.name; });

// The window holds the cells kLead (12) before and 19 after a group's
// first pixel: every tap of every window member's filters must fall inside,
// from the group's first pixel to its last.
template <class Member>
void ExpectTapsInReach() {
  for (int f = 0; f < Member::kFilters; ++f) {
    for (bool odd : {false, true}) {
      int32_t cells[64] = {};
      Member::SpreadBy(f, cells + 32, 1, 0, odd);
      for (int k = -32; k < 32; ++k) {
        if (cells[32 + k] == 0) continue;
        EXPECT_GE(k, -Member::kReachLeft) << "filter " << f;
        EXPECT_LE(k, Member::kReachRight) << "filter " << f;
      }
    }
  }
  EXPECT_LE(Member::kReachLeft, 12);
  EXPECT_LE(Member::kReachRight + 7, 19);
}

TEST(VectorHybridWindowTest, FiltersStayWithinTheirReach) {
  ExpectTapsInReach<hybrid::Square>();
  ExpectTapsInReach<hybrid::Wide>();
  ExpectTapsInReach<hybrid::Tall>();
}

}  // namespace
}  // namespace inkdot
