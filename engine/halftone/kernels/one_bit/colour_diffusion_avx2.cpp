// SPDX-License-Identifier: Apache-2.0
// DiffusedColourLanes: the three diffused inks of the fast one-bit colour
// diffusion kernels in the lanes of one vector, on an interleaved window of
// their error lines.
#include "halftone/kernels/one_bit/colour_diffusion_avx2.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstring>

#define INKDOT_LANES __attribute__((target("avx2"), always_inline))
#define INKDOT_LANES_CALL __attribute__((target("avx2")))

namespace inkdot {

namespace {

// What a pixel's matrix value m gives the lanes, indexed by its low byte:
// the threshold offset, negated for ink 1, and the noise bit of the
// colour kernels' filters (bit 0 of m inverted) as a mask.
struct LaneMatrix {
  alignas(16) int32_t offset[4];
  alignas(16) int32_t noise[4];
};

constexpr std::array<LaneMatrix, 256> kLaneMatrix = [] {
  std::array<LaneMatrix, 256> table{};
  for (uint32_t m = 0; m < 256; ++m) {
    const int32_t offset = kThresholdOffsets[m & 0xFE];
    const int32_t noise = (m & 1) == 0 ? -1 : 0;
    table[m] = {{offset, -offset, offset, 0}, {noise, noise, noise, noise}};
  }
  return table;
}();

INKDOT_LANES inline __m128i Load(const int32_t *p) {
  return _mm_load_si128(reinterpret_cast<const __m128i *>(p));
}

INKDOT_LANES inline void Store(int32_t *p, __m128i v) {
  _mm_store_si128(reinterpret_cast<__m128i *>(p), v);
}

INKDOT_LANES inline void AddTo(int32_t *p, __m128i v) { Store(p, _mm_add_epi32(Load(p), v)); }

// table[level] of the three inks, their levels in bytes 0, 2 and 4 of y.
INKDOT_LANES inline __m128i Lookup3(const int32_t *table, const uint8_t *y) {
  const __m128i first = _mm_cvtsi32_si128(table[y[0]]);
  return _mm_insert_epi32(_mm_insert_epi32(first, table[y[2]], 1), table[y[4]], 2);
}

// The narrow filters, all three lanes at once, for the inks whose filter
// does not depend on the wide classes: every ink above T0, and every ink
// without a dot (an inactive ink's zero error gives "the cell takes the
// carry"). `above`: the level is above T0; `blank`: no dot. Adds to the
// cells around `cell` (column x), stores column x's, and returns column
// x + 1's, which the caller keeps in a register as the next pixel's cell.
template <class Filters>
struct NarrowLanes;

template <>
struct NarrowLanes<SquareFilters> {
  INKDOT_LANES static __m128i Apply(int32_t (*cell)[4], __m128i e, __m128i above, __m128i,
                                    __m128i, __m128i &carry) {
    const __m128i four = _mm_slli_epi32(e, 2), eight = _mm_slli_epi32(e, 3);
    AddTo(cell[2], four);
    AddTo(cell[-2], four);
    // Above T0 4e to the left, else 8e; above T0 carries 4e.
    AddTo(cell[-1], _mm_add_epi32(four, _mm_andnot_si128(above, four)));
    Store(cell[0], _mm_add_epi32(eight, carry));
    carry = _mm_and_si128(four, above);
    return _mm_add_epi32(Load(cell[1]), eight);
  }
};

// WideColourFilters' class above T0 (both of its filters), which with no
// dot is also the filter of every undotted ink.
template <>
struct NarrowLanes<WideColourFilters> {
  INKDOT_LANES static __m128i Apply(int32_t (*cell)[4], __m128i e, __m128i above,
                                    __m128i blank, __m128i noise, __m128i &carry) {
    const __m128i dotted = _mm_andnot_si128(blank, above);
    const __m128i four = _mm_slli_epi32(e, 2);
    const __m128i share = _mm_andnot_si128(dotted, four);
    const __m128i left = _mm_and_si128(share, noise);
    const __m128i right = _mm_sub_epi32(share, left);
    const __m128i two = _mm_and_si128(_mm_add_epi32(e, e), dotted);
    AddTo(cell[2], four);
    AddTo(cell[3], _mm_add_epi32(left, two));
    AddTo(cell[4], two);
    AddTo(cell[-1], _mm_add_epi32(four, left));
    AddTo(cell[-2], four);
    AddTo(cell[-3], _mm_add_epi32(right, two));
    AddTo(cell[-4], two);
    Store(cell[0], _mm_add_epi32(_mm_add_epi32(four, share), carry));
    carry = _mm_and_si128(four, dotted);
    return _mm_add_epi32(Load(cell[1]), _mm_add_epi32(four, right));
  }
};

}  // namespace

template <class Filters>
INKDOT_LANES_CALL DiffusedColourLanes<Filters>::DiffusedColourLanes(
    const DiffusedColourInks<Filters, false> &inks, uint32_t startX, uint32_t count)
    : lines_{inks.Line(0), inks.Line(1), inks.Line(2)},
      limits_(inks.Limits()),
      windowStart_(static_cast<int32_t>(startX) - kLead),
      first_(static_cast<int32_t>(startX) - kReach),
      end_(static_cast<int32_t>(startX + count) + kReach) {
  using Inks = DiffusedColourInks<Filters, false>;
  for (int k = 0; k < 3; ++k) activity_[k] = Inks::kActivityStart;
  activity_[3] = 0;  // the spare lane never diffuses
  for (int v = 0; v < 256; ++v) {
    thresholds_[v] = inks.DotCurveValues()[v];
    tones_[v] = inks.ToneCurveValues()[v];
  }
  LoadColumns(windowStart_, windowStart_ + kWindowCells);
}

template <class Filters>
INKDOT_LANES_CALL void DiffusedColourLanes<Filters>::LoadColumns(int32_t from, int32_t to) {
  const int32_t lo = std::clamp(first_, from, to), hi = std::clamp(end_, lo, to);
  std::memset(Cell(from), 0, sizeof(cells_[0]) * static_cast<size_t>(lo - from));
  std::memset(Cell(hi), 0, sizeof(cells_[0]) * static_cast<size_t>(to - hi));
  int32_t c = lo;
  // Four columns of the three lines at a time, transposed into four cells.
  for (; c + 4 <= hi; c += 4) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lines_[0] + c));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lines_[1] + c));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lines_[2] + c));
    const __m128i zero = _mm_setzero_si128();
    const __m128i ab01 = _mm_unpacklo_epi32(a, b), ab23 = _mm_unpackhi_epi32(a, b);
    const __m128i d01 = _mm_unpacklo_epi32(d, zero), d23 = _mm_unpackhi_epi32(d, zero);
    Store(Cell(c), _mm_unpacklo_epi64(ab01, d01));
    Store(Cell(c + 1), _mm_unpackhi_epi64(ab01, d01));
    Store(Cell(c + 2), _mm_unpacklo_epi64(ab23, d23));
    Store(Cell(c + 3), _mm_unpackhi_epi64(ab23, d23));
  }
  for (; c < hi; ++c) {
    for (int k = 0; k < 3; ++k) Cell(c)[k] = lines_[k][c];
    Cell(c)[3] = 0;
  }
}

