/* SPDX-License-Identifier: Apache-2.0 */
// The body of DitherColourRow's vector pair loop, shared by its AVX2 and
// AVX-512 paths, and by the one-bit hybrid kernel, which prints ink 1 by
// error diffusion instead (a HybridInk, called pixel by pixel per block);
// the fast one-bit colour diffusion kernels run the same front with their
// own smoothing (DiffusedBlocks, at the end). Each block of 64 pixels takes three passes: eight lanes at a
// time for the grid coordinates, the colour-table reads and the neighbour
// tests; one pixel at a time for the smoothing itself (a pixel's levels
// depend on the previous pixel's), a short chain on one word; and eight
// lanes at a time again for the level lookups, the dot rules and the bit
// packing. It writes the bytes the portable loop writes.
//
// Include it once, inside an unnamed namespace, from a file that first
// defines INKDOT_PAIRS (its target, inlined), INKDOT_PAIRS_CALL (its target)
// and a class Tables, constructed from the halftone object, with
//   template <int kStep> void Grid(const uint8_t *px, __m256i colours,
//                                  __m256i split, __m256i abc[3]) const;
//     the grid coordinates of the group's pixels (source bytes at px, their
//     lanes in colours), the one above where the lower point's weight is at
//     most split;
//   template <class Block>
//   void Levels(const Block &block, uint32_t j, __m256i d[4]) const;
//     the scaled levels of the four inks of pixels j to j + 7.
// No include guard: each including file compiles it for its own target.

constexpr uint32_t kBlock = 64;

// The smoothing of inks 0, 1 and 3 is y := ((y & carry) + x) >> 1 per ink,
// with x and carry prepared by the first pass: for a neighbour of the
// previous pixel x = level + rounding and carry the ink's low 8 bits,
// otherwise x = 2 * level and carry 0, so that y becomes the level itself.
// The three inks share one 64-bit word per pixel, in bits 0, 16 and 32 up,
// so that a pixel's step is three operations: the shift moves the low bit
// of each ink into the top bit of the one below, which the next step's
// carry clears and the level lookups, reading bytes 0, 2 and 4, never see.
struct Block {
  alignas(32) uint32_t matrix[kBlock];
  alignas(32) uint32_t entries[kBlock];
  alignas(32) uint64_t carry[kBlock];
  alignas(32) uint64_t x[kBlock];
  alignas(32) uint64_t y[kBlock];  // the smoothed levels
  uint64_t white;                  // bit j: pixel j is white
};

// How a front smooths: the matrix bit whose 0 rounds the average up, and
// whether ink 2 is smoothed too (in bits 48 up of the words).
struct FrontSmoothing {
  int roundBit;
  bool ink2;
};

// The ordered dither's: inks 0, 1 and 3, rounding on bit 2.
inline constexpr FrontSmoothing kDitherSmoothing{2, false};

