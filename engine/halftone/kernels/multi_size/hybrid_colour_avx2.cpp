// SPDX-License-Identifier: Apache-2.0
// The AVX2 path of the hybrid colour kernels' colour-table path, for runs
// starting at a pixel field (firstBit 0..3). Each block of 32 pixels takes
// four passes: eight lanes at a time for the matrix reads, the grid
// coordinates, the colour-table reads and the neighbour tests; one pixel at
// a time for the smoothing (a pixel's indexes depend on the previous
// pixel's); eight lanes at a time again for ink 2's screened dot and the
// small-dot offsets; and one pixel at a time for the diffusion, which alone
// depends on the pixels before: through register windows of error cells
// for the members whose filters are linear in the error
// (hybrid_window_avx2.h, each pixel's step in assembly on x86-64:
// hybrid_pixel_x64.h; their preparation also places the other inks'
// matrix-placed dots), the portable per-pixel code after the same dots in
// lanes for the others. The codes then go out 32 pixels per plane at once.
#include <cstring>
#include <type_traits>

#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/multi_size/hybrid_members.h"
#include "halftone/kernels/vector_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include "halftone/kernels/avx2_lanes.h"
#include "halftone/kernels/block_planes.h"
#include "halftone/kernels/multi_size/hybrid_window_avx2.h"
#include "halftone/kernels/multi_size/hybrid_pixel_x64.h"
#include "halftone/kernels/run_checks.h"

namespace inkdot {
namespace hybrid {

namespace {

constexpr uint32_t kBlock = 32;

// What the front leaves for the diffusion. The smoothing is y := ((y &
// carry) + x) >> 1 per ink, with x = index + rounding and carry 0xFF for a
// neighbour of the previous printed pixel, x = 2 * index and carry 0
// otherwise; the four inks share one 64-bit word per pixel, ink k in bits
// 16k and up. The shift leaves the next ink's bit 0 on top of each 16-bit
// field; the carry masks it off, so the chain is three operations a pixel
// and the indexes are the fields' low bytes.
struct Block {
  alignas(32) uint32_t m0[kBlock];   // matrix row A at x: ink 0
  alignas(32) uint32_t m16[kBlock];  // row B at x + 16: ink 1
  alignas(32) uint32_t m24[kBlock];  // row A at x + 24: step threshold and noise
  alignas(32) uint32_t m40[kBlock];  // row B at x + 40: ink 3
  alignas(32) uint32_t m48[kBlock];  // row A at x + 48: ink 2
  alignas(32) uint64_t carry[kBlock];
  alignas(32) int32_t offset[kBlock];  // small-dot offset (ink 1 takes its negative)
  alignas(32) uint32_t codes[kBlock];  // byte k: ink k's code so far
  alignas(32) uint32_t printed[kBlock];  // all ones where a pixel prints, groups not all white
  alignas(32) uint64_t x[kBlock];
  alignas(32) uint64_t y[kBlock];
  // The window diffusion's record offsets of y's indexes (StoreRecordOffsets),
  // stored a pass before they are read.
  alignas(32) uint64_t recordOffsets[kBlock];
  uint32_t white;  // bit j: pixel j is white (or past the run)
};

// A matrix row followed by its own first columns again, so that the 32
// columns of a block read straight through from any column: no test for
// the row's end, no column by column copy where a window wraps round it.
// Rows wider than kMaxWidth are read in place (MatrixWindow).
class PeriodicRow {
 public:
  static constexpr uint32_t kMaxWidth = 512;

  PeriodicRow(const uint16_t *row, uint32_t width)
      : row_(row), columnMask_(width - 1), copied_(width <= kMaxWidth) {
    if (!copied_) return;
    std::memcpy(columns_, row, width * sizeof(uint16_t));
    for (uint32_t i = width; i < width + kBlock; ++i) columns_[i] = columns_[i - width];
  }

  // The copy (kBlock columns past the row's width), or null for a row
  // read in place.
  const uint16_t *Columns() const { return copied_ ? columns_ : nullptr; }
  uint32_t ColumnMask() const { return columnMask_; }

  // Matrix values of columns x .. x + n - 1 (n a multiple of 8, at most a
  // block), as 32-bit values; from the copy, always a whole block.
  INKDOT_AVX2 void Window(uint32_t x, uint32_t n, uint32_t *out) const {
    if (!copied_) {
      MatrixWindow(row_, columnMask_, x, n, out);
      return;
    }
    const uint16_t *from = columns_ + (x & columnMask_);
    for (uint32_t j = 0; j < kBlock; j += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + j));
      _mm256_store_si256(reinterpret_cast<__m256i *>(out + j), _mm256_cvtepu16_epi32(v));
    }
  }

