/* SPDX-License-Identifier: Apache-2.0 */
// The block loop of the two-bit colour dither's vector paths, for runs
// starting at a pixel field (firstBit 0..3). Each block of 32 pixels takes
// three passes: eight lanes at a time for the source stepping, the grid
// coordinates, the colour-table reads and the neighbour tests; one pixel at
// a time for the smoothing (a pixel's levels depend on the previous
// pixel's), as four short chains; and the palette decisions and the
// packing of the two-bit codes, which each path does its own way (the
// `codes` object). The including file defines INKDOT_DOT_CALL, the target
// of Run; everything here is internal to that file.
#pragma once

#include "halftone/kernels/avx2_lanes.h"
#include "halftone/kernels/block_planes.h"
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/multi_size/two_bit_planes.h"
#include "halftone/kernels/smoothing_pair.h"

namespace inkdot::dot_dither {
namespace {

constexpr uint32_t kBlock = 32;

// Each ink's smoothing is y := ((y & carry) + x) >> 1, with x = level +
// rounding and carry all ones for a neighbour of the previous pixel,
// x = 2 * level and carry 0 otherwise. The four inks share one 64-bit word
// per pixel, ink k in bits 16k and up, so that a pixel's step is four
// operations.
struct Block {
  alignas(32) uint32_t t1[kBlock];
  alignas(32) uint32_t t2[kBlock];
  alignas(32) int32_t carry[kBlock];
  alignas(32) uint64_t x[kBlock];
  alignas(32) uint64_t y[kBlock];
  alignas(32) uint32_t halfBlack[kBlock];
  uint32_t white;  // bit j: pixel j is white
};

// Grid coordinate per lane: the point below c, or the one above when the
// lower point's weight does not exceed d; never past point 31.
INKDOT_AVX2 inline __m256i Coordinate(__m256i pair, __m256i d) {
  const __m256i index = _mm256_and_si256(pair, _mm256_set1_epi32(0xFF));
  const __m256i above = _mm256_cmpgt_epi32(_mm256_srli_epi32(pair, 8), d);
  const __m256i up = _mm256_andnot_si256(above, _mm256_set1_epi32(1));
  return _mm256_min_epu32(_mm256_add_epi32(index, up), _mm256_set1_epi32(31));
}

template <int kStep>
INKDOT_AVX2 inline void FrontEnd(const uint8_t *src, uint32_t pixels, const uint8_t *grid,
                                 const uint32_t *table, uint32_t &previousKey, Block &block) {
  block.white = 0;
  for (uint32_t j = 0; j < pixels; j += 8) {
    const uint32_t valid = pixels - j < 8 ? pixels - j : 8;
    __m256i halfBlack = _mm256_setzero_si256();
    // Without the 2:1 reduction the grid reads take the channels straight
    // from the source bytes.
    alignas(32) uint8_t tail[32] = {};
    const uint8_t *px = GroupSource<kStep>(src, j, valid, tail);
    const __m256i colours = SourceLanes<kStep>(px, kStep == 2 ? valid : 8, &halfBlack);
    _mm256_store_si256(reinterpret_cast<__m256i *>(block.halfBlack + j), halfBlack);
    const __m256i white = WhiteLanes(colours);
    const uint32_t whiteBits =
        static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(white)));
    block.white |= whiteBits << j;
    if (whiteBits == 0xFF) continue;  // nothing to print, nothing to remember
    const __m256i t1 = _mm256_load_si256(reinterpret_cast<const __m256i *>(block.t1 + j));
    const __m256i d = _mm256_andnot_si256(_mm256_set1_epi32(1), t1);
    auto pairs = [&](int k) INKDOT_AVX2 {
      if constexpr (kStep == 2) {
        return GridPairs(grid, Byte(colours, k));
      } else {
        return ChannelPairs<kStep>(grid, px + k);
      }
    };
    const __m256i i0 = Coordinate(pairs(0), d);
    const __m256i i1 = Coordinate(pairs(1), d);
    const __m256i i2 = Coordinate(pairs(2), d);
    const __m256i entry = GridEntries(table, i0, i1, i2);
    const __m256i neighbour = NeighbourLanes(i0, i1, i2, white, whiteBits, previousKey);
    // Rounds up when bit 2 of t1 is 1.
    const __m256i round = _mm256_and_si256(_mm256_srli_epi32(t1, 2), _mm256_set1_epi32(1));
    StoreSmoothingTerms(entry, round, neighbour, block.x + j);
    _mm256_store_si256(reinterpret_cast<__m256i *>(block.carry + j), neighbour);
  }
}

