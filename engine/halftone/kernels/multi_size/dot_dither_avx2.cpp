// SPDX-License-Identifier: Apache-2.0
// The AVX2 path of DotDitherColourRow, for runs starting at a pixel field
// (firstBit 0..3): the block loop of dot_dither_blocks.h, the palette
// decisions eight lanes at a time. It writes the bytes of the portable
// loop.
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/vector_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include "halftone/kernels/avx2_lanes.h"

#define INKDOT_DOT_CALL INKDOT_AVX2_CALL
#include "halftone/kernels/multi_size/dot_dither_blocks.h"

namespace inkdot {

namespace {

using dot_dither::Block;
using dot_dither::Ink;

// ScreenedDot, lane by lane: no dot unless the total exceeds t, then large,
// medium or small by the limits. All comparisons unsigned.
INKDOT_AVX2 inline __m256i Screened(const uint32_t *totals, const uint32_t *limits,
                                    const uint8_t *levels, __m256i t) {
  const __m256i total = LookupBytes<8>(totals, levels);
  const __m256i limit = LookupBytes<8>(limits, levels);
  const __m256i any = GreaterU(total, t);
  const __m256i large = GreaterU(_mm256_and_si256(limit, _mm256_set1_epi32(0xFFFF)), t);
  const __m256i medium = GreaterU(_mm256_srli_epi32(limit, 16), t);
  // 1 + (medium | large) + large, as the masks are -1 where they hold.
  const __m256i code = _mm256_sub_epi32(
      _mm256_sub_epi32(_mm256_set1_epi32(1), _mm256_or_si256(medium, large)), large);
  return _mm256_and_si256(code, any);
}


// The codes of the block's pixels, eight lanes at a time, the palette's
// limits read by plain loads.
struct LaneCodes {
  const HalftoneContext *ht;

  INKDOT_AVX2 void operator()(const Block &block, uint32_t pixels, uint32_t top,
                              uint32_t bytes[8]) const {
    const __m256i vtop = _mm256_set1_epi32(static_cast<int>(top));
    const __m256i fieldShift = _mm256_setr_epi32(6, 4, 2, 0, 6, 4, 2, 0);
    const uint32_t *totals = ht->paletteTotals, *limits = ht->paletteLimits;
    for (uint32_t j = 0; j < pixels; j += 8) {
      if (((block.white >> j) & 0xFF) == 0xFF) continue;
      const __m256i t1 = _mm256_load_si256(reinterpret_cast<const __m256i *>(block.t1 + j));
      const __m256i t2 = _mm256_load_si256(reinterpret_cast<const __m256i *>(block.t2 + j));
      const __m256i halfBlack =
          _mm256_load_si256(reinterpret_cast<const __m256i *>(block.halfBlack + j));
      const __m256i c0 = Screened(totals, limits, Ink(block, j, 0), t1);
      const __m256i c1 = Screened(totals, limits, Ink(block, j, 1), _mm256_sub_epi32(vtop, t1));
      const __m256i c2 = Screened(totals, limits, Ink(block, j, 2), _mm256_sub_epi32(vtop, t2));
      // A half-black pair gets a small dot of ink 3 whatever its level.
      const __m256i c3 = _mm256_blendv_epi8(Screened(totals, limits, Ink(block, j, 3), t2),
                                            _mm256_set1_epi32(kSmallDot), halfBlack);
      const __m256i printed = _mm256_xor_si256(LaneMask((block.white >> j) & 0xFF),
                                               _mm256_set1_epi32(-1));
      __m256i codes = _mm256_or_si256(
          _mm256_or_si256(c0, _mm256_slli_epi32(c1, 8)),
          _mm256_or_si256(_mm256_slli_epi32(c2, 16), _mm256_slli_epi32(c3, 24)));
      codes = _mm256_sllv_epi32(_mm256_and_si256(codes, printed), fieldShift);
      // Four pixels' fields of every plane into one word.
      codes = _mm256_or_si256(codes, _mm256_shuffle_epi32(codes, 0xB1));
      codes = _mm256_or_si256(codes, _mm256_shuffle_epi32(codes, 0x4E));
      bytes[j / 4] = static_cast<uint32_t>(_mm256_cvtsi256_si32(codes));
      bytes[j / 4 + 1] = static_cast<uint32_t>(_mm256_extract_epi32(codes, 4));
    }
  }
};

}  // namespace

void DotDitherColourRowAvx2(const HalftoneContext *ht, const RowRun &run) {
  dot_dither::RunRow(ht, run, LaneCodes{ht});
}

}  // namespace inkdot

#else

namespace inkdot {

// Never reached: DetectVectorPath chooses the portable path here.
void DotDitherColourRowAvx2(const HalftoneContext *, const RowRun &) {}

}  // namespace inkdot

#endif
