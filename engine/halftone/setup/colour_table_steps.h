/* SPDX-License-Identifier: Apache-2.0 */
// The halftone colour table and the grid steps.
//
// For colour input the kernels never interpolate: they read one 32-bit
// entry (four ink bytes) of a regular grid and choose between neighbouring
// grid points by a dithered comparison against the grid steps.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"

namespace inkdot {

inline constexpr int kMaxGridPoints = 36;

// For each input value v: the grid cell that holds it (the grid point at or
// below v) and v's place inside the cell in 128ths.
struct CellTable {
  uint32_t cell[256];
  uint32_t fraction[256];  // 0..128
};

// True when `count` positions start at 0, rise strictly and end at 255.
bool GridPositionsValid(const uint8_t *positions, int count);

// Cells of a valid grid of `count` positions. 255 always falls in the last
// cell with fraction 128, so a cell's upper corner is never past the grid.
void BuildCellTable(const uint8_t *positions, int count, CellTable *cells);

// Resamples the source table that `source` describes (gridSize1 points per
// axis at nodes1, channelCount bytes per point, first axis slowest) onto
// the target grid of `target` (gridSize1..3 points at nodes1..3), by
// tetrahedral interpolation. Writes one u32 per target point, third axis
// fastest; byte c is channel c, and channels the source lacks are 0. The
// source grid must be valid.
void ResampleColourTable(const CmLut &source, const CmLut &target,
                        uint32_t *table);

// The 256 (grid index, weight) byte pairs of the grid steps: the point at
// or below v and its weight, 255 when v lies on it. Pairs that an invalid
// grid leaves without a point stay as they were.
void BuildGridSteps(const uint8_t *positions, int count, uint8_t *pairs);

}  // namespace inkdot