 private:
  const uint16_t *row_;
  uint32_t columnMask_;
  bool copied_;
  uint16_t columns_[kMaxWidth + kBlock];
};

// Grid coordinate per lane from its channel's word (see GridWords): the
// point below the channel, or the one above when the lower point's weight
// does not exceed t; never past point 31. `limit` is t's lanes as
// LimitOf gives them.
INKDOT_AVX2 inline __m256i Coordinate(__m256i word, __m256i limit) {
  const __m256i above = _mm256_cmpgt_epi32(word, limit);  // all ones: stay below
  return _mm256_add_epi32(_mm256_and_si256(word, Lanes(kLanesByte)), above);
}

// The step threshold t (even, 0..254) as a word to compare a grid word
// with: above it exactly when the weight exceeds t, whatever the point.
INKDOT_AVX2 inline __m256i LimitOf(__m256i t) {
  return _mm256_or_si256(_mm256_slli_epi32(t, 8), Lanes(kLanesByte));
}

// The step threshold of matrix values m (even, 0..254).
INKDOT_AVX2 inline __m256i StepThresholdOf(__m256i m, __m128i shift) {
  return _mm256_and_si256(_mm256_srl_epi32(m, shift), Lanes(kLanesEvenByte));
}

// The step threshold of each lane, from the matrix at x + 24.
INKDOT_AVX2 inline __m256i StepThreshold(const Block &block, uint32_t j, __m128i shift) {
  return StepThresholdOf(
      _mm256_load_si256(reinterpret_cast<const __m256i *>(block.m24 + j)), shift);
}

// The grid index's pairs as 32-bit words, copied per run: each lane's pair
// is then one load straight into the vector, not a 16-bit load and a move.
// The low byte is the point above (point + 1), from which a lane whose
// weight exceeds the threshold takes one; a point of 31 or more is stored as
// 32 with a weight no threshold reaches, so that it always gives 31.
struct GridWords {
  uint32_t words[256];

  explicit GridWords(const uint8_t *grid) {
    for (uint32_t v = 0; v < 256; ++v) {
      const uint32_t point = grid[2 * v], weight = grid[2 * v + 1];
      words[v] = point >= 31 ? 32u | 255u << 8 : (point + 1) | weight << 8;
    }
  }
};

// ChannelPairs from the words.
template <int kStep>
INKDOT_AVX2 inline __m256i ChannelWords(const uint32_t *pairs, const uint8_t *px) {
  if constexpr (kStep == 1) {
    const __m128i four = _mm_setr_epi32(pairs[px[0]], pairs[px[4]], pairs[px[8]], pairs[px[12]]);
    return _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(four),
                                       _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3));
  } else {
    return _mm256_setr_epi32(pairs[px[0]], pairs[px[4]], pairs[px[8]], pairs[px[12]],
                             pairs[px[16]], pairs[px[20]], pairs[px[24]], pairs[px[28]]);
  }
}

// Whether the eight lanes hold one colour, as most groups of a page with
// flat areas do: their grid words are then one pixel's, broadcast.
INKDOT_AVX2 inline bool SameColour(__m256i colours) {
  const __m256i first = _mm256_broadcastd_epi32(_mm256_castsi256_si128(colours));
  return _mm256_movemask_epi8(_mm256_cmpeq_epi32(colours, first)) == -1;
}

template <int kStep>
INKDOT_AVX2 inline void Front(const uint8_t *src, uint32_t pixels, const uint32_t *gridWords,
                              const uint32_t *table, const uint32_t *thresholds,
                              __m128i shift, uint32_t &previousKey, Block &block) {
  block.white = 0;
  for (uint32_t j = 0; j < pixels; j += 8) {
    const uint32_t valid = pixels - j < 8 ? pixels - j : 8;
    alignas(32) uint8_t tail[32] = {};
    const uint8_t *px = GroupSource<kStep>(src, j, valid, tail);
    const __m256i colours = SourceLanes<kStep>(px, 8, nullptr);
    const __m256i white = WhiteLanes(colours);
    const uint32_t whiteBits =
        static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(white)));
    block.white |= whiteBits << j;
    if (whiteBits == 0xFF) continue;  // nothing to print, nothing to remember
    const __m256i t =
        thresholds != nullptr
            ? _mm256_loadu_si256(reinterpret_cast<const __m256i *>(thresholds + j))
            : StepThreshold(block, j, shift);
    __m256i w0, w1, w2;
    if (SameColour(colours)) {
      w0 = _mm256_set1_epi32(static_cast<int>(gridWords[px[0]]));
      w1 = _mm256_set1_epi32(static_cast<int>(gridWords[px[1]]));
      w2 = _mm256_set1_epi32(static_cast<int>(gridWords[px[2]]));
    } else {
      w0 = ChannelWords<kStep>(gridWords, px + 0);
      w1 = ChannelWords<kStep>(gridWords, px + 1);
      w2 = ChannelWords<kStep>(gridWords, px + 2);
    }
    const __m256i limit = LimitOf(t);
    const __m256i i0 = Coordinate(w0, limit);
    const __m256i i1 = Coordinate(w1, limit);
    const __m256i i2 = Coordinate(w2, limit);
    const __m256i entry = GridEntries(table, i0, i1, i2);
    const __m256i neighbour = NeighbourLanes(i0, i1, i2, white, whiteBits, previousKey);
    // Rounds up when the noise bit (bit 0 of the matrix at x + 24) is 0.
    const __m256i m24 = _mm256_load_si256(reinterpret_cast<const __m256i *>(block.m24 + j));
    const __m256i round = _mm256_andnot_si256(m24, Lanes(kLanesOne));
    StoreSmoothingTerms(entry, round, neighbour, block.x + j);
    StoreSmoothingCarries(neighbour, block.carry + j);
  }
}

