/* SPDX-License-Identifier: Apache-2.0 */
// Eight-lane helpers shared by the AVX2 kernels. Include only from a file
// whose functions are all compiled for AVX2 (INKDOT_AVX2): nothing here may
// be called on a processor without it.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "halftone/kernels/lane_constants.h"

#define INKDOT_AVX2 __attribute__((target("avx2"), always_inline))
#define INKDOT_AVX2_CALL __attribute__((target("avx2")))

namespace inkdot {

// The lanes of constant c, read as an operand (see lane_constants.h).
INKDOT_AVX2 inline __m256i Lanes(LaneConstant c) {
  return _mm256_load_si256(reinterpret_cast<const __m256i *>(kLaneConstants.lanes[c]));
}

// Table lookups, lane by lane. Eight plain loads beat the gather
// instruction where it is microcoded (on the AMD processor measured, a gather
// took twice as long). The results go into the lanes one by one: a vector
// load of eight fresh scalar stores would wait for them to reach the cache.
template <class T>
INKDOT_AVX2 inline __m256i Lookup(const T *table, __m256i i) {
  alignas(32) uint32_t at[8];
  _mm256_store_si256(reinterpret_cast<__m256i *>(at), i);
  return _mm256_setr_epi32(table[at[0]], table[at[1]], table[at[2]], table[at[3]],
                           table[at[4]], table[at[5]], table[at[6]], table[at[7]]);
}

// The same for eight byte indexes kStride bytes apart in memory.
template <int kStride, class T>
INKDOT_AVX2 inline __m256i LookupBytes(const T *table, const uint8_t *levels) {
  return _mm256_setr_epi32(table[levels[0]], table[levels[kStride]],
                           table[levels[2 * kStride]], table[levels[3 * kStride]],
                           table[levels[4 * kStride]], table[levels[5 * kStride]],
                           table[levels[6 * kStride]], table[levels[7 * kStride]]);
}

// The gridIndex pair of each lane's channel value, read as one little-endian
// 16-bit word: the index in the low byte, the weight in the high byte.
INKDOT_AVX2 inline __m256i GridPairs(const uint8_t *gridIndex, __m256i v) {
  alignas(32) uint32_t at[8];
  _mm256_store_si256(reinterpret_cast<__m256i *>(at), v);
  auto pair = [&](int k) {
    uint16_t p;
    std::memcpy(&p, gridIndex + 2 * at[k], 2);
    return p;
  };
  return _mm256_setr_epi32(pair(0), pair(1), pair(2), pair(3), pair(4), pair(5), pair(6),
                           pair(7));
}

// The gridIndex pairs of channel k of the group's pixels, read from the
// source bytes at `px` (one source pixel per lane, or with kStep 1 one per
// two lanes).
template <int kStep>
INKDOT_AVX2 inline __m256i ChannelPairs(const uint8_t *gridIndex, const uint8_t *px) {
  auto pair = [&](int i) {
    uint16_t p;
    std::memcpy(&p, gridIndex + 2 * px[4 * i], 2);
    return p;
  };
  if constexpr (kStep == 1) {
    const __m128i four = _mm_setr_epi32(pair(0), pair(1), pair(2), pair(3));
    return _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(four),
                                       _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3));
  } else {
    return _mm256_setr_epi32(pair(0), pair(1), pair(2), pair(3), pair(4), pair(5), pair(6),
                             pair(7));
  }
}

// Byte k of each lane. Its mask stays a constant the compiler places
// itself: the one-bit dither's AVX-512 front keeps it in a register, and
// read from the table (Lanes) it ran 1.5 % slower.
INKDOT_AVX2 inline __m256i Byte(__m256i v, int k) {
  return _mm256_and_si256(_mm256_srli_epi32(v, 8 * k), _mm256_set1_epi32(0xFF));
}

// Unsigned a > b.
INKDOT_AVX2 inline __m256i GreaterU(__m256i a, __m256i b) {
  const __m256i bias = _mm256_set1_epi32(INT32_MIN);
  return _mm256_cmpgt_epi32(_mm256_xor_si256(a, bias), _mm256_xor_si256(b, bias));
}