template <int kStep, FrontSmoothing kSmoothing = kDitherSmoothing>
INKDOT_PAIRS inline void FrontEnd(const uint8_t *src, uint32_t pixels, const Tables &tables,
                                  const uint32_t *colourTable, uint32_t &previousKey,
                                  Block &block) {
  block.white = 0;
  for (uint32_t j = 0; j < pixels; j += 8) {
    const uint32_t valid = pixels - j < 8 ? pixels - j : 8;
    alignas(32) uint8_t tail[32] = {};
    const uint8_t *px = GroupSource<kStep>(src, j, valid, tail);
    const __m256i colours = SourceLanes<kStep>(px, 8, nullptr);
    const __m256i white = WhiteLanes(colours);
    const uint32_t whiteBits =
        static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(white)));
    block.white |= uint64_t{whiteBits} << j;
    if (whiteBits == 0xFF) continue;  // nothing to print, nothing to remember
    const __m256i m =
        _mm256_load_si256(reinterpret_cast<const __m256i *>(block.matrix + j));
    const __m256i split = _mm256_and_si256(m, _mm256_set1_epi32(0xFE));
    __m256i abc[3];
    tables.Grid<kStep>(px, colours, split, abc);
    const __m256i a = abc[0], b = abc[1], c = abc[2];
    const __m256i entry = GridEntries(colourTable, a, b, c);
    _mm256_store_si256(reinterpret_cast<__m256i *>(block.entries + j), entry);

    // The neighbour test of NeighbourKeys, lane by lane.
    alignas(32) uint32_t keys[8];
    const __m256i key = _mm256_or_si256(
        _mm256_or_si256(_mm256_slli_epi32(a, 20), _mm256_slli_epi32(b, 10)), c);
    _mm256_store_si256(reinterpret_cast<__m256i *>(keys), key);
    const __m256i d = _mm256_sub_epi32(
        key, PreviousKeys(key, white, _mm256_set1_epi32(static_cast<int>(previousKey))));
    const __m256i spread = _mm256_or_si256(_mm256_add_epi32(d, _mm256_set1_epi32(0x00100401)),
                                           _mm256_add_epi32(d, _mm256_set1_epi32(0x00200802)));
    const __m256i fresh = _mm256_xor_si256(
        _mm256_cmpeq_epi32(_mm256_and_si256(spread, _mm256_set1_epi32(0xFFCFF3FC)),
                           _mm256_setzero_si256()),
        _mm256_set1_epi32(-1));
    previousKey = keys[31 - __builtin_clz(~whiteBits & 0xFF)];

    // Rounds up when the rounding bit of the matrix value is 0.
    const __m256i round = _mm256_andnot_si256(_mm256_srli_epi32(m, kSmoothing.roundBit),
                                              _mm256_set1_epi32(1));
    constexpr int kInks = kSmoothing.ink2 ? 4 : 3;
    const __m256i levels[4] = {Byte(entry, 0), Byte(entry, 1), _mm256_srli_epi32(entry, 24),
                               Byte(entry, 2)};
    __m256i x[4] = {};
    for (int k = 0; k < kInks; ++k) {
      x[k] = _mm256_blendv_epi8(_mm256_add_epi32(levels[k], round),
                                _mm256_add_epi32(levels[k], levels[k]), fresh);
    }
    StoreWords(x[0], x[1], x[2], x[3], block.x + j);
    const __m256i keep = _mm256_andnot_si256(fresh, _mm256_set1_epi32(0xFF));
    StoreWords(keep, keep, keep, kSmoothing.ink2 ? keep : _mm256_setzero_si256(),
               block.carry + j);
  }
}

// The smoothing over the block's non-white pixels, carried from block to
// block.
struct Smoother {
  uint64_t y = 0;

  void Run(Block &block, uint64_t printed) {
    if (printed == ~uint64_t{0}) {  // no white pixel: the chain a step for two pixels
#pragma GCC unroll 8
      for (uint32_t j = 0; j < kBlock; j += 2) Pair(block, j);
      return;
    }
    for (; printed != 0; printed &= printed - 1) {
      const uint32_t j = static_cast<uint32_t>(__builtin_ctzll(printed));
      y = ((y & block.carry[j]) + block.x[j]) >> 1;
      block.y[j] = y;
    }
  }

 private:
  // Pixels j and j + 1, the chain taking one step for both. The carries
  // hold each field's low 8 bits, widened for pixel j's x; what the shifts
  // bring down from the next ink's field the next carry clears.
  void Pair(Block &block, uint32_t j) {
    const uint64_t c1 = block.carry[j + 1];
    const SmoothedPair pair =
        SmoothPair(y, block.carry[j], c1, c1 | c1 << 8, block.x[j], block.x[j + 1]);
    block.y[j] = pair.first;
    y = pair.second;
    block.y[j + 1] = y;
  }
};

// The dots of the block's pixels, eight at a time: byte k of bytes[g] holds
// plane k's bits of pixels 8g to 8g + 7, the first in bit 0.
INKDOT_PAIRS inline void Dots(const Block &block, uint32_t pixels, const Tables &tables,
                              int32_t top, uint32_t bytes[kBlock / 8]) {
  const __m256i vtop = _mm256_set1_epi32(top);
  for (uint32_t j = 0; j < pixels; j += 8) {
    if (((block.white >> j) & 0xFF) == 0xFF) continue;
    const __m256i m = _mm256_load_si256(reinterpret_cast<const __m256i *>(block.matrix + j));
    __m256i d[4];
    tables.Levels(block, j, d);
    const __m256i d0 = d[0], d1 = d[1], d2 = d[2], d3 = d[3];
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
    // Plane k's eight bits go to byte k of one word.
    const __m256i packed = _mm256_packs_epi16(_mm256_packs_epi32(dot0, dot1),
                                              _mm256_packs_epi32(dot2, dot3));
    const __m256i planes =
        _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
    bytes[j / 8] = static_cast<uint32_t>(_mm256_movemask_epi8(planes));
  }
}