template <class Filters>
INKDOT_LANES_CALL void DiffusedColourLanes<Filters>::StoreColumns(int32_t from, int32_t to) const {
  const int32_t lo = std::clamp(first_, from, to), hi = std::clamp(end_, lo, to);
  int32_t c = lo;
  for (; c + 4 <= hi; c += 4) {
    const __m128i c0 = Load(Cell(c)), c1 = Load(Cell(c + 1));
    const __m128i c2 = Load(Cell(c + 2)), c3 = Load(Cell(c + 3));
    const __m128i ab01 = _mm_unpacklo_epi32(c0, c1), ab23 = _mm_unpacklo_epi32(c2, c3);
    const __m128i d01 = _mm_unpackhi_epi32(c0, c1), d23 = _mm_unpackhi_epi32(c2, c3);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(lines_[0] + c), _mm_unpacklo_epi64(ab01, ab23));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(lines_[1] + c), _mm_unpackhi_epi64(ab01, ab23));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(lines_[2] + c), _mm_unpacklo_epi64(d01, d23));
  }
  for (; c < hi; ++c) {
    for (int k = 0; k < 3; ++k) lines_[k][c] = Cell(c)[k];
  }
}

template <class Filters>
INKDOT_LANES_CALL void DiffusedColourLanes<Filters>::Finish() {
  StoreColumns(windowStart_, windowStart_ + kWindowCells);
}

template <class Filters>
INKDOT_LANES_CALL int32_t DiffusedColourLanes<Filters>::SpreadWide(int32_t (*cell)[4], int lane,
                                                                    int32_t level, int32_t error,
                                                                    uint32_t noise) const {
  // Ink 1 of the fast kernels has no noise term in its widest filter's limit.
  const int32_t t3Limit = lane == 1 ? limits_.t3 : T3Limit<Filters>(limits_, noise);
  int32_t spread[2 * kReach] = {};
  const int32_t carry =
      Filters::Apply(spread + kReach, {level, error, true, noise, t3Limit}, 0, limits_);
  for (int32_t k = -kReach; k < kReach; ++k) cell[k][lane] += spread[kReach + k];
  return carry;
}