// The lanes of the set bits of `bits` (bit j: lane j) all ones.
INKDOT_AVX2 inline __m256i LaneMask(uint32_t bits) {
  const __m256i lane = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
  return _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(static_cast<int>(bits)), lane),
                            lane);
}

// Matrix values of columns x .. x + n - 1 (n a multiple of 8) of a matrix
// row, as 32-bit values. Eight columns at a time by one load unless they
// wrap round the row's end.
INKDOT_AVX2 inline void MatrixWindow(const uint16_t *row, uint32_t columnMask, uint32_t x,
                                     uint32_t n, uint32_t *out) {
  for (uint32_t j = 0; j < n; j += 8) {
    const uint32_t column = (x + j) & columnMask;
    if (column + 8 <= columnMask + 1 && column + 8 > column) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + column));
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + j), _mm256_cvtepu16_epi32(v));
    } else {
      for (uint32_t i = j; i < j + 8; ++i) out[i] = row[(x + i) & columnMask];
    }
  }
}

// The 4-byte source pixels of eight output pixels, from the group's first
// source byte, for one way of stepping (kStep 0: a pixel per output pixel,
// 1: each pixel twice, 2: pairs averaged as in a 2:1 reduction, byte by
// byte with rounding up). `valid` (1..8) output pixels are in the run;
// the lanes past them read zeros. With kStep 2 a pair of which exactly one
// pixel is black (bytes 0..2 all 0) becomes black and is marked in
// `halfBlack`.
template <int kStep>
INKDOT_AVX2 inline __m256i SourceLanes(const uint8_t *src, uint32_t valid, __m256i *halfBlack) {
  alignas(32) uint8_t tail[64] = {};
  if (valid < 8) {
    const uint32_t bytes = kStep == 0 ? 4 * valid : kStep == 1 ? 4 * ((valid + 1) / 2) : 8 * valid;
    std::memcpy(tail, src, bytes);
    src = tail;
  }
  if constexpr (kStep == 0) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src));
  } else if constexpr (kStep == 1) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
    return _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(four),
                                       _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3));
  } else {
    const __m256 low = _mm256_loadu_ps(reinterpret_cast<const float *>(src));
    const __m256 high = _mm256_loadu_ps(reinterpret_cast<const float *>(src + 32));
    // Even source pixels are the pairs' first, odd ones their second.
    const __m256i a = _mm256_permute4x64_epi64(
        _mm256_castps_si256(_mm256_shuffle_ps(low, high, 0x88)), 0xD8);
    const __m256i b = _mm256_permute4x64_epi64(
        _mm256_castps_si256(_mm256_shuffle_ps(low, high, 0xDD)), 0xD8);
    const __m256i rgb = _mm256_set1_epi32(0xFFFFFF);
    const __m256i zero = _mm256_setzero_si256();
    *halfBlack = _mm256_xor_si256(_mm256_cmpeq_epi32(_mm256_and_si256(a, rgb), zero),
                                  _mm256_cmpeq_epi32(_mm256_and_si256(b, rgb), zero));
    return _mm256_andnot_si256(*halfBlack, _mm256_avg_epu8(a, b));
  }
}

// Four lanes of values below 65536 per pixel as one 64-bit word per pixel,
// lane k in bits 16k and up, stored for the eight pixels at `out`.
INKDOT_AVX2 inline void StoreWords(__m256i x0, __m256i x1, __m256i x2, __m256i x3,
                                   uint64_t *out) {
  const __m256i x01 = _mm256_or_si256(x0, _mm256_slli_epi32(x1, 16));
  const __m256i x23 = _mm256_or_si256(x2, _mm256_slli_epi32(x3, 16));
  const __m256i low = _mm256_unpacklo_epi32(x01, x23);   // pixels 0, 1, 4, 5
  const __m256i high = _mm256_unpackhi_epi32(x01, x23);  // pixels 2, 3, 6, 7
  _mm256_store_si256(reinterpret_cast<__m256i *>(out), _mm256_permute2x128_si256(low, high, 0x20));
  _mm256_store_si256(reinterpret_cast<__m256i *>(out + 4),
                     _mm256_permute2x128_si256(low, high, 0x31));
}

