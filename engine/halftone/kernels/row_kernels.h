/* SPDX-License-Identifier: Apache-2.0 */
// The row kernels: each converts one run of pixels of one row into dot data.
//
// Every kernel takes the object and the run's arguments as the host passed
// them to Halftone (with `src` pointing into rowBuffer after row
// preparation). Family A kernels write two-bit dot codes, family B kernels
// one bit per pixel; ink k always goes to plane k, at dst + k * planeStride.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"

namespace inkdot {

// The eleven arguments of one band call, less the handle.
struct RowRun {
  const uint8_t *src;    // source pixel of the run's first output pixel
  uint8_t *dst;          // plane 0's byte holding the run's first pixel
  uint32_t planeStride;  // bytes from one plane to the next
  uint32_t firstBit;     // pixel positions of the first byte already filled
  uint32_t count;        // output pixels in the run
  uint32_t startX;       // column of the run's first pixel
  uint32_t spareArg;     // never read
  uint32_t row;          // row number
  uint32_t reservedA;    // must be 0
  uint32_t reservedB;    // must be 0 where a kernel checks it
};

// Family A: multi-size dots, two-bit codes.
ResultCode DotDitherColourRow(HalftoneContext *ht, const RowRun &run);
ResultCode DotDitherInkRow(HalftoneContext *ht, const RowRun &run);
ResultCode DotDitherMonoRow(HalftoneContext *ht, const RowRun &run);
ResultCode DotDitherMonoRowTall(HalftoneContext *ht, const RowRun &run);
ResultCode DotDiffuseMonoRow(HalftoneContext *ht, const RowRun &run);
ResultCode DotDiffuseMonoRow1440(HalftoneContext *ht, const RowRun &run);
ResultCode DotDiffuseMonoRowTall(HalftoneContext *ht, const RowRun &run);
ResultCode DotDiffuseMonoRow2880(HalftoneContext *ht, const RowRun &run);
ResultCode HybridColourRow(HalftoneContext *ht, const RowRun &run);
ResultCode HybridColourRowWide(HalftoneContext *ht, const RowRun &run);
ResultCode HybridColourRow2880(HalftoneContext *ht, const RowRun &run);
ResultCode HybridColourRowTall(HalftoneContext *ht, const RowRun &run);

// Family B: one bit per pixel.
ResultCode DitherMonoRow(HalftoneContext *ht, const RowRun &run);
ResultCode DitherColourRowCorners(HalftoneContext *ht, const RowRun &run);
ResultCode DitherColourRow(HalftoneContext *ht, const RowRun &run);
ResultCode DiffuseMonoRow(HalftoneContext *ht, const RowRun &run);
ResultCode DiffuseMonoRow1440(HalftoneContext *ht, const RowRun &run);
ResultCode DiffuseMonoRowTall(HalftoneContext *ht, const RowRun &run);
ResultCode DiffuseColourRow(HalftoneContext *ht, const RowRun &run);
ResultCode DiffuseColourRowFast(HalftoneContext *ht, const RowRun &run);
ResultCode DiffuseColourRow1440(HalftoneContext *ht, const RowRun &run);
ResultCode DiffuseColourRowFast1440(HalftoneContext *ht, const RowRun &run);
ResultCode DiffuseColourRowTall(HalftoneContext *ht, const RowRun &run);
ResultCode DiffuseColourRowHybrid(HalftoneContext *ht, const RowRun &run);

}  // namespace inkdot