template <class Filters>
INKDOT_LANES_CALL void DiffusedColourLanes<Filters>::Pixels(const uint64_t *y,
                                                             const uint32_t *matrix,
                                                             uint64_t white, uint32_t pixels,
                                                             int32_t x0, uint8_t *dots) {
  if (x0 - kLead != windowStart_) {
    // The next block: the cells before it are final; the window moves on
    // by a block.
    StoreColumns(windowStart_, windowStart_ + kBlockPixels);
    std::memcpy(cells_[0], cells_[kBlockPixels], sizeof(cells_[0]) * (kWindowCells - kBlockPixels));
    windowStart_ += kBlockPixels;
    LoadColumns(windowStart_ + kWindowCells - kBlockPixels, windowStart_ + kWindowCells);
  }
  const __m128i zero = _mm_setzero_si128();
  const __m128i levelMask = _mm_setr_epi32(0xFF, 0xFF, 0xFF, 0);
  const __m128i refill =
      _mm_set1_epi32(static_cast<int>(DiffusedColourInks<Filters, false>::kActivityRefill));
  const __m128i t0 = _mm_set1_epi32(limits_.t0);
  __m128i carry = Load(carry_), activity = Load(activity_);
  int32_t(*cell)[4] = cells_ + (x0 - windowStart_);
  __m128i next = Load(cell[0]);
  for (uint32_t j = 0; j < pixels; ++j, ++cell) {
    if ((white >> j) & 1) {
      // A white pixel: every cell takes its carry.
      Store(cell[0], carry);
      carry = zero;
      next = Load(cell[1]);
      dots[j] = 0;
      continue;
    }
    const uint8_t *levels = reinterpret_cast<const uint8_t *>(y + j);
    const __m128i level = _mm_and_si128(
        _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(y + j))),
        levelMask);
    // An ink stays active for four pixels after its last nonzero level.
    activity = _mm_or_si128(_mm_srli_epi32(activity, 1),
                            _mm_andnot_si128(_mm_cmpeq_epi32(level, zero), refill));
    const __m128i inactive = _mm_cmpeq_epi32(activity, zero);
    const LaneMatrix &lane = kLaneMatrix[matrix[j] & 0xFF];
    const __m128i threshold = _mm_add_epi32(Lookup3(thresholds_, levels), Load(lane.offset));
    const __m128i corrected = _mm_add_epi32(level, _mm_srai_epi32(next, 5));
    const __m128i noDot = _mm_cmpgt_epi32(threshold, corrected);
    const __m128i blank = _mm_or_si128(noDot, inactive);
    const int blankBits = _mm_movemask_ps(_mm_castsi128_ps(blank));
    dots[j] = static_cast<uint8_t>(blankBits ^ 0xF);
    // A dot takes its tone off the error; an inactive ink spreads none.
    const __m128i error = _mm_andnot_si128(
        inactive,
        _mm_sub_epi32(corrected, _mm_andnot_si128(noDot, Lookup3(tones_, levels))));
    const __m128i above = _mm_cmpgt_epi32(level, t0);
    const int narrowBits = _mm_movemask_ps(_mm_castsi128_ps(above)) | blankBits;
    const __m128i noise = Load(lane.noise);
    if (narrowBits == 0xF) {
      next = NarrowLanes<Filters>::Apply(cell, error, above, blank, noise, carry);
      continue;
    }
    // Dotted inks at or below T0 take the wide filters, one by one; the
    // others the narrow ones as above.
    const __m128i narrow = _mm_or_si128(above, blank);
    Store(cell[1], NarrowLanes<Filters>::Apply(cell, _mm_and_si128(error, narrow), above, blank,
                                               noise, carry));
    alignas(16) int32_t e[4], l[4], c[4];
    Store(e, error);
    Store(l, level);
    Store(c, carry);
    const uint32_t filterNoise = (matrix[j] & 1) ^ 1;
    for (int wide = ~narrowBits & 7; wide != 0; wide &= wide - 1) {
      const int k = __builtin_ctz(static_cast<unsigned>(wide));
      c[k] += SpreadWide(cell, k, l[k], e[k], filterNoise);
    }
    carry = Load(c);
    next = Load(cell[1]);
  }
  Store(cell[0], next);
  Store(carry_, carry);
  Store(activity_, activity);
}

template class DiffusedColourLanes<SquareFilters>;
template class DiffusedColourLanes<WideColourFilters>;

}  // namespace inkdot

#endif
