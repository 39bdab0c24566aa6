// SPDX-License-Identifier: Apache-2.0
// The error line's cells past either end of the line are never read by a
// pixel; they gather a share of every row's error at the edge, so on a tall
// page with extreme tables they can run past 32 bits. Their adds wrap (the
// sanitizer build would report a signed overflow here otherwise).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/vector_kernels.h"
#include "support/grey_diffusion_tables.h"

namespace inkdot {
namespace {

constexpr uint32_t kWidth = 64;
constexpr int32_t kLevel = 100;
constexpr int32_t kFull = std::numeric_limits<int32_t>::max();

// A line of kWidth cells whose cells past both ends are full, as after
// many rows of positive error; no level ever takes a dot.
struct Edges : GreyDiffusionTables {
  explicit Edges(uint32_t vectorPath) : GreyDiffusionTables(kWidth, 0) {
    ht.vectorPath = vectorPath;
    for (uint32_t v = 0; v < 256; ++v) {
      levels[v] = static_cast<int16_t>(255 - v);
      dotCurve[v] = 32000;
      tone[v] = 255;
    }
    for (uint16_t &m : matrix) m = 0x80;
    // Limits of 0: every level is above T0.
    for (uint32_t k = 0; k < 4; ++k) ht.dotParams[k] = 0;
    for (uint32_t i = 0; i < kErrorMargin; ++i) line[i] = line[line.size() - 1 - i] = kFull;
  }
};

struct Kernel {
  const char *name;
  RowKernel kernel;
};

TEST(ErrorLineEdges, CellsPastTheLineWrapAsTheyGatherEachRowsError) {
  const Kernel kernels[] = {{"square", DiffuseMonoRow},
                            {"1440 x 720", DiffuseMonoRow1440},
                            {"720 x 1440", DiffuseMonoRowTall}};
  for (const Kernel &k : kernels) {
    for (const uint32_t path : {uint32_t{kPortablePath}, DetectVectorPath()}) {
      SCOPED_TRACE(::testing::Message() << k.name << ", path " << path);
      Edges edges(path);
      // Every pixel at level 100 without a dot: its error is 100 plus what it
      // gathered, a positive share for every cell its filter reaches.
      const std::vector<uint8_t> src(kWidth, static_cast<uint8_t>(255 - kLevel));
      std::vector<uint8_t> out(kWidth / 8, 0xA5);
      const RowRun run{src.data(), out.data(), kWidth / 8, 0, kWidth, 0, 0, 0, 0, 0};
      ASSERT_EQ(k.kernel(&edges.ht, run), kOk);
      EXPECT_EQ(out, std::vector<uint8_t>(kWidth / 8, 0));
      uint32_t wrapped = 0;
      for (size_t i = 0; i < edges.line.size(); ++i) {
        if (i >= kErrorMargin && i < kErrorMargin + kWidth) continue;
        const int32_t cell = edges.line[i];
        if (cell == kFull) continue;
        // Full plus a positive share comes round to the most negative values:
        // the share is what the cell went past full by.
        EXPECT_LT(cell, std::numeric_limits<int32_t>::min() + (1 << 20)) << "cell " << i;
        ++wrapped;
      }
      EXPECT_GT(wrapped, 2u);
    }
  }
}

}  // namespace
}  // namespace inkdot
