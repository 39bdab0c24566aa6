// SPDX-License-Identifier: Apache-2.0
// The AVX-512 path of DotDitherColourRow: the AVX2 block loop, with the
// palette decisions of a block's 32 pixels and four inks made 64 at a time.
// The palette's totals and limits are cut into byte tables read by byte
// permutes (VBMI) instead of eight plain loads a vector, the 16-bit
// comparisons are made on bytes, and the two-bit codes are packed by
// multiply-adds. It writes the bytes of the portable loop.
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/vector_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include "halftone/kernels/avx2_lanes.h"
#include "halftone/kernels/avx512_byte_table.h"

#define INKDOT_DOT_CALL INKDOT_AVX512_CALL
#include "halftone/kernels/multi_size/dot_dither_blocks.h"

// GCC 12's AVX-512 headers narrow registers through a deliberately
// undefined operand, which its own uninitialised-use warnings then report.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

namespace inkdot {

namespace {

using dot_dither::Block;

// Lane i of a half-block vector is ink i / 16 of pixel i % 16 of the
// half's sixteen pixels; a 16-bit pixel mask times this is the mask of
// those pixels in all four inks.
constexpr uint64_t kEveryInk = 0x0001000100010001u;

// The 64 bytes at[i] = f(i), for the permutes' index vectors.
template <class F>
INKDOT_AVX512 inline __m512i IndexVector(F f) {
  alignas(64) uint8_t at[64];
  for (int i = 0; i < 64; ++i) at[i] = static_cast<uint8_t>(f(i));
  return _mm512_load_si512(at);
}

// Which of the words of a and b (16-bit, unsigned) is greater, compared as
// their high and low bytes: lanes are bytes here, one per ink and pixel.
INKDOT_AVX512 inline __mmask64 Greater(__m512i aLow, __m512i aHigh, __m512i bLow, __m512i bHigh) {
  const __mmask64 equalHigh = _mm512_cmpeq_epu8_mask(aHigh, bHigh);
  return _mm512_cmpgt_epu8_mask(aHigh, bHigh) |
         _mm512_mask_cmpgt_epu8_mask(equalHigh, aLow, bLow);
}

// The codes of a block's pixels from the palette's byte tables.
class PaletteCodes {
 public:
  INKDOT_AVX512 explicit PaletteCodes(const HalftoneContext *ht) {
    alignas(64) uint8_t bytes[kTables][256];
    uint32_t highest = 0;
    for (int p = 0; p < 256; ++p) {
      const uint32_t total = ht->paletteTotals[p], limits = ht->paletteLimits[p];
      highest = total > highest ? total : highest;
      const uint32_t total16 = total > 0xFFFF ? 0xFFFF : total;
      bytes[kTotalLow][p] = static_cast<uint8_t>(total16);
      bytes[kTotalHigh][p] = static_cast<uint8_t>(total16 >> 8);
      bytes[kTotalOver][p] = total > 0xFFFF ? 0xFF : 0;
      bytes[kLargeLow][p] = static_cast<uint8_t>(limits);
      bytes[kLargeHigh][p] = static_cast<uint8_t>(limits >> 8);
      bytes[kMediumLow][p] = static_cast<uint8_t>(limits >> 16);
      bytes[kMediumHigh][p] = static_cast<uint8_t>(limits >> 24);
    }
    fits_ = highest <= 0xFFFF0000u;
    for (int t = 0; t < kTables; ++t) {
      for (int q = 0; q < 4; ++q) tables_[t].part[q] = _mm512_load_si512(bytes[t] + 64 * q);
    }
    // Ink k of pixel j sits in byte 2k of the pixel's 64-bit smoothed word.
    levelAt_ = IndexVector([](int i) { return 8 * (i % 16) + 2 * (i / 16); });
    // From (a, b), 32 words each: a's low bytes, b's low bytes, a's high
    // bytes, b's high bytes, of pixels 0..15 (or 16..31) of the block.
    for (int half = 0; half < 2; ++half) {
      thresholdAt_[half] = IndexVector([half](int i) {
        return 64 * (i / 16 % 2) + 2 * (16 * half + i % 16) + i / 32;
      });
    }
  }

  // Whether the palette suits the byte tables: totals are kept to 16 bits
  // and a flag for anything above, exact against thresholds up to 0xFFFF.
  // A threshold below zero (the matrix above its top) never dots unless a
  // total reaches 2^32 minus that threshold's distance, so totals near the
  // top of 32 bits are left to the lane path.
  bool fits() const { return fits_; }

