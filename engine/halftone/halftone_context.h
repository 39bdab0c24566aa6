/* SPDX-License-Identifier: Apache-2.0 */
// The halftone object: the page parameters, a copy of the CmLut, the
// tables built from the halftone resources and the state that ties
// consecutive band calls together.
#pragma once

#include <cstdint>

#include "frame/memory_blocks.h"
#include "frame/result_codes.h"

namespace inkdot {

// Uses of the twenty MemoryBlock records; 12 to 19 are never used.
enum HalftoneBlock : int {
  kColourTableBlock = 0,  // colour: 3-D table (u32 per grid point); grey: u16 curve
  kErrorLineBlock = 1,   // 1..4: one zero-filled error line per plane
  kThresholdMatrixBlock = 5,  // matrixSize u16 thresholds, row by row
  kLevelScaleBlock = 6,       // u16[256], carved from block 5's allocation
  kToneCurveBlock = 7,        // u16[256], head of a shared allocation
  kDotCurveBlock = 8,         // i16[256], in the tone curve's allocation
  kGridIndexBlock = 9,        // 256 (grid index, weight) byte pairs, likewise
  kDotPaletteBlock = 10,      // 256 (small, medium, large) byte triplets
  kRowBufferBlock = 11,       // maxPixels x bytes per pixel, when replicating
};

struct RowRun;

}  // namespace inkdot

struct HalftoneContext;

namespace inkdot {

// A row kernel: converts one run of pixels of one row into dot data.
using RowKernel = ResultCode (*)(HalftoneContext *ht, const RowRun &run);

}  // namespace inkdot

// The halftone object. The host's handle is its address.
struct HalftoneContext {
  HalftoneParams params;
  uint16_t resourceIds[16];  // at most 15 ids, then 0xFFFF
  CmLut cmLut;               // copy taken at creation, grid rewritten later
  inkdot::MemoryBlock blocks[inkdot::kMemoryBlockCount];
  uint32_t errorLineCount;   // 0, 1 or 4
  uint32_t lastRow;          // row of the previous band call
  uint32_t lastEndX;         // startX + count of the previous diffusing call
  uint32_t phase;            // HalftoneSetResource calls so far
  uintptr_t selfHandle;
  uint32_t matrixWidth;      // a power of two
  uint32_t matrixHeight;
  uint32_t matrixSize;
  uint32_t dotParams[4];
  uint32_t paletteLimits[256];   // low: large level; high: medium + large
  uint32_t paletteAmounts[256];  // low: small; high: small + medium + large
  uint32_t paletteTotals[256];   // small + medium + large levels
  uint32_t replication;          // 1 = no replication
  uint32_t altSelector;
  // 1 once the object has told the host that nothing more is wanted
  // (*nextId = -1): every later HalftoneSetResource call is refused.
  uint32_t setupEnded;
  // 1 once a call of the set-up (or HalftoneNew's parameter check) failed.
  uint32_t setupFailed;
  // 1 once the last phase the page needs has succeeded after no failure:
  // only then do the band calls have every table they read.
  uint32_t setupComplete;
  // The vector path of the kernels that have one (a VectorPath), chosen
  // from the processor when the object is created.
  uint32_t vectorPath;
  // The row kernel that the parameters select, chosen when the set-up
  // completes; null while it is incomplete or when no kernel fits (512).
  inkdot::RowKernel rowKernel;
};

namespace inkdot {

ResultCode NewHalftoneContext(const HalftoneParams *params, const CmLut *cmLut,
                              uint32_t reserved, int32_t *firstResourceId,
                              HalftoneContext **handle);
ResultCode DeleteHalftoneContext(HalftoneContext *ht);

}  // namespace inkdot
