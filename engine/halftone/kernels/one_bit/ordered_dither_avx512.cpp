// SPDX-License-Identifier: Apache-2.0
// The AVX-512 path of DitherColourRow's pair loop: the AVX2 body, with the
// 256-entry grid and level tables held in registers and read by byte
// permutes (VBMI), 64 entries per lookup, instead of by plain loads.
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/vector_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include "halftone/kernels/avx2_lanes.h"
#include "halftone/kernels/avx512_byte_table.h"
#include "halftone/kernels/block_planes.h"
#include "halftone/kernels/one_bit/colour_diffusion_avx2.h"
#include "halftone/kernels/one_bit/colour_front_end.h"
#include "halftone/kernels/one_bit/colour_inks.h"
#include "halftone/kernels/one_bit/hybrid_ink.h"
#include "halftone/kernels/run_checks.h"
#include "halftone/kernels/smoothing_pair.h"

// GCC 12's AVX-512 headers narrow registers through a deliberately
// undefined operand, which its own uninitialised-use warning then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define INKDOT_PAIRS INKDOT_AVX512
#define INKDOT_PAIRS_CALL INKDOT_AVX512_CALL

namespace inkdot {

namespace {

// The even and odd bytes of a 512-byte table (pairs of bytes, or 16-bit
// values) as two tables of 256.
INKDOT_PAIRS inline void Split(const uint8_t *pairs, ByteTable &even, ByteTable &odd) {
  __m512i evenAt, oddAt;
  alignas(64) uint8_t at[2][64];
  for (int i = 0; i < 64; ++i) {
    at[0][i] = static_cast<uint8_t>(2 * i);
    at[1][i] = static_cast<uint8_t>(2 * i + 1);
  }
  evenAt = _mm512_load_si512(at[0]);
  oddAt = _mm512_load_si512(at[1]);
  for (int q = 0; q < 4; ++q) {
    const __m512i a = _mm512_loadu_si512(pairs + 128 * q);
    const __m512i b = _mm512_loadu_si512(pairs + 128 * q + 64);
    even.part[q] = _mm512_permutex2var_epi8(a, evenAt, b);
    odd.part[q] = _mm512_permutex2var_epi8(a, oddAt, b);
  }
}

class Tables {
 public:
  INKDOT_PAIRS explicit Tables(const HalftoneContext *ht) {
    Split(GridIndex(ht), index_, weight_);
    Split(LevelScaleBytes(ht), scaleLow_, scaleHigh_);
  }

  // Bytes 0..2 of each lane are looked up at once: the lower grid point and
  // its weight, plus one where the weight is at most split.
  template <int kStep>
  INKDOT_PAIRS void Grid(const uint8_t *, __m256i colours, __m256i split,
                         __m256i abc[3]) const {
    const __m512i v = _mm512_castsi256_si512(colours);
    const __m256i index = _mm512_castsi512_si256(index_(v));
    const __m256i weight = _mm512_castsi512_si256(weight_(v));
    const __m256i splits = _mm256_shuffle_epi8(
        split, _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 0, 0, 0, 0,
                                4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12));
    const __m256i point = _mm256_mask_add_epi8(index, _mm256_cmple_epu8_mask(weight, splits),
                                               index, _mm256_set1_epi8(1));
    for (int k = 0; k < 3; ++k) abc[k] = Byte(point, k);
  }

  // The four inks' levels of eight pixels (smoothed inks 0, 1 and 3 from
  // bytes 0, 2 and 4 of block.y, ink 2 from byte 2 of the colour-table
  // entry) gathered into 16-bit words, ink k's in 128-bit lane k, each
  // level in both bytes of its word; the words then take the low and high
  // bytes of their scaled values.
  template <class Block>
  INKDOT_PAIRS void Levels(const Block &block, uint32_t j, __m256i d[4]) const {
    const __m512i y = _mm512_loadu_si512(block.y + j);
    const __m512i entries = _mm512_castsi256_si512(
        _mm256_load_si256(reinterpret_cast<const __m256i *>(block.entries + j)));
    const __m512i levels = _mm512_permutex2var_epi8(y, LevelBytes(), entries);
    const __m512i scaled = _mm512_mask_blend_epi8(0xAAAAAAAAAAAAAAAAu, scaleLow_(levels),
                                                  scaleHigh_(levels));
    d[0] = _mm256_cvtepu16_epi32(_mm512_castsi512_si128(scaled));
    d[1] = _mm256_cvtepu16_epi32(_mm512_extracti32x4_epi32(scaled, 1));
    d[2] = _mm256_cvtepu16_epi32(_mm512_extracti32x4_epi32(scaled, 2));
    d[3] = _mm256_cvtepu16_epi32(_mm512_extracti32x4_epi32(scaled, 3));
  }

 private:
  // Where byte 2w and 2w + 1 of Levels' words come from: word 8k + p is ink
  // k of pixel p; y's bytes are 0..63, the entries' 64 up.
  INKDOT_PAIRS static __m512i LevelBytes() {
    return _mm512_set_epi8(
        60, 60, 52, 52, 44, 44, 36, 36, 28, 28, 20, 20, 12, 12, 4, 4,              // ink 3
        94, 94, 90, 90, 86, 86, 82, 82, 78, 78, 74, 74, 70, 70, 66, 66,            // ink 2
        58, 58, 50, 50, 42, 42, 34, 34, 26, 26, 18, 18, 10, 10, 2, 2,              // ink 1
        56, 56, 48, 48, 40, 40, 32, 32, 24, 24, 16, 16, 8, 8, 0, 0);               // ink 0
  }

  ByteTable index_, weight_, scaleLow_, scaleHigh_;
};

#include "halftone/kernels/one_bit/ordered_dither_pairs.h"

// The diffused inks' window moves on by the front's block.
static_assert(kBlock == DiffusedColourLanes<SquareFilters>::kBlockPixels);

}  // namespace

void DitherColourPairsAvx512(const HalftoneContext *ht, const RowRun &run, uint32_t pairs) {
  AllPairs(ht, run, pairs, nullptr);
}

void DiffuseColourHybridPairsAvx512(const HalftoneContext *ht, const RowRun &run, uint32_t pairs,
                                   HybridInk &ink) {
  AllPairs(ht, run, pairs, &ink);
}

void DiffuseColourFastAvx512(const HalftoneContext *ht, const RowRun &run,
                             DiffusedColourInks<SquareFilters, false> &inks) {
  DiffusedColourLanes<SquareFilters> lanes(inks, run.startX, run.count);
  AllDiffusedBlocks(ht, run, lanes);
  lanes.Finish();
}

void DiffuseColourFastAvx512(const HalftoneContext *ht, const RowRun &run,
                             DiffusedColourInks<WideColourFilters, false> &inks) {
  DiffusedColourLanes<WideColourFilters> lanes(inks, run.startX, run.count);
  AllDiffusedBlocks(ht, run, lanes);
  lanes.Finish();
}

}  // namespace inkdot

#else

namespace inkdot {

// Never reached: DetectVectorPath chooses the portable path here.
void DitherColourPairsAvx512(const HalftoneContext *, const RowRun &, uint32_t) {}
void DiffuseColourHybridPairsAvx512(const HalftoneContext *, const RowRun &, uint32_t, HybridInk &) {}
void DiffuseColourFastAvx512(const HalftoneContext *, const RowRun &,
                             DiffusedColourInks<SquareFilters, false> &) {}
void DiffuseColourFastAvx512(const HalftoneContext *, const RowRun &,
                             DiffusedColourInks<WideColourFilters, false> &) {}

}  // namespace inkdot

#endif