// The smoothing over the block's printed pixels, carried from block to
// block.
struct Smoother {
  uint64_t y = 0;

  void Run(Block &block, uint32_t printed) {
    if (printed == ~0u) {  // most blocks of a page: no bit to look for
#pragma GCC unroll 8
      for (uint32_t j = 0; j < kBlock; ++j) {
        y = ((y & block.carry[j]) + block.x[j]) >> 1;
        block.y[j] = y;
      }
      return;
    }
    for (; printed != 0; printed &= printed - 1) {
      const uint32_t j = static_cast<uint32_t>(__builtin_ctz(printed));
      y = ((y & block.carry[j]) + block.x[j]) >> 1;
      block.y[j] = y;
    }
  }
};

// Ink k's palette index of pixel j, the first of eight.
inline const uint8_t *Ink(const Block &block, uint32_t j, int k) {
  return reinterpret_cast<const uint8_t *>(block.y + j) + 2 * k;
}

INKDOT_AVX2 inline __m256i Load(const uint32_t *p) {
  return _mm256_load_si256(reinterpret_cast<const __m256i *>(p));
}

// Ink 2's limits (low half) and screen total (high half) per palette
// index in one 64-bit word, copied per run: a lane's two values come in
// with one load instead of two. A total is compared only with matrix
// values (below 65536), so one of 2^31 or more is kept as 2^31 - 1, for
// the comparison to be a signed one.
struct ScreenWords {
  alignas(16) uint64_t words[256];

  explicit ScreenWords(const HybridTables &tables) {
    for (uint32_t p = 0; p < 256; ++p) {
      const uint32_t total = tables.totals[p] < 0x80000000u ? tables.totals[p] : 0x7FFFFFFFu;
      words[p] = tables.limits[p] | uint64_t{total} << 32;
    }
  }
};

// The words of pixels a and b, in one register.
INKDOT_AVX2 inline __m128i ScreenPair(const uint64_t *words, const uint8_t *levels, int a, int b) {
  const __m128d low = _mm_castsi128_pd(
      _mm_loadl_epi64(reinterpret_cast<const __m128i *>(words + levels[8 * a])));
  return _mm_castpd_si128(
      _mm_loadh_pd(low, reinterpret_cast<const double *>(words + levels[8 * b])));
}

// The words of eight palette indexes eight bytes apart, split into the
// limits and totals lanes. Pixels 0, 1 | 4, 5 go into one register and
// 2, 3 | 6, 7 into the other, so that taking the even (odd) halves of
// both puts the lanes in order.
INKDOT_AVX2 inline void ScreenLanes(const uint64_t *words, const uint8_t *levels,
                                    __m256i &limits, __m256i &totals) {
  const __m256 first = _mm256_castsi256_ps(
      _mm256_inserti128_si256(_mm256_castsi128_si256(ScreenPair(words, levels, 0, 1)),
                              ScreenPair(words, levels, 4, 5), 1));
  const __m256 second = _mm256_castsi256_ps(
      _mm256_inserti128_si256(_mm256_castsi128_si256(ScreenPair(words, levels, 2, 3)),
                              ScreenPair(words, levels, 6, 7), 1));
  limits = _mm256_castps_si256(_mm256_shuffle_ps(first, second, 0x88));
  totals = _mm256_castps_si256(_mm256_shuffle_ps(first, second, 0xDD));
}

// ScreenedInkDot lane by lane: nothing unless the total exceeds m, then 1,
// 2 with medium, 3 with medium and large.
INKDOT_AVX2 inline __m256i ScreenedDots(__m256i total, __m256i limits, __m256i m) {
  const __m256i any = _mm256_cmpgt_epi32(total, m);
  const __m256i large = _mm256_cmpgt_epi32(_mm256_and_si256(limits, Lanes(kLanesLowHalf)), m);
  const __m256i medium = _mm256_cmpgt_epi32(_mm256_srli_epi32(limits, 16), m);
  const __m256i code = _mm256_sub_epi32(_mm256_sub_epi32(Lanes(kLanesOne), medium),
                                        _mm256_and_si256(medium, large));
  return _mm256_and_si256(code, any);
}