  INKDOT_AVX512 void operator()(const Block &block, uint32_t, uint32_t top,
                                uint32_t bytes[8]) const {
    // The thresholds as words: t1 for ink 0, top - t1 for ink 1,
    // top - t2 for ink 2, t2 for ink 3. Above the top, top - t is below
    // zero and the pixel takes no dot of that ink.
    const __m512i vtop = _mm512_set1_epi16(static_cast<int16_t>(top));
    const __m512i t1 = Words(block.t1), t2 = Words(block.t2);
    const __m512i w1 = _mm512_sub_epi16(vtop, t1), w2 = _mm512_sub_epi16(vtop, t2);
    const uint32_t below1 = _mm512_cmpgt_epu16_mask(t1, vtop);
    const uint32_t below2 = _mm512_cmpgt_epu16_mask(t2, vtop);
    const uint32_t printed = ~block.white;
    const __m512i zero = _mm512_setzero_si512();
    const uint32_t halfBlack =
        static_cast<uint32_t>(_mm512_cmplt_epi32_mask(Load(block.halfBlack), zero)) |
        static_cast<uint32_t>(_mm512_cmplt_epi32_mask(Load(block.halfBlack + 16), zero)) << 16;
    __m128i packed[2];
    for (int half = 0; half < 2; ++half) {
      const __m512i levels = _mm512_permutex2var_epi8(Load(block.y + 16 * half), levelAt_,
                                                      Load(block.y + 16 * half + 8));
      // [t1 low, w1 low, t1 high, w1 high] and [w2 low, t2 low, w2 high,
      // t2 high], sixteen pixels each, into the inks' order.
      const __m512i a = _mm512_permutex2var_epi8(t1, thresholdAt_[half], w1);
      const __m512i b = _mm512_permutex2var_epi8(w2, thresholdAt_[half], t2);
      const __m512i low = _mm512_inserti64x4(a, _mm512_castsi512_si256(b), 1);
      const __m512i high = _mm512_shuffle_i64x2(a, b, 0xEE);
      const auto sixteen = [half](uint32_t bits) {
        return static_cast<uint64_t>((bits >> 16 * half) & 0xFFFF);
      };
      const __mmask64 below = sixteen(below1) << 16 | sixteen(below2) << 32;
      const __m512i over = tables_[kTotalOver](levels);
      const __mmask64 any =
          (_mm512_test_epi8_mask(over, over) |
           Greater(tables_[kTotalLow](levels), tables_[kTotalHigh](levels), low, high)) &
          ~below & sixteen(printed) * kEveryInk;
      const __mmask64 large =
          Greater(tables_[kLargeLow](levels), tables_[kLargeHigh](levels), low, high) & any;
      const __mmask64 medium =
          Greater(tables_[kMediumLow](levels), tables_[kMediumHigh](levels), low, high) & any;
      // 1 + (medium | large) + large where any dot is printed; a printed
      // half-black pair a small dot of ink 3.
      const __m512i one = _mm512_set1_epi8(1);
      __m512i code = _mm512_maskz_mov_epi8(any, one);
      code = _mm512_mask_add_epi8(code, medium | large, code, one);
      code = _mm512_mask_add_epi8(code, large, code, one);
      code = _mm512_mask_mov_epi8(code, (sixteen(halfBlack & printed)) << 48, one);
      // Four codes to a byte, the first on top: 64 c0 + 16 c1 + 4 c2 + c3.
      const __m512i pairs = _mm512_maddubs_epi16(code, _mm512_set1_epi16(0x0104));
      const __m512i quads = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00010010));
      packed[half] = _mm512_cvtepi32_epi8(quads);  // byte 4k + q: ink k's byte q
    }
    // Byte k of bytes[q] is ink k's byte q.
    const __m256i both = _mm256_set_m128i(packed[1], packed[0]);
    const __m256i transposed = _mm256_shuffle_epi8(
        both, _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8, 12,
                               1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(bytes), transposed);
  }

 private:
  enum { kTotalLow, kTotalHigh, kTotalOver, kLargeLow, kLargeHigh, kMediumLow, kMediumHigh, kTables };

  // The block's arrays are aligned for 256-bit loads only.
  INKDOT_AVX512 static __m512i Load(const void *at) { return _mm512_loadu_si512(at); }
  // The 32 thresholds of a block as words.
  INKDOT_AVX512 static __m512i Words(const uint32_t *t) {
    return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi32_epi16(Load(t))),
                              _mm512_cvtepi32_epi16(Load(t + 16)), 1);
  }

  ByteTable tables_[kTables];
  __m512i levelAt_, thresholdAt_[2];
  bool fits_ = false;
};

// The palette's tables are made once a run.
INKDOT_AVX512_CALL void RunWithTables(const HalftoneContext *ht, const RowRun &run) {
  const PaletteCodes codes(ht);
  if (codes.fits()) {
    dot_dither::RunRow(ht, run, codes);
  } else {
    DotDitherColourRowAvx2(ht, run);
  }
}

}  // namespace

void DotDitherColourRowAvx512(const HalftoneContext *ht, const RowRun &run) {
  RunWithTables(ht, run);
}

}  // namespace inkdot

#else

namespace inkdot {

// Never reached: DetectVectorPath chooses the portable path here.
void DotDitherColourRowAvx512(const HalftoneContext *, const RowRun &) {}

}  // namespace inkdot

#endif
