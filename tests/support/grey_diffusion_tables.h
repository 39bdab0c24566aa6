/* SPDX-License-Identifier: Apache-2.0 */
// The tables of one grey diffusion object for kernel tests, owned here; the
// context points into them. Tests fill the tables and the limits.
#pragma once

#include <cstdint>
#include <vector>

#include "halftone/halftone_context.h"
#include "halftone/kernels/error_lines.h"

namespace inkdot {

struct GreyDiffusionTables {
  HalftoneContext ht{};
  std::vector<int16_t> levels = std::vector<int16_t>(256);
  std::vector<int16_t> dotCurve = std::vector<int16_t>(256);
  std::vector<uint16_t> tone = std::vector<uint16_t>(256);
  std::vector<uint16_t> matrix = std::vector<uint16_t>(64 * 8);  // 64 x 8
  std::vector<int32_t> line;

  GreyDiffusionTables(uint32_t width, int32_t magnification)
      : line(width + 2 * kErrorMargin) {
    ht.params.magnification = magnification;
    ht.params.maxPixels = width;
    ht.matrixWidth = 64;
    ht.matrixHeight = 8;
    ht.matrixSize = 65536;
    ht.blocks[kColourTableBlock].pointer = levels.data();
    ht.blocks[kDotCurveBlock].pointer = dotCurve.data();
    ht.blocks[kToneCurveBlock].pointer = tone.data();
    ht.blocks[kThresholdMatrixBlock].pointer = matrix.data();
    ht.blocks[kErrorLineBlock].pointer = line.data();
    ht.errorLineCount = 1;
  }
  GreyDiffusionTables(const GreyDiffusionTables &) = delete;
  GreyDiffusionTables &operator=(const GreyDiffusionTables &) = delete;
};

}  // namespace inkdot