// The small-dot offset by the step threshold t (even, 0..254), as
// ThresholdOffset, shifted right by `offsetShift`.
template <int kOffsetShift>
INKDOT_AVX2 inline __m256i Offsets(__m256i t) {
  const __m256i low = _mm256_cmpgt_epi32(_mm256_set1_epi32(8), t);      // 24
  const __m256i mid = _mm256_cmpgt_epi32(_mm256_set1_epi32(129), t);    // 20
  const __m256i high = _mm256_cmpgt_epi32(_mm256_set1_epi32(248), t);   // -20, else -24
  __m256i offset = _mm256_blendv_epi8(_mm256_set1_epi32(-24), _mm256_set1_epi32(-20), high);
  offset = _mm256_blendv_epi8(offset, _mm256_set1_epi32(20), mid);
  offset = _mm256_blendv_epi8(offset, _mm256_set1_epi32(24), low);
  return _mm256_srai_epi32(offset, kOffsetShift);
}

// The step thresholds and small-dot offsets of a periodic matrix row's
// columns, worked out once per run instead of for every group of pixels
// (they depend on the matrix value alone). Rows read in place have none:
// Front and Dots work theirs out per group.
template <int kOffsetShift>
class StepColumns {
 public:
  INKDOT_AVX2 StepColumns(const PeriodicRow &row, uint32_t width, __m128i shift)
      : columnMask_(row.ColumnMask()), ready_(row.Columns() != nullptr) {
    if (!ready_) return;
    const uint16_t *columns = row.Columns();
    for (uint32_t c = 0; c < width + kBlock; c += 8) {
      const __m256i m = _mm256_cvtepu16_epi32(
          _mm_loadu_si128(reinterpret_cast<const __m128i *>(columns + c)));
      const __m256i t = StepThresholdOf(m, shift);
      _mm256_store_si256(reinterpret_cast<__m256i *>(thresholds_ + c), t);
      _mm256_store_si256(reinterpret_cast<__m256i *>(offsets_ + c), Offsets<kOffsetShift>(t));
    }
  }

  // The thresholds and offsets of columns x .. x + kBlock - 1, or null.
  const uint32_t *ThresholdsAt(uint32_t x) const {
    return ready_ ? thresholds_ + (x & columnMask_) : nullptr;
  }
  const int32_t *OffsetsAt(uint32_t x) const {
    return ready_ ? offsets_ + (x & columnMask_) : nullptr;
  }

 private:
  uint32_t columnMask_;
  bool ready_;
  // Whole groups of eight past the copy's columns, for widths below 8.
  alignas(32) uint32_t thresholds_[PeriodicRow::kMaxWidth + kBlock + 8];
  alignas(32) int32_t offsets_[PeriodicRow::kMaxWidth + kBlock + 8];
};

// Ink 2's dots, the offsets, the printed lanes and, with kMatrixDots, the
// matrix-placed dots of inks 3, 0 and 1; without, the record offsets of
// the window diffusion, which places those dots itself from the records it
// reads anyway.
template <int kOffsetShift, bool kMatrixDots>
INKDOT_AVX2 inline void Dots(const HybridTables &tables, const ScreenWords &screens,
                             const int32_t *offsets, uint32_t pixels, __m128i shift,
                             Block &block) {
  for (uint32_t j = 0; j < pixels; j += 8) {
    const uint32_t white = (block.white >> j) & 0xFF;
    if (white == 0xFF) {
      _mm256_store_si256(reinterpret_cast<__m256i *>(block.codes + j), _mm256_setzero_si256());
      continue;
    }
    __m256i limits2, totals2;
    ScreenLanes(screens.words, Ink(block, j, 2), limits2, totals2);
    __m256i codes = _mm256_slli_epi32(ScreenedDots(totals2, limits2, Load(block.m48 + j)), 16);
    if constexpr (kMatrixDots) {
      const __m256i limits0 = LookupBytes<8>(tables.limits, Ink(block, j, 0));
      const __m256i limits1 = LookupBytes<8>(tables.limits, Ink(block, j, 1));
      const __m256i limits3 = LookupBytes<8>(tables.limits, Ink(block, j, 3));
      const __m256i c0 = MatrixDots(limits0, Load(block.m0 + j));
      const __m256i c1 = MatrixDots(limits1, Load(block.m16 + j));
      const __m256i c3 = MatrixDots(limits3, Load(block.m40 + j));
      codes = _mm256_or_si256(_mm256_or_si256(codes, c0),
                              _mm256_or_si256(_mm256_slli_epi32(c1, 8), _mm256_slli_epi32(c3, 24)));
    } else {
      StoreRecordOffsets(block.y + j, block.recordOffsets + j);
    }
    const __m256i printed = _mm256_xor_si256(LaneMask(white), _mm256_set1_epi32(-1));
    _mm256_store_si256(reinterpret_cast<__m256i *>(block.printed + j), printed);
    _mm256_store_si256(reinterpret_cast<__m256i *>(block.codes + j),
                       _mm256_and_si256(codes, printed));
    _mm256_store_si256(reinterpret_cast<__m256i *>(block.offset + j),
                       offsets != nullptr
                           ? _mm256_loadu_si256(reinterpret_cast<const __m256i *>(offsets + j))
                           : Offsets<kOffsetShift>(StepThreshold(block, j, shift)));
  }
}