// Lanes whose bytes 0..2 are all 255.
INKDOT_AVX2 inline __m256i WhiteLanes(__m256i colours) {
  const __m256i rgb = Lanes(kLanesRgb);
  return _mm256_cmpeq_epi32(_mm256_and_si256(colours, rgb), rgb);
}

// Eight words whose byte k belongs to plane k, as four words of eight
// bytes, plane k's in planes[k] with byte q from word q.
INKDOT_AVX2 inline void Transpose(const uint32_t bytes[8], uint64_t planes[4]) {
  const __m256i words = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(bytes));
  const __m256i byPlane = _mm256_shuffle_epi8(
      words, _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8,
                              12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15));
  _mm256_storeu_si256(
      reinterpret_cast<__m256i *>(planes),
      _mm256_permutevar8x32_epi32(byPlane, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)));
}

// Lane j of `v` moved to lane j + s, lanes below s taken from `fill`.
template <int kShift>
INKDOT_AVX2 inline __m256i LanesUp(__m256i v, __m256i fill) {
  const __m256i from = _mm256_setr_epi32(0 - kShift, 1 - kShift, 2 - kShift, 3 - kShift,
                                         4 - kShift, 5 - kShift, 6 - kShift, 7 - kShift);
  const __m256i moved = _mm256_permutevar8x32_epi32(v, _mm256_and_si256(from, _mm256_set1_epi32(7)));
  return _mm256_blend_epi32(moved, fill, (1 << kShift) - 1);
}

// The key of the last non-white pixel before each lane: `previous` (of the
// pixels before the group) where none of the group's is.
INKDOT_AVX2 inline __m256i PreviousKeys(__m256i keys, __m256i white, __m256i previous) {
  __m256i before = LanesUp<1>(keys, previous);
  __m256i gap = LanesUp<1>(white, _mm256_setzero_si256());
  if (_mm256_testz_si256(gap, gap)) return before;
  // Fill each gap from the left, doubling the reach each step.
  before = _mm256_blendv_epi8(before, LanesUp<1>(before, previous), gap);
  gap = _mm256_and_si256(gap, LanesUp<1>(gap, _mm256_setzero_si256()));
  before = _mm256_blendv_epi8(before, LanesUp<2>(before, previous), gap);
  gap = _mm256_and_si256(gap, LanesUp<2>(gap, _mm256_setzero_si256()));
  return _mm256_blendv_epi8(before, LanesUp<4>(before, previous), gap);
}

// The source bytes of the group of up to eight pixels from pixel j (a
// source pixel serves two output pixels when kStep is 1, a pair of source
// pixels one when kStep is 2): in place, or, for the run's last group, a
// copy in `tail` (32 zero bytes) so that whole lanes can be read. The 2:1
// reduction reads only the valid lanes itself and needs no copy.
template <int kStep>
INKDOT_AVX2 inline const uint8_t *GroupSource(const uint8_t *src, uint32_t j,
                                              uint32_t valid, uint8_t *tail) {
  const uint8_t *px = src + (kStep == 2 ? 8 : kStep == 1 ? 2 : 4) * j;
  if (kStep == 2 || valid == 8) return px;
  std::memcpy(tail, px, kStep == 1 ? 4 * ((valid + 1) / 2) : 4 * valid);
  return tail;
}

// The colour-table entries of the grid points (i0, i1, i2), 32 steps each.
INKDOT_AVX2 inline __m256i GridEntries(const uint32_t *table, __m256i i0, __m256i i1,
                                       __m256i i2) {
  return Lookup(table, _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(i0, 10),
                                                         _mm256_slli_epi32(i1, 5)),
                                        i2));
}

