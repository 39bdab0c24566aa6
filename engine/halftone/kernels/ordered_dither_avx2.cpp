// The AVX2 path of DitherColorRow's pair loop. Each block of 64 pixels
// takes three passes: eight lanes at a time for the grid coordinates and
// the colour-table reads, one pixel at a time for the smoothing (a pixel's
// levels depend on the previous pixel's), and eight lanes at a time again
// for the level lookups, the dot rules and the bit packing. It writes the
// bytes the portable loop writes.
#include "halftone/kernels/vector_path.h"

#if defined(__i386__) || defined(__x86_64__)

#include "halftone/kernels/avx2_lanes.h"
#include "halftone/kernels/block_planes.h"
#include "halftone/kernels/colour_front_end.h"
#include "halftone/kernels/run_checks.h"

namespace inkdot {

namespace {

constexpr uint32_t kBlock = 64;

struct Block {
  alignas(32) uint32_t matrix[kBlock];
  alignas(32) uint32_t keys[kBlock];
  alignas(32) uint32_t entries[kBlock];
  alignas(32) uint32_t levels[kBlock];  // inks 0..3 in bytes 0..3
  uint64_t white;                       // bit j: pixel j is white
};

// Grid coordinate per lane: the grid point below v, or the one above when
// the lower point's weight is at most `split`.
INKDOT_AVX2 __m256i Coordinate(const uint8_t *gridIndex, __m256i v, __m256i split) {
  const __m256i pair = Gather16(gridIndex, v);
  const __m256i index = _mm256_and_si256(pair, _mm256_set1_epi32(0xFF));
  const __m256i above = _mm256_cmpgt_epi32(_mm256_srli_epi32(pair, 8), split);
  return _mm256_sub_epi32(_mm256_add_epi32(index, _mm256_set1_epi32(1)),
                          _mm256_and_si256(above, _mm256_set1_epi32(1)));
}

template <int kStep>
INKDOT_AVX2 void FrontEnd(const uint8_t *src, uint32_t pixels, const uint8_t *gridIndex,
                          const uint32_t *colorTable, Block &block) {
  block.white = 0;
  for (uint32_t j = 0; j < pixels; j += 8) {
    const uint32_t valid = pixels - j < 8 ? pixels - j : 8;
    const __m256i colours = SourceLanes<kStep>(src + (kStep == 1 ? 2 : 4) * j, valid, nullptr);
    block.white |= uint64_t{static_cast<uint32_t>(
                       _mm256_movemask_ps(_mm256_castsi256_ps(WhiteLanes(colours))))}
                   << j;
    const __m256i m =
        _mm256_load_si256(reinterpret_cast<const __m256i *>(block.matrix + j));
    const __m256i split = _mm256_and_si256(m, _mm256_set1_epi32(0xFE));
    const __m256i a = Coordinate(gridIndex, Byte(colours, 0), split);
    const __m256i b = Coordinate(gridIndex, Byte(colours, 1), split);
    const __m256i c = Coordinate(gridIndex, Byte(colours, 2), split);
    const __m256i entry = _mm256_i32gather_epi32(
        reinterpret_cast<const int *>(colorTable),
        _mm256_add_epi32(_mm256_slli_epi32(_mm256_add_epi32(_mm256_slli_epi32(a, 5), b), 5), c),
        4);
    const __m256i key = _mm256_or_si256(
        _mm256_or_si256(_mm256_slli_epi32(a, 20), _mm256_slli_epi32(b, 10)), c);
    _mm256_store_si256(reinterpret_cast<__m256i *>(block.entries + j), entry);
    _mm256_store_si256(reinterpret_cast<__m256i *>(block.keys + j), key);
  }
}

// The smoothing memory of the portable loop, carried from block to block.
struct Smoother {
  uint32_t previousKey = kNoGridKey;
  uint32_t previousEven = 0, previousOdd = 0;