// The diffusion of inks 3, 0 and 1, pixel by pixel, adding their small
// dots to the codes.
template <class Member>
__attribute__((flatten)) inline void Back(const HybridTables &tables, const uint32_t *dotParams, uint32_t pixels,
                 Block &block, RunState &state) {
  for (uint32_t j = 0; j < pixels; ++j, state.NextColumn()) {
    if ((block.white >> j) & 1) {
      state.PassWhite();
      continue;
    }
    const uint64_t y = block.y[j];
    const uint32_t p0 = static_cast<uint32_t>(y) & 0xFF;
    const uint32_t p1 = static_cast<uint32_t>(y >> 16) & 0xFF;
    const uint32_t p3 = static_cast<uint32_t>(y >> 48) & 0xFF;
    const uint32_t codes = block.codes[j];
    const int32_t offset = block.offset[j];
    const bool odd = (block.m24[j] & 1) == 0;
    state.activity = (state.activity >> 1) & kActivityLanes;
    const uint32_t c3 = DiffuseSmallDot<Member>(tables, dotParams, p3, codes >> 24, offset,
                                                state.activity, state.ink3, odd);
    const uint32_t c0 = DiffuseSmallDot<Member>(tables, dotParams, p0, codes & 0xFF, offset,
                                                state.activity, state.ink0, odd);
    const uint32_t c1 = DiffuseSmallDot<Member>(tables, dotParams, p1, (codes >> 8) & 0xFF,
                                                -offset, state.activity, state.ink1, odd);
    block.codes[j] = c0 | c1 << 8 | (codes & 0xFF0000) | c3 << 24;
  }
}

// The diffusion of inks 3, 0 and 1 through windows of error cells (see
// hybrid_window_avx2.h), a group of eight pixels at a time, adding their
// small dots to the codes.
template <class Member>
class WindowDiffusion {
 public:
  INKDOT_AVX2 void Start(const HybridTables &tables, const uint32_t *dotParams,
                         int32_t *const lines[3], uint32_t startX) {
    weights_ = &kFilterRows<Member>.weights[0][0][0];
    LoadRecords<Member>(tables, dotParams, records_);
    for (int k = 0; k < 3; ++k) {
      // The assembly sets only the low byte of an outcome.
      std::memset(lanes_[k].noDot, 0, sizeof lanes_[k].noDot);
      std::memset(lanes_[k].ring, 0, sizeof lanes_[k].ring);
      cells_[k] = lines[kLine[k]] + startX - kLead;
      InkWindow &w = windows_[k];
      const auto *at = reinterpret_cast<const __m256i *>(cells_[k]);
      w.w0 = _mm256_loadu_si256(at);
      w.w1 = _mm256_loadu_si256(at + 1);
      w.w2 = _mm256_loadu_si256(at + 2);
      w.w3 = _mm256_loadu_si256(at + 3);
      w.cell = static_cast<uint32_t>(cells_[k][kLead]);
    }
  }