// Writes a block's dots (bit j of dots[k]: plane k, pixel j) of its
// printed pixels; true when the run ends with this block.
template <int kPlanes>
INKDOT_PAIRS inline bool StoreBlock(BlockPlanes<kPlanes> &out, const uint64_t dots[4],
                                    uint64_t printed, uint32_t pixels, bool lastBlock) {
  for (int k = 0; k < kPlanes; ++k) {
    const uint64_t bits = FirstPixelHigh(dots[k] & printed);
    if (pixels == kBlock) {
      out.Store(k, bits);
    } else {
      out.Finish(k, bits, pixels);
    }
  }
  if (pixels < kBlock) return true;
  out.Next();
  if (!lastBlock) return false;
  for (int k = 0; k < kPlanes; ++k) out.Finish(k, 0, 0);
  return true;
}

template <int kStep>
INKDOT_PAIRS_CALL void Pairs(const HalftoneContext *ht, const RowRun &run, uint32_t pairs,
                             HybridInk *diffused) {
  const Tables tables(ht);
  const uint32_t *colourTable = ColourTable(ht);
  const uint16_t *matrixRow = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const int32_t top = ThresholdTop(ht);

  BlockPlanes<4> out(run.dst, run.planeStride, run.firstBit & 7);
  uint32_t previousKey = kNoGridKey;
  Smoother smoother;
  Block block{};  // the levels of white pixels stay in range
  for (uint32_t first = 0;; first += kBlock) {
    const uint32_t pixels = pairs - first < kBlock ? pairs - first : kBlock;
    MatrixWindow(matrixRow, columnMask, run.startX + first, (pixels + 7) & ~7u, block.matrix);
    FrontEnd<kStep>(run.src + (kStep == 1 ? 2 : 4) * static_cast<uintptr_t>(first), pixels,
                    tables, colourTable, previousKey, block);
    const uint64_t inRun = pixels == kBlock ? ~uint64_t{0} : (uint64_t{1} << pixels) - 1;
    const uint64_t printed = inRun & ~block.white;
    smoother.Run(block, printed);
    uint32_t bytes[kBlock / 8] = {};
    Dots(block, pixels, tables, top, bytes);
    uint64_t dots[4];
    Transpose(bytes, dots);
    if (diffused) dots[1] = diffused->Dots(block, pixels, run.startX + first);
    if (StoreBlock(out, dots, printed, pixels, first + kBlock == pairs)) return;
  }
}

// The pair loop, for the way the run steps through the source; ink 1
// diffused by `diffused` when there is one, else dithered.
INKDOT_PAIRS_CALL inline void AllPairs(const HalftoneContext *ht, const RowRun &run,
                                       uint32_t pairs, HybridInk *diffused) {
  if (ht->params.magnification == 1) {
    Pairs<1>(ht, run, pairs, diffused);
  } else {
    Pairs<0>(ht, run, pairs, diffused);
  }
}

// The fast colour diffusion kernels' smoothing: all four inks, rounding on
// bit 0 of the matrix value.
inline constexpr FrontSmoothing kDiffusionSmoothing{0, true};

// Ink 2's dots of the block (bit j for pixel j): its scaled smoothed level
// (byte 6 of y) above the matrix value.
INKDOT_PAIRS inline uint64_t Ink2Dots(const Block &block, uint32_t pixels,
                                      const uint16_t *scale) {
  uint64_t dots = 0;
  for (uint32_t j = 0; j < pixels; j += 8) {
    if (((block.white >> j) & 0xFF) == 0xFF) continue;
    const __m256i m = _mm256_load_si256(reinterpret_cast<const __m256i *>(block.matrix + j));
    const __m256i d2 =
        LookupBytes<8>(scale, reinterpret_cast<const uint8_t *>(block.y + j) + 6);
    const __m256i dot = _mm256_cmpgt_epi32(d2, m);
    dots |= uint64_t{static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(dot)))} << j;
  }
  return dots;
}

