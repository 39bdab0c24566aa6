/* SPDX-License-Identifier: Apache-2.0 */
// The vector paths of the ordered colour dither kernels: which one the
// processor runs, and when a run may take it.
#pragma once

#include <cstdint>

#include "halftone/kernels/row_kernels.h"

namespace inkdot {

enum VectorPath : uint32_t {
  kPortablePath = 0,
  kAvx2Path = 1,
  kAvx512Path = 2,  // AVX2 plus AVX-512 F, BW, VL and VBMI
};

// Asks the processor (and, through the saved-state mask, the operating
// system) which of the vector paths can run, the widest first. Done once per halftone object; the
// answer is kept in the object.
uint32_t DetectVectorPath();

// Whether a run of `bitsPerPixel`-bit output suits the vector path: long
// enough to pay for its set-up, and with planes far enough apart that
// writing a plane's bytes in blocks cannot reach another plane's bytes.
inline bool FitsVectorPath(const HalftoneContext *ht, const RowRun &run,
                           uint32_t firstBits, uint32_t bitsPerPixel) {
  const uint64_t bytes = (firstBits + uint64_t{run.count} * bitsPerPixel + 7) / 8;
  return ht->vectorPath != kPortablePath && run.count >= 16 && run.planeStride >= bytes;
}

// The AVX2 paths, only for a run that fits. The one-bit kernel writes the
// even number of pixels of the pair loop, the two-bit one the whole run
// (firstBit 0..3 only).
void DitherColorPairsAvx2(const HalftoneContext *ht, const RowRun &run, uint32_t pairs);
// The same with AVX-512, only where kAvx512Path was detected.
void DitherColorPairsAvx512(const HalftoneContext *ht, const RowRun &run, uint32_t pairs);
void DotDitherColorRowAvx2(const HalftoneContext *ht, const RowRun &run);

}  // namespace inkdot
