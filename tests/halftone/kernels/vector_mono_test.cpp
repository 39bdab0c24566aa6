// SPDX-License-Identifier: Apache-2.0
// The grey diffusion's register-window path (1440 x 720 and square)
// against the portable loop: planes and the whole error line (margins too) after every
// run, over error lines far from zero (negative cells truncate toward
// zero), limits that pick every filter, white stretches, the
// three source steps (one byte a pixel, a byte for two pixels, the larger
// of two bytes), runs that start inside a byte, at any column, and end at
// every place in a group of eight or at the line's last column.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/one_bit/mono_window_rows.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/vector_kernels.h"
#include "support/grey_diffusion_tables.h"
#include "support/lcg.h"

namespace inkdot {
namespace {

// Cells far from zero; kHuge anywhere in 32 bits, so that cells wrap as
// the shares come in.
enum class Cells { kZero, kLarge, kHuge };

struct Scene {
  const char *name;
  RowKernel kernel;
  int32_t magnification;
  Cells cells;
  uint32_t whiteIn64;  // pixels starting a white stretch, in 64
};

// One object's tables drawn at random.
struct Object : GreyDiffusionTables {
  static constexpr uint32_t kWidth = 300;

  Object(Lcg &r, const Scene &scene) : GreyDiffusionTables(kWidth, scene.magnification) {
    for (uint16_t &m : matrix) m = static_cast<uint16_t>(r.Next());
    for (uint32_t v = 0; v < 256; ++v) {
      // Byte 255 is white; a few other levels are 0 too.
      levels[v] = static_cast<int16_t>(v == 255 || r.Below(40) == 0 ? 0 : 255 - v);
      dotCurve[v] = static_cast<int16_t>(r.Below(300) - 20);
      tone[v] = static_cast<uint16_t>(200 + r.Below(400));
    }
    // Limits that pick every filter: none, all, spread and random.
    const uint32_t picks[4][4] = {{0, 0, 0, 0}, {255, 255, 255, 255}, {200, 60, 20, 8},
                                  {32, 9, 4, 2}};
    const uint32_t pick = r.Below(5);
    for (int k = 0; k < 4; ++k) ht.dotParams[k] = pick < 4 ? picks[pick][k] : r.Below(256);
    for (int32_t &cell : line) {
      cell = scene.cells == Cells::kZero    ? 0
             : scene.cells == Cells::kLarge ? static_cast<int32_t>(r.Below(200001)) - 100000
                                            : static_cast<int32_t>(r.Next());
    }
  }
};

// Greys that wander through every level, with white stretches.
std::vector<uint8_t> Pixels(Lcg &r, uint32_t count, uint32_t whiteIn64) {
  std::vector<uint8_t> src(count);
  uint32_t white = 0, grey = r.Next();
  for (uint8_t &v : src) {
    if (white == 0 && r.Below(64) < whiteIn64) white = 1 + r.Below(20);
    grey += r.Below(4) == 0 ? r.Next() : r.Below(7);
    v = white > 0 ? 255 : static_cast<uint8_t>(grey);
    white -= white > 0 ? 1 : 0;
  }
  return src;
}

void PrintTo(const Scene &scene, std::ostream *os) { *os << scene.name; }

class VectorMonoTest : public ::testing::TestWithParam<Scene> {};

TEST_P(VectorMonoTest, LeavesThePortableBytesAndErrorLine) {
  if (DetectVectorPath() < kAvx2Path) GTEST_SKIP() << "no AVX2 on this processor";
  const Scene scene = GetParam();
  Lcg r{static_cast<uint64_t>(scene.cells) * 977 + scene.whiteIn64 * 31 +
        static_cast<uint64_t>(scene.magnification + 1)};
  for (int object = 0; object < 16; ++object) {
    const uint64_t seed = r.Next();
    Lcg r0{seed}, r1{seed};
    Object portable(r0, scene), vector(r1, scene);
    portable.ht.vectorPath = kPortablePath;
    vector.ht.vectorPath = kAvx2Path;
    for (uint32_t row = 0; row < 24; ++row) {
      const uint32_t count = row % 3 == 0 ? Object::kWidth : 16 + 8 * r.Below(30) + row % 8;
      const uint32_t startX =
          row % 3 == 2 ? Object::kWidth - count : r.Below(Object::kWidth - count + 1);
      const uint32_t firstBit = r.Below(8);
      const uint32_t sourceBytes =
          scene.magnification == 1 ? (count + 1) / 2 : scene.magnification == -1 ? 2 * count : count;
      const std::vector<uint8_t> src = Pixels(r, sourceBytes, scene.whiteIn64);
      // A plane with bytes before and after the run's, all set.
      const uint32_t stride = (firstBit + count + 7) / 8 + 2;
      std::vector<uint8_t> out[2] = {std::vector<uint8_t>(stride, 0xA5),
                                     std::vector<uint8_t>(stride, 0xA5)};
      Object *objects[2] = {&portable, &vector};
      for (int path = 0; path < 2; ++path) {
        RowRun run{src.data(), out[path].data() + 1, stride - 2, firstBit, count, startX, 0, row,
                   0, 0};
        ASSERT_EQ(scene.kernel(&objects[path]->ht, run), kOk);
      }
      const auto where = ::testing::Message() << "object " << object << ", row " << row << ", "
                                              << count << " pixels from " << startX << ", bit "
                                              << firstBit;
      ASSERT_EQ(out[1], out[0]) << where;
      ASSERT_EQ(vector.line, portable.line) << where;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, VectorMonoTest,
    ::testing::Values(Scene{"Wide", DiffuseMonoRow1440, 0, Cells::kLarge, 2},
                      Scene{"WideWhite", DiffuseMonoRow1440, 0, Cells::kZero, 8},
                      Scene{"WideHuge", DiffuseMonoRow1440, 0, Cells::kHuge, 0},
                      Scene{"WideDoubled", DiffuseMonoRow1440, 1, Cells::kLarge, 2},
                      Scene{"WideHalved", DiffuseMonoRow1440, -1, Cells::kHuge, 1},
                      Scene{"WideHalvedWhite", DiffuseMonoRow1440, -1, Cells::kZero, 8},
                      Scene{"Square", DiffuseMonoRow, 0, Cells::kLarge, 2},
                      Scene{"SquareWhite", DiffuseMonoRow, 0, Cells::kZero, 8},
                      Scene{"SquareHuge", DiffuseMonoRow, 0, Cells::kHuge, 0},
                      Scene{"SquareDoubled", DiffuseMonoRow, 1, Cells::kLarge, 2},
                      Scene{"SquareHalved", DiffuseMonoRow, -1, Cells::kHuge, 1}),
    [](const ::testing::TestParamInfo<Scene> &scene) { return scene.param.name; });

// The wide filters read as rows: a sum of the error and the halved error
// times fixed weights, within the reach the window is sized for; the
// widest filter halves its error.
TEST(VectorMonoTest, WideFiltersReadAsRowsWithinTheWindow) {
  const auto &rows = mono_window::kRows<WideFilters>;
  EXPECT_TRUE(rows.linear);
  int halving = 0, near = 0;
  for (uint32_t key = 0; key < mono_window::kKeys; ++key) {
    halving += rows.span[key] == mono_window::kFullHalf ? 1 : 0;
    near += rows.span[key] == mono_window::kNear4 ? 1 : 0;
  }
  EXPECT_GT(halving, 0);
  EXPECT_GT(near, 0);
}

// The square filters too, all within their reach (else the window path
// would never be taken and the square scenes above would test nothing):
// none halves its error, the heavy ones stay within four cells and the
// widest needs the whole window.
TEST(VectorMonoTest, SquareFiltersReadAsRowsWithinTheWindow) {
  const auto &rows = mono_window::kRows<SquareFilters>;
  EXPECT_TRUE(rows.linear);
  int near = 0, full = 0;
  for (uint32_t key = 0; key < mono_window::kKeys; ++key) {
    EXPECT_NE(rows.span[key], mono_window::kFullHalf) << "key " << key;
    near += rows.span[key] == mono_window::kNear4 ? 1 : 0;
    full += rows.span[key] == mono_window::kFull ? 1 : 0;
  }
  EXPECT_GT(near, 0);
  EXPECT_GT(full, 0);
}

}  // namespace
}  // namespace inkdot