// Bit b of each of 64 bytes (two registers) as a word, byte j's in bit j:
// shifting the 16-bit words left by 7 - b brings it to the top of its byte.
INKDOT_PAIRS inline uint64_t ByteBits(__m256i low, __m256i high, int b) {
  const __m128i count = _mm_cvtsi32_si128(7 - b);
  const auto lo = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_sll_epi16(low, count)));
  const auto hi = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_sll_epi16(high, count)));
  return uint64_t{hi} << 32 | lo;
}

// Inks 0, 1 and 3's dots from bits 0, 1 and 2 of the block's bytes (bytes
// past the block's pixels are dropped later).
INKDOT_PAIRS inline void DiffusedPlanes(const uint8_t bytes[kBlock], uint64_t dots[4]) {
  const __m256i low = _mm256_load_si256(reinterpret_cast<const __m256i *>(bytes));
  const __m256i high = _mm256_load_si256(reinterpret_cast<const __m256i *>(bytes + 32));
  dots[0] = ByteBits(low, high, 0);
  dots[1] = ByteBits(low, high, 1);
  dots[3] = ByteBits(low, high, 2);
}

// The fast colour diffusion kernels' block pass: the front above with
// their smoothing, ink 2 dithered eight pixels at a time, inks 0, 1 and 3
// diffused pixel by pixel by `inks`, which also smooths the levels (block.y)
// on its way. Every pixel of the run, written to kPlanes planes.
template <int kStep, int kPlanes, class Inks>
INKDOT_PAIRS_CALL void DiffusedBlocks(const HalftoneContext *ht, const RowRun &run,
                                      Inks &inks) {
  const Tables tables(ht);
  const uint32_t *colourTable = ColourTable(ht);
  const uint16_t *matrixRow = MatrixRow(ht, run.row);
  const uint16_t *scale = LevelScale(ht);
  const uint32_t columnMask = ht->matrixWidth - 1;

  BlockPlanes<kPlanes> out(run.dst, run.planeStride, run.firstBit & 7);
  uint32_t previousKey = kNoGridKey;
  Block block{};  // the levels of white pixels stay in range
  for (uint32_t first = 0;; first += kBlock) {
    const uint32_t pixels = run.count - first < kBlock ? run.count - first : kBlock;
    MatrixWindow(matrixRow, columnMask, run.startX + first, (pixels + 7) & ~7u, block.matrix);
    FrontEnd<kStep, kDiffusionSmoothing>(
        run.src + (kStep == 1 ? 2 : 4) * static_cast<uintptr_t>(first), pixels, tables,
        colourTable, previousKey, block);
    const uint64_t inRun = pixels == kBlock ? ~uint64_t{0} : (uint64_t{1} << pixels) - 1;
    const uint64_t printed = inRun & ~block.white;
    alignas(32) uint8_t diffused[kBlock] = {};
    inks.Dots(block, pixels, run.startX + first, diffused);
    uint64_t dots[4];
    DiffusedPlanes(diffused, dots);
    dots[2] = Ink2Dots(block, pixels, scale);
    if (StoreBlock(out, dots, printed, pixels, first + kBlock == run.count)) return;
  }
}

// The block pass for the way the run steps through the source and the
// number of planes (colour mode 2 prints three inks, leaving plane 3).
template <class Inks>
INKDOT_PAIRS_CALL inline void AllDiffusedBlocks(const HalftoneContext *ht, const RowRun &run,
                                                Inks &inks) {
  const bool three = ht->params.colorMode == 2;
  if (ht->params.magnification == 1) {
    three ? DiffusedBlocks<1, 3>(ht, run, inks) : DiffusedBlocks<1, 4>(ht, run, inks);
  } else {
    three ? DiffusedBlocks<0, 3>(ht, run, inks) : DiffusedBlocks<0, 4>(ht, run, inks);
  }
}