  void Run(Block &block, uint32_t pixels) {
    for (uint32_t j = 0; j < pixels; ++j) {
      if ((block.white >> j) & 1) {
        block.levels[j] = 0;
        continue;
      }
      const uint32_t key = block.keys[j];
      const uint32_t keep = NeighbourKeys(key, previousKey) ? 0u : ~0u;
      previousKey = key;
      const uint32_t entry = block.entries[j];
      uint32_t even = entry & 0x00FF00FFu;
      uint32_t odd = (entry >> 8) & 0x00FF00FFu;
      const uint32_t roundBit = (~block.matrix[j] >> 2) & 1;
      const uint32_t round = roundBit << 16 | roundBit;
      // Arranged so that the chain from one pixel to the next is four
      // operations long: add, shift, mask, merge.
      const uint32_t smoothMask = 0x00FF00FFu & ~keep;
      even = (((previousEven + (even + round)) >> 1) & smoothMask) | (even & keep);
      odd = (((previousOdd + (odd + round)) >> 1) & smoothMask) | (odd & keep);
      previousEven = even;
      previousOdd = odd;
      // Ink 2 is never smoothed: its level is the entry's.
      block.levels[j] = (even & 0xFF) | (odd & 0xFF) << 8 | (entry & 0x00FF0000u) |
                        (odd >> 16) << 24;
    }
  }
};

// The dots of the block's pixels, plane k's in dots[k] (bit j: pixel j).
INKDOT_AVX2 void Dots(const Block &block, uint32_t pixels, const uint16_t *scale, int32_t top,
                      uint64_t dots[4]) {
  const __m256i vtop = _mm256_set1_epi32(top);
  for (uint32_t j = 0; j < pixels; j += 8) {
    const __m256i levels =
        _mm256_load_si256(reinterpret_cast<const __m256i *>(block.levels + j));
    const __m256i m = _mm256_load_si256(reinterpret_cast<const __m256i *>(block.matrix + j));
    const __m256i d0 = Gather16(scale, Byte(levels, 0));
    const __m256i d1 = Gather16(scale, Byte(levels, 1));
    const __m256i d2 = Gather16(scale, Byte(levels, 2));
    const __m256i d3 = Gather16(scale, _mm256_srli_epi32(levels, 24));
    const __m256i mirrored = _mm256_sub_epi32(vtop, m);
    const __m256i dot3 = _mm256_cmpgt_epi32(d3, m);
    // Inks 0 and 3 as a pair: both by their own rule when together they
    // exceed the range, else ink 0 only where ink 3 left a gap.
    const __m256i sum = _mm256_add_epi32(d0, d3);
    const __m256i both = _mm256_cmpgt_epi32(sum, vtop);
    const __m256i over = _mm256_cmpgt_epi32(d0, mirrored);
    const __m256i fill = _mm256_andnot_si256(dot3, _mm256_cmpgt_epi32(sum, m));
    const __m256i dot0 = _mm256_blendv_epi8(fill, over, both);
    const __m256i dot1 = _mm256_cmpgt_epi32(d1, mirrored);
    const __m256i dot2 = _mm256_cmpgt_epi32(d2, mirrored);
    const __m256i planes[4] = {dot0, dot1, dot2, dot3};
    for (int k = 0; k < 4; ++k) {
      dots[k] |= uint64_t{static_cast<uint32_t>(
                     _mm256_movemask_ps(_mm256_castsi256_ps(planes[k])))}
                 << j;
    }
  }
}

template <int kStep>
INKDOT_AVX2 void Pairs(const HalftoneContext *ht, const RowRun &run, uint32_t pairs) {
  const uint16_t *scale = BlockAs<uint16_t>(ht, kLevelScaleBlock);
  const uint32_t *colorTable = BlockAs<uint32_t>(ht, kColorTableBlock);
  const uint8_t *gridIndex = BlockAs<uint8_t>(ht, kGridIndexBlock);
  const uint16_t *matrixRow = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const int32_t top = static_cast<int32_t>((ht->matrixSize - 1) & 0xFFFF);

  BlockPlanes<4> out(run.dst, run.planeStride, run.firstBit & 7);
  Smoother smoother;
  Block block;
  for (uint32_t first = 0;; first += kBlock) {
    const uint32_t pixels = pairs - first < kBlock ? pairs - first : kBlock;
    MatrixWindow(matrixRow, columnMask, run.startX + first, (pixels + 7) & ~7u, block.matrix);
    FrontEnd<kStep>(run.src + (kStep == 1 ? 2 : 4) * static_cast<uintptr_t>(first), pixels,
                    gridIndex, colorTable, block);
    smoother.Run(block, pixels);
    uint64_t dots[4] = {};
    Dots(block, pixels, scale, top, dots);
    const uint64_t inRun = pixels == kBlock ? ~uint64_t{0} : (uint64_t{1} << pixels) - 1;
    const uint64_t printed = inRun & ~block.white;
    for (int k = 0; k < 4; ++k) {
      const uint64_t bits = FirstPixelHigh(dots[k] & printed);
      if (pixels == kBlock) {
        out.Store(k, bits);
      } else {
        out.Finish(k, bits, pixels);
      }
    }
    if (pixels < kBlock) return;
    out.Next();
    if (first + kBlock == pairs) {
      for (int k = 0; k < 4; ++k) out.Finish(k, 0, 0);
      return;
    }
  }
}

}  // namespace

void DitherColorPairsAvx2(const HalftoneContext *ht, const RowRun &run, uint32_t pairs) {
  if (ht->params.magnification == 1) {
    Pairs<1>(ht, run, pairs);
  } else {
    Pairs<0>(ht, run, pairs);
  }
}

}  // namespace inkdot

#else

namespace inkdot {

// Never reached: DetectVectorPath chooses the portable path here.
void DitherColorPairsAvx2(const HalftoneContext *, const RowRun &, uint32_t) {}

}  // namespace inkdot

#endif
