// SPDX-License-Identifier: Apache-2.0
// The last pixel of an odd run of the one-bit colour kernels is dithered
// alone: inks 0 and 3 paired on the matrix value, inks 1 and 2 on its
// mirror, no smoothing and no error. The ordered dither and the hybrid
// kernel split the grid cell at the matrix value; the diffusion kernels
// split it in the middle (128) and drop inks below level 32. A run of one
// pixel is all odd pixel. (The fast diffusion kernels diffuse every pixel.)
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/vector_kernels.h"

namespace inkdot {
namespace {

struct OddPixelCase {
  const char *name;
  RowKernel kernel;
  bool diffusion;  // split at 128 and the level floor
};

class OddPixelTest : public ::testing::TestWithParam<OddPixelCase> {
 protected:
  OddPixelTest() {
    ht_.matrixWidth = ht_.matrixHeight = 1;
    ht_.matrixSize = 65536;  // top of the threshold range 65535
    for (uint32_t v = 0; v < 256; ++v) {
      scale_[v] = static_cast<uint16_t>(256 * v);
      // Every channel value sits on grid point 5 with weight 100: point 6
      // wherever the split reaches 100.
      grid_[2 * v] = 5;
      grid_[2 * v + 1] = 100;
      dotCurve_[v] = 128;
      toneCurve_[v] = 255;
    }
    colours_[(6 * 32 + 6) * 32 + 6] = 255;  // ink 0 full at point (6, 6, 6) alone
    ht_.blocks[kColourTableBlock].pointer = colours_.data();
    ht_.blocks[kGridIndexBlock].pointer = grid_.data();
    ht_.blocks[kLevelScaleBlock].pointer = scale_.data();
    ht_.blocks[kThresholdMatrixBlock].pointer = &matrix_;
    ht_.blocks[kDotCurveBlock].pointer = dotCurve_.data();
    ht_.blocks[kToneCurveBlock].pointer = toneCurve_.data();
    for (int k = 0; k < 3; ++k) {
      lines_[k].assign(8 + 2 * kErrorMargin, 0);
      ht_.blocks[kErrorLineBlock + k].pointer = lines_[k].data();
    }
    ht_.params.maxPixels = 4;
    ht_.params.colorMode = 4;
    ht_.vectorPath = DetectVectorPath();
  }

  // The four planes' first bits after a one-pixel run of `px` over matrix
  // value m, bit k for plane k.
  uint32_t Dots(const std::vector<uint8_t> &px, uint32_t inputFormat, uint16_t m) {
    matrix_ = m;
    ht_.params.inputFormat = inputFormat;
    std::vector<uint8_t> planes(4, 0);
    const RowRun run{px.data(), planes.data(), 1, 0, 1, 0, 0, row_++, 0, 0};
    EXPECT_EQ(GetParam().kernel(&ht_, run), kOk);
    uint32_t dots = 0;
    for (int k = 0; k < 4; ++k) dots |= (planes[k] >> 7 & 1u) << k;
    return dots;
  }

  HalftoneContext ht_{};
  std::vector<uint32_t> colours_ = std::vector<uint32_t>(32768, 0);
  std::vector<uint8_t> grid_ = std::vector<uint8_t>(512);
  std::vector<uint16_t> scale_ = std::vector<uint16_t>(256);
  std::vector<int16_t> dotCurve_ = std::vector<int16_t>(256);
  std::vector<uint16_t> toneCurve_ = std::vector<uint16_t>(256);
  std::vector<int32_t> lines_[3];
  uint16_t matrix_ = 0;
  uint32_t row_ = 0;
};

TEST_P(OddPixelTest, DitheredAloneByItsKernelsRules) {
  const bool diffusion = GetParam().diffusion;
  // Ink levels as bytes: ink 0 alone prints where its scaled level passes
  // the matrix value (ink 3 leaves the gap), unless the floor drops it.
  EXPECT_EQ(Dots({20, 0, 0, 0}, 4, 0), diffusion ? 0u : 1u);
  EXPECT_EQ(Dots({40, 0, 0, 0}, 4, 0), 1u);
  EXPECT_EQ(Dots({40, 0, 0, 0}, 4, 40 * 256), 0u);
  // Ink 3 prints on its own level; inks 1 and 2 are paired on the mirror
  // of the matrix value: at m = 0 only a full level passes 65535 - m.
  EXPECT_EQ(Dots({0, 0, 0, 200}, 4, 100), 8u);
  EXPECT_EQ(Dots({0, 255, 0, 0}, 4, 1000), 2u);
  EXPECT_EQ(Dots({0, 200, 0, 0}, 4, 0), 0u);
  // Colours through the grid: at m = 0 only the middle split reaches the
  // weight of 100, and point 6 is ink 0's; at m = 200 both splits do.
  EXPECT_EQ(Dots({10, 10, 10, 0}, 2, 0), diffusion ? 1u : 0u);
  EXPECT_EQ(Dots({10, 10, 10, 0}, 2, 200), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Kernels, OddPixelTest,
    ::testing::Values(OddPixelCase{"DitherColourRow", DitherColourRow, false},
                      OddPixelCase{"DiffuseColourRowHybrid", DiffuseColourRowHybrid, false},
                      OddPixelCase{"DiffuseColourRow", DiffuseColourRow, true},
                      OddPixelCase{"DiffuseColourRow1440", DiffuseColourRow1440, true},
                      OddPixelCase{"DiffuseColourRowTall", DiffuseColourRowTall, true}),
    [](const auto &param) { return std::string(param.param.name); });

}  // namespace
}  // namespace inkdot