// The smoothing over the block's non-white pixels, carried from block to
// block.
struct Smoother {
  static constexpr uint64_t kLevels = 0x00FF00FF00FF00FFu;
  uint64_t y = 0;

  void Run(Block &block, uint32_t printed) {
    if (printed == ~0u) {  // most blocks of a page: the chain a step for two pixels
#pragma GCC unroll 8
      for (uint32_t j = 0; j < kBlock; j += 2) Pair(block, j);
      return;
    }
    for (; printed != 0; printed &= printed - 1) {
      const uint32_t j = static_cast<uint32_t>(__builtin_ctz(printed));
      y = (((y & Carry(block, j)) + block.x[j]) >> 1) & kLevels;
      block.y[j] = y;
    }
  }

 private:
  static uint64_t Carry(const Block &block, uint32_t j) {
    return static_cast<uint64_t>(int64_t{block.carry[j]});
  }

  // Pixels j and j + 1, the chain taking one step for both; the carries
  // are all ones or none, and the mask takes off what the shifts bring
  // down from the next ink's field.
  void Pair(Block &block, uint32_t j) {
    const uint64_t c1 = Carry(block, j + 1);
    const SmoothedPair pair =
        SmoothPair(y, Carry(block, j), c1, c1, block.x[j], block.x[j + 1]);
    block.y[j] = pair.first & kLevels;
    y = pair.second & kLevels;
    block.y[j + 1] = y;
  }
};

// Ink k's smoothed level of pixel j, the first of eight.
inline const uint8_t *Ink(const Block &block, uint32_t j, int k) {
  return reinterpret_cast<const uint8_t *>(block.y + j) + 2 * k;
}

// The run, block by block; codes(block, pixels, top, bytes) writes the
// block's packed codes: byte k of bytes[q] is plane k's byte q of the
// block, its first pixel on top.
template <int kStep, class Codes>
INKDOT_DOT_CALL void Run(const HalftoneContext *ht, const RowRun &run, const Codes &codes) {
  const uint16_t *thresholds = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const uint32_t top = (ht->matrixSize - 1) & 0xFFFF;
  const auto *table = ColourTable(ht);
  const auto *grid = GridIndex(ht);

  BlockPlanes<4> out(run.dst, run.planeStride, 2 * run.firstBit);
  // 35 is no reachable key: the run's first pixel is never a neighbour.
  uint32_t previousKey = 35;
  Smoother smoother;
  Block block{};  // the levels of white pixels stay in range
  for (uint32_t first = 0;; first += kBlock) {
    const uint32_t pixels = run.count - first < kBlock ? run.count - first : kBlock;
    const uint32_t lanes = (pixels + 7) & ~7u;
    MatrixWindow(thresholds, columnMask, run.startX + first, lanes, block.t1);
    MatrixWindow(thresholds, columnMask, run.startX + first + 48, lanes, block.t2);
    FrontEnd<kStep>(run.src + (kStep == 2 ? 8 : kStep == 1 ? 2 : 4) * uintptr_t{first},
                    pixels, grid, table, previousKey, block);
    // Lanes past the run print nothing, like white pixels.
    block.white |= pixels == kBlock ? 0u : ~0u << pixels;
    smoother.Run(block, ~block.white);
    uint32_t bytes[8] = {};
    codes(block, pixels, top, bytes);
    if (PutTwoBitBlock(out, bytes, pixels, first + kBlock == run.count)) return;
  }
}

// The run with the source stepping of the object's magnification.
template <class Codes>
void RunRow(const HalftoneContext *ht, const RowRun &run, const Codes &codes) {
  const int32_t magnification = ht->params.magnification;
  if (magnification == -1) {
    Run<2>(ht, run, codes);
  } else if (magnification == 1) {
    Run<1>(ht, run, codes);
  } else {
    Run<0>(ht, run, codes);
  }
}

}  // namespace
}  // namespace inkdot::dot_dither