// Smoothing's neighbour test for the two-bit kernels, lane by lane: all ones
// where no grid coordinate moved by more than one from the last non-white
// pixel before the lane (`previousKey` for the group's first). Keys hold the
// coordinates in fields 10, 6 and 5 bits wide; previousKey becomes the
// group's last non-white key.
INKDOT_AVX2 inline __m256i NeighbourLanes(__m256i i0, __m256i i1, __m256i i2, __m256i white,
                                          uint32_t whiteBits, uint32_t &previousKey) {
  alignas(32) uint32_t keys[8];
  const __m256i key = _mm256_add_epi32(_mm256_add_epi32(i2, _mm256_slli_epi32(i0, 10)),
                                       _mm256_slli_epi32(i1, 16));
  _mm256_store_si256(reinterpret_cast<__m256i *>(keys), key);
  const __m256i diff = _mm256_sub_epi32(
      key, PreviousKeys(key, white, _mm256_set1_epi32(static_cast<int>(previousKey))));
  const __m256i spread =
      _mm256_or_si256(_mm256_add_epi32(diff, Lanes(kLanesNeighbour1)),
                      _mm256_add_epi32(diff, Lanes(kLanesNeighbour2)));
  previousKey = keys[31 - __builtin_clz(~whiteBits & 0xFF)];
  return _mm256_cmpeq_epi32(
      _mm256_and_si256(spread, Lanes(kLanesNeighbourMask)),
      _mm256_setzero_si256());
}

// The smoothing step's addend of each of the four levels or palette
// indexes in `entry`'s bytes: value + round for a neighbour, 2 * value
// otherwise; one 64-bit word per pixel, value k in bits 16k and up. The
// bytes widen straight into those fields; the second value (round or the
// value again) is chosen per pixel before it widens.
INKDOT_AVX2 inline void StoreSmoothingTerms(__m256i entry, __m256i round, __m256i neighbour,
                                            uint64_t *x) {
  // round (0 or 1) in each byte of its lane.
  const __m256i rounds = _mm256_and_si256(_mm256_sub_epi32(_mm256_setzero_si256(), round),
                                          Lanes(kLanesEachByte));
  const __m256i second = _mm256_blendv_epi8(entry, rounds, neighbour);
  auto half = [&](__m128i a, __m128i b) INKDOT_AVX2 {
    return _mm256_add_epi16(_mm256_cvtepu8_epi16(a), _mm256_cvtepu8_epi16(b));
  };
  _mm256_store_si256(reinterpret_cast<__m256i *>(x),
                     half(_mm256_castsi256_si128(entry), _mm256_castsi256_si128(second)));
  _mm256_store_si256(reinterpret_cast<__m256i *>(x + 4),
                     half(_mm256_extracti128_si256(entry, 1), _mm256_extracti128_si256(second, 1)));
}

// The smoothing's carries of the eight pixels: 0xFF in each of the four
// 16-bit fields of a neighbour's word (its mask's bytes widened), else 0.
INKDOT_AVX2 inline void StoreSmoothingCarries(__m256i neighbour, uint64_t *carry) {
  _mm256_store_si256(reinterpret_cast<__m256i *>(carry),
                     _mm256_cvtepu8_epi16(_mm256_castsi256_si128(neighbour)));
  _mm256_store_si256(reinterpret_cast<__m256i *>(carry + 4),
                     _mm256_cvtepu8_epi16(_mm256_extracti128_si256(neighbour, 1)));
}

// Writes a block of 32 two-bit codes per plane (their bytes as Transpose
// takes them, `pixels` of them valid) through a BlockPlanes writer and moves
// to the next block; true once the run is done: a short block, or a whole
// one that `endsRun`.
template <class Out>
INKDOT_AVX2 inline bool PutTwoBitBlock(Out &out, const uint32_t bytes[8], uint32_t pixels,
                                       bool endsRun) {
  uint64_t planes[4];
  Transpose(bytes, planes);
  // Most blocks of a page: each plane's bytes are already in order.
  const bool inOrder = pixels == 32 && out.Aligned();
  for (int k = 0; k < 4; ++k) {
    if (inOrder) {
      out.StoreBytes(k, reinterpret_cast<const uint8_t *>(planes + k));
      continue;
    }
    const uint64_t bits = __builtin_bswap64(planes[k]);
    if (pixels == 32) {
      out.Store(k, bits);
    } else {
      out.Finish(k, bits, 2 * pixels);
    }
  }
  if (pixels < 32) return true;
  out.Next();
  if (!endsRun) return false;
  for (int k = 0; k < 4; ++k) out.Finish(k, 0, 0);
  return true;
}

}  // namespace inkdot
