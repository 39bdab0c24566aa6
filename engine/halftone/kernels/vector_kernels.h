/* SPDX-License-Identifier: Apache-2.0 */
// The vector variants of the row kernels, every one declared here, and the
// test of whether a run may take them. Each lives beside its portable
// kernel, in a file named after it with an _avx2 or _avx512 suffix; on a
// processor without the instructions it is an empty function never called.
#pragma once

#include <cstdint>

#include "frame/cpu_features.h"
#include "halftone/kernels/row_kernels.h"

namespace inkdot {

// Whether a run of `bitsPerPixel`-bit output suits the vector path: long
// enough to pay for its set-up, and with planes far enough apart that
// writing a plane's bytes in blocks cannot reach another plane's bytes.
inline bool FitsVectorPath(const HalftoneContext *ht, const RowRun &run,
                           uint32_t firstBits, uint32_t bitsPerPixel) {
  const uint64_t bytes = (firstBits + uint64_t{run.count} * bitsPerPixel + 7) / 8;
  return ht->vectorPath != kPortablePath && run.count >= 16 && run.planeStride >= bytes;
}

// One bit per pixel: the even number of pixels of the ordered colour
// dither's pair loop, with AVX2, or with AVX-512 where kAvx512Path was
// detected.
void DitherColourPairsAvx2(const HalftoneContext *ht, const RowRun &run, uint32_t pairs);
void DitherColourPairsAvx512(const HalftoneContext *ht, const RowRun &run, uint32_t pairs);

// The same pair loop for the one-bit hybrid kernel, ink 1 diffused by `ink`.
class HybridInk;
void DiffuseColourHybridPairsAvx2(const HalftoneContext *ht, const RowRun &run, uint32_t pairs,
                           HybridInk &ink);
void DiffuseColourHybridPairsAvx512(const HalftoneContext *ht, const RowRun &run, uint32_t pairs,
                             HybridInk &ink);

// The fast one-bit colour diffusion kernels, the whole run: the front
// (grid, colour table, smoothing of all four inks, ink 2's dither) in
// blocks, the diffused inks pixel by pixel through `inks`.
struct SquareFilters;
struct WideColourFilters;
template <class Filters, bool kInk1NoiseTerm>
class DiffusedColourInks;
void DiffuseColourFastAvx2(const HalftoneContext *ht, const RowRun &run,
                           DiffusedColourInks<SquareFilters, false> &inks);
void DiffuseColourFastAvx2(const HalftoneContext *ht, const RowRun &run,
                           DiffusedColourInks<WideColourFilters, false> &inks);
void DiffuseColourFastAvx512(const HalftoneContext *ht, const RowRun &run,
                             DiffusedColourInks<SquareFilters, false> &inks);
void DiffuseColourFastAvx512(const HalftoneContext *ht, const RowRun &run,
                             DiffusedColourInks<WideColourFilters, false> &inks);

// Two-bit codes, the whole run (firstBit 0..3 only), with AVX2, or with
// AVX-512 where kAvx512Path was detected.
void DotDitherColourRowAvx2(const HalftoneContext *ht, const RowRun &run);
void DotDitherColourRowAvx512(const HalftoneContext *ht, const RowRun &run);

// The one-bit grey diffusion of the member whose portable filters are
// Filters (at 1440 x 720, WideColourFilters; at equal resolutions,
// SquareFilters) with its error line in a register window (AVX2), for the
// first whole groups of eight pixels of a run that fits: the bytes and
// line of the portable loop. Returns where that loop goes on: pixels done,
// the carry meant for the next pixel's cell, the source byte and plane
// byte it reads next, and the bits of that byte already filled.
struct MonoResume {
  uint32_t pixels;
  int32_t carry;
  const uint8_t *src;
  uint8_t *dst;
  uint32_t firstBit;
};
struct SquareFilters;
struct WideColourFilters;
template <class Filters>
MonoResume DiffuseMonoWindowAvx2(const HalftoneContext *ht, const RowRun &run, int32_t *line);
template <>
MonoResume DiffuseMonoWindowAvx2<WideColourFilters>(const HalftoneContext *ht, const RowRun &run,
                                                    int32_t *line);
template <>
MonoResume DiffuseMonoWindowAvx2<SquareFilters>(const HalftoneContext *ht, const RowRun &run,
                                                int32_t *line);

namespace hybrid {
// The colour-table path of a hybrid member with the front (matrix reads,
// grid, colour table, smoothing, matrix-placed dots) computed eight pixels
// at a time, and the diffusion one pixel at a time: the bytes and error
// lines of the portable loop. Only for runs that fit, firstBit 0..3.
template <class Member>
void HybridColourRunAvx2(HalftoneContext *ht, const RowRun &run, int32_t *const lines[3]);
}  // namespace hybrid

}  // namespace inkdot