  // The block of `pixels` from `first` (a multiple of 32); `last` when the
  // run ends with it.
  INKDOT_AVX2 void Run(Block &block, uint32_t pixels, uint32_t first, bool last,
                       uint32_t &activity) {
    uint32_t small[3] = {};
    for (uint32_t i0 = 0; i0 < pixels; i0 += 8) {
      if ((block.white >> i0 & 0xFF) != 0xFF) Prepare(block, i0, small);
    }
    uint32_t active[3];
    Activity(block, small, activity, active);
    // Lanes where an ink rests within a group it diffuses in; a group it
    // does not diffuse in at all is quiet for it (below).
    for (int k = 0; k < 3; ++k) {
      if (active[k] == 0 || active[k] == ~0u) continue;  // most blocks of a page
      for (uint32_t i0 = 0; i0 < pixels; i0 += 8) {
        const uint32_t idle = ~active[k] >> i0 & 0xFF;
        if (idle != 0 && idle != 0xFF) Idle<Member>(LaneMask(idle), i0, lanes_[k]);
      }
    }
    // The windows in locals, which stay in registers, copied register by
    // register: as a whole, GCC copies them in 16-byte pieces, which the
    // 32-byte loads after cannot take from the stores in flight. Every
    // access indexes them by a constant (EachInk): one by a loop variable
    // keeps all three in memory.
    InkWindow w[3];
    EachInk([&](auto k) INKDOT_AVX2 { CopyWindow(windows_[k], w[k]); });
    const uint32_t groupInks = GroupInks(active);
    for (uint32_t i0 = 0; i0 < pixels; i0 += 8) {
      if (first + i0 != 0) {
        EachInk([&](auto k) INKDOT_AVX2 {
          Advance(w[k], lanes_[k].ring + i0, cells_[k] + first + i0 - 8);
        });
      }
      // The inks that diffuse somewhere in the group step pixel by pixel,
      // the others are quiet.
      switch (groupInks >> i0 & 7) {
        case 0: Steps<0>(w, i0); break;
        case 1: Steps<1>(w, i0); break;
        case 2: Steps<2>(w, i0); break;
        case 3: Steps<3>(w, i0); break;
        case 4: Steps<4>(w, i0); break;
        case 5: Steps<5>(w, i0); break;
        case 6: Steps<6>(w, i0); break;
        default: Steps<7>(w, i0); break;
      }
    }
    const uint32_t end = (pixels - 1) & ~7u;
    if (last) {
      EachInk([&](auto k) INKDOT_AVX2 {
        hybrid::Finish<Member>(w[k], lanes_[k], pixels - 1, weights_, end, (pixels - 1) & 7,
                               cells_[k] + first + end);
      });
    } else {
      EachInk([&](auto k) INKDOT_AVX2 { RingToNextBlock(lanes_[k].ring); });
    }
    EachInk([&](auto k) INKDOT_AVX2 { CopyWindow(w[k], windows_[k]); });
    for (uint32_t i0 = 0; i0 < pixels; i0 += 8) {
      const __m256i dots =
          _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(Dots(0, i0), 24), Dots(1, i0)),
                          _mm256_slli_epi32(Dots(2, i0), 8));
      auto *codes = reinterpret_cast<__m256i *>(block.codes + i0);
      _mm256_store_si256(codes, _mm256_max_epu8(_mm256_load_si256(codes), dots));
    }
  }

 private:
  // f(k) for the window slots k = 0, 1, 2 as constants, so that the
  // windows are only ever indexed by constants and stay in registers.
  template <class F>
  INKDOT_AVX2 static void EachInk(F &&f) {
    f(std::integral_constant<int, 0>{});
    f(std::integral_constant<int, 1>{});
    f(std::integral_constant<int, 2>{});
  }

  // Inks 3, 0 and 1: their error lines, code bytes and activity lanes.
  static constexpr int kLine[3] = {2, 0, 1};
  static constexpr int kCode[3] = {3, 0, 1};
  static constexpr int kShift[3] = {0, 16, 8};  // activity lanes

  INKDOT_AVX2 static void CopyWindow(const InkWindow &from, InkWindow &to) {
    to.w0 = from.w0;
    to.w1 = from.w1;
    to.w2 = from.w2;
    to.w3 = from.w3;
    to.cell = from.cell;
  }

  // Ink k's small dots (1) of the group at i0.
  INKDOT_AVX2 __m256i Dots(int k, uint32_t i0) const {
    return _mm256_xor_si256(Load(lanes_[k].noDot + i0), Lanes(kLanesOne));
  }

  // Bits i0 .. i0 + 2: the inks that diffuse somewhere in the group at
  // i0 (bit k: ink slot k), for the four groups at once.
  static uint32_t GroupInks(const uint32_t active[3]) {
    uint32_t inks = 0;
    for (int k = 0; k < 3; ++k) {
      // Bit 7 of each byte: the byte is not zero.
      const uint32_t t = active[k];
      inks |= ((((t & 0x7F7F7F7Fu) + 0x7F7F7F7Fu) | t) & 0x80808080u) >> (7 - k);
    }
    return inks;
  }

  // The pixels at which each ink diffuses (bit i: pixel i), from the
  // pixels with a small amount of it and the activity before the block.
  static void Activity(const Block &block, const uint32_t small[3], uint32_t &activity,
                       uint32_t active[3]) {
    if (block.white == 0) {
      uint32_t after = 0;
      for (int k = 0; k < 3; ++k) {
        uint32_t lane = activity >> kShift[k] & 0x1F;
        active[k] = ActiveRun(small[k], lane);
        after |= lane << kShift[k];
      }
      activity = after;
      return;
    }
    active[0] = active[1] = active[2] = 0;
    for (uint32_t i = 0; i < kBlock; ++i) {
      if ((block.white >> i) & 1) continue;
      activity = (activity >> 1) & kActivityLanes;
      for (int k = 0; k < 3; ++k) {
        activity |= (small[k] >> i & 1) << (kShift[k] + 4);
        active[k] |= (activity >> kShift[k] & 0x1F) != 0 ? 1u << i : 0;
      }
    }
  }

  // The group at i0 of each ink: its lanes, its matrix-placed dots into
  // the codes and its small amounts into `small`.
  INKDOT_AVX2 void Prepare(Block &block, uint32_t i0, uint32_t small[3]) {
    const __m256i offset =
        _mm256_load_si256(reinterpret_cast<const __m256i *>(block.offset + i0));
    const __m256i half =
        _mm256_slli_epi32(_mm256_andnot_si256(Load(block.m24 + i0), Lanes(kLanesOne)), 4);
    const __m256i printed = Load(block.printed + i0);
    const uint32_t *matrix[3] = {block.m40, block.m0, block.m16};
    __m256i codes = Load(block.codes + i0);
#pragma GCC unroll 3
    for (int k = 0; k < 3; ++k) {
      __m256i dots;
      small[k] |= PrepareInk<Member>(
                      records_,
                      reinterpret_cast<const uint16_t *>(block.recordOffsets + i0) + kCode[k],
                      Load(matrix[k] + i0), printed,
                      k == 2 ? _mm256_sub_epi32(_mm256_setzero_si256(), offset) : offset,
                      half, i0, lanes_[k], dots)
                  << i0;
      codes = _mm256_or_si256(codes, _mm256_slli_epi32(dots, 8 * kCode[k]));
    }
    _mm256_store_si256(reinterpret_cast<__m256i *>(block.codes + i0), codes);
  }

  // A group where an ink does not diffuse (white pixels, or no small
  // amounts lately): each pixel's cell takes the carry and nothing spreads,
  // so the cells the pixels read are the window's lanes as they are, the
  // first less the carry the pixel before added to it.
  INKDOT_AVX2 void Quiet(InkWindow &w, uint32_t i0, InkLanes &lanes) {
    // Lanes 12..19, the first replaced by the cell, into the ring.
    const __m256i cells = _mm256_blend_epi32(
        _mm256_permute2x128_si256(w.w1, w.w2, 0x21),
        _mm256_castsi128_si256(_mm_cvtsi32_si128(static_cast<int>(w.cell))), 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(lanes.ring + i0 + kRingStart + kLead),
                        cells);
    w.cell = static_cast<uint32_t>(_mm256_extract_epi32(w.w2, 4));  // lane 20
    // What Finish reads of the pixels: no carry, no dot, and an amount of
    // 0 (a group of white pixels was never prepared).
    const __m256i none = NoneRows<Member>();
    _mm256_store_si256(reinterpret_cast<__m256i *>(lanes.choice + i0), none);
    _mm256_store_si256(reinterpret_cast<__m256i *>(lanes.noDotChoice + i0), none);
    _mm256_store_si256(reinterpret_cast<__m256i *>(lanes.amountLessDot + i0),
                       _mm256_set1_epi32(-Member::kDotValue));
    _mm256_store_si256(reinterpret_cast<__m256i *>(lanes.noDot + i0), _mm256_set1_epi32(1));
  }

  // The group at i0: the inks of kInks (bit k: ink slot k) pixel by
  // pixel, interleaved, the others quiet.
  template <int kInks>
  INKDOT_AVX2 void Steps(InkWindow w[3], uint32_t i0) {
    EachInk([&](auto k) INKDOT_AVX2 {
      if constexpr ((kInks >> k & 1) == 0) Quiet(w[k], i0, lanes_[k]);
    });
    if constexpr (kInks != 0) Group<kInks>(w, i0, std::make_integer_sequence<int, 8>{});
  }
  template <int kInks, int... J>
  INKDOT_AVX2 void Group(InkWindow w[3], uint32_t i0, std::integer_sequence<int, J...>) {
    // Opaque to the loop optimiser, so that the pixels' lanes are read at
    // constant offsets from one index instead of each through an induction
    // variable of its own (which GCC keeps on the stack).
    size_t at = i0;
    asm("" : "+r"(at));
    (Pixel<kInks, J>(w, at + J, at), ...);
  }
  template <int kInks, int J>
  INKDOT_AVX2 void Pixel(InkWindow w[3], size_t i, size_t r0) {
#if defined(__x86_64__)
    if constexpr (kPixelByHand<Member>) {
      constexpr int kFirst = (kLead + J - Member::kReachLeft) / 8;
      constexpr int kLast = (kLead + J + Member::kReachRight) / 8;
      PixelByHand<kInks, J, kFirst, kLast < 3 ? kLast : 3>(
          w, &lanes_, reinterpret_cast<const char *>(lanes_) + 4 * r0, weights_);
      return;
    }
#endif
    if constexpr ((kInks & 1) != 0) Step<Member, J>(w[0], lanes_[0], i, r0, weights_);
    if constexpr ((kInks & 2) != 0) Step<Member, J>(w[1], lanes_[1], i, r0, weights_);
    if constexpr ((kInks & 4) != 0) Step<Member, J>(w[2], lanes_[2], i, r0, weights_);
  }

  const int32_t *weights_;
  int32_t *cells_[3];  // each ink's line from the run's first window
  InkWindow windows_[3];
  InkLanes lanes_[3];
  InkRecord records_[256];
};

// What the members without window filters keep in its place.
struct NoWindow {};

// The codes of the block packed into output bytes: byte k of word q is
// plane k's byte q of the block, its first pixel on top. The eight words
// are put together in lanes and stored at once, so that the 32-byte load
// which takes them back finds them in one store, not in eight still in
// flight.
INKDOT_AVX2 inline void Pack(const Block &block, uint32_t pixels, uint32_t bytes[8]) {
  const __m256i fieldShift = _mm256_setr_epi32(6, 4, 2, 0, 6, 4, 2, 0);
  __m256i groups[4];
  for (uint32_t g = 0; g < 4; ++g) {
    if (8 * g >= pixels) {
      groups[g] = _mm256_setzero_si256();
      continue;
    }
    __m256i codes = _mm256_sllv_epi32(Load(block.codes + 8 * g), fieldShift);
    // Four pixels' fields of every plane into one word, in each lane of
    // its half: words 2g (low half) and 2g + 1 (high half).
    codes = _mm256_or_si256(codes, _mm256_shuffle_epi32(codes, 0xB1));
    groups[g] = _mm256_or_si256(codes, _mm256_shuffle_epi32(codes, 0x4E));
  }
  // Words 0, 2, 4, 6 | 1, 3, 5, 7, then in order.
  const __m256i words =
      _mm256_unpacklo_epi64(_mm256_unpacklo_epi32(groups[0], groups[1]),
                            _mm256_unpacklo_epi32(groups[2], groups[3]));
  _mm256_store_si256(reinterpret_cast<__m256i *>(bytes),
                     _mm256_permutevar8x32_epi32(words, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)));
}

template <class Member, int kStep>
INKDOT_AVX2_CALL void Run(HalftoneContext *ht, const RowRun &run, int32_t *const lines[3]) {
  HybridTables tables;
  tables.Load(ht, false);
  const uint32_t *dotParams = ht->dotParams;
  const auto *table = ColourTable(ht);
  const GridWords grid(GridIndex(ht));
  const ScreenWords screens(tables);
  const PeriodicRow rowA(MatrixRow(ht, run.row), ht->matrixWidth);
  const PeriodicRow rowB(MatrixRow(ht, run.row + 24), ht->matrixWidth);
  const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(ThresholdShift(ht->matrixSize)));
  const StepColumns<Member::kOffsetShift> steps(rowA, ht->matrixWidth, shift);

  BlockPlanes<4> out(run.dst, run.planeStride, 2 * run.firstBit);
  RunState state(lines, run.startX);
  // 35 is no reachable key: the run's first pixel is never a neighbour.
  uint32_t previousKey = 35;
  Smoother smoother;
  Block block{};  // the indexes of white pixels stay in range
  std::conditional_t<Member::kWindowFilter, WindowDiffusion<Member>, NoWindow> window;
  if constexpr (Member::kWindowFilter) window.Start(tables, dotParams, lines, run.startX);
  for (uint32_t first = 0;; first += kBlock) {
    const uint32_t pixels = run.count - first < kBlock ? run.count - first : kBlock;
    const uint32_t lanes = (pixels + 7) & ~7u;
    const uint32_t x = run.startX + first;
    rowA.Window(x, lanes, block.m0);
    rowB.Window(x + 16, lanes, block.m16);
    rowA.Window(x + 24, lanes, block.m24);
    rowB.Window(x + 40, lanes, block.m40);
    rowA.Window(x + 48, lanes, block.m48);
    Front<kStep>(run.src + (kStep == 1 ? 2 : 4) * uintptr_t{first}, pixels, grid.words, table,
                 steps.ThresholdsAt(x + 24), shift, previousKey, block);
    // Lanes past the run print nothing, like white pixels.
    block.white |= pixels == kBlock ? 0u : ~0u << pixels;
    smoother.Run(block, ~block.white);
    Dots<Member::kOffsetShift, !Member::kWindowFilter>(tables, screens, steps.OffsetsAt(x + 24),
                                                       pixels, shift, block);
    const bool last = pixels < kBlock || first + kBlock == run.count;
    if constexpr (Member::kWindowFilter) {
      window.Run(block, pixels, first, last, state.activity);
    } else {
      Back<Member>(tables, dotParams, pixels, block, state);
    }
    alignas(32) uint32_t bytes[8];
    Pack(block, pixels, bytes);
    if (PutTwoBitBlock(out, bytes, pixels, last)) return;
  }
}

}  // namespace

template <class Member>
void HybridColourRunAvx2(HalftoneContext *ht, const RowRun &run, int32_t *const lines[3]) {
  if (ht->params.magnification == 1) {
    Run<Member, 1>(ht, run, lines);
  } else {
    Run<Member, 0>(ht, run, lines);
  }
}

}  // namespace hybrid
}  // namespace inkdot

#else

namespace inkdot {
namespace hybrid {

// Never reached: DetectVectorPath chooses the portable path here.
template <class Member>
void HybridColourRunAvx2(HalftoneContext *, const RowRun &, int32_t *const[3]) {}

}  // namespace hybrid
}  // namespace inkdot

#endif

namespace inkdot {
namespace hybrid {

template void HybridColourRunAvx2<Square>(HalftoneContext *, const RowRun &, int32_t *const[3]);
template void HybridColourRunAvx2<Wide>(HalftoneContext *, const RowRun &, int32_t *const[3]);
template void HybridColourRunAvx2<Fine>(HalftoneContext *, const RowRun &, int32_t *const[3]);
template void HybridColourRunAvx2<Tall>(HalftoneContext *, const RowRun &, int32_t *const[3]);

}  // namespace hybrid
}  // namespace inkdot
