// SPDX-License-Identifier: Apache-2.0
// DiffusedColourLanes: the three diffused inks of the fast one-bit colour
// diffusion kernels in the lanes of one vector, on an interleaved window of
// their error lines.
#include "halftone/kernels/one_bit/colour_diffusion_avx2.h"

#include "halftone/kernels/error_lines.h"

#if defined(__i386__) || defined(__x86_64__)

#include <algorithm>
#include <array>
#include <cstring>

#include "halftone/kernels/avx2_lanes.h"

namespace inkdot {

namespace {

// What a pixel's matrix value m gives the lanes, indexed by its low byte
// (64 bytes an entry, so that the index is one shift): the threshold
// offset, negated for ink 1, and the noise bit of the colour kernels'
// filters (bit 0 of m inverted) as a mask, and what the 1440 x 720 filter
// makes of it.
struct LaneMatrix {
  alignas(64) int32_t offset[4];
  int32_t noise[4];
  int32_t right[4];       // 1 when the noise bit sends a share right, else 0
  int32_t rightShift[4];  // 2 + right
};

constexpr int32_t kNeverDots = 1 << 30;

constexpr std::array<LaneMatrix, 256> kLaneMatrix = [] {
  std::array<LaneMatrix, 256> table{};
  for (uint32_t m = 0; m < 256; ++m) {
    const int32_t offset = kThresholdOffsets[m & 0xFE];
    const int32_t noise = (m & 1) == 0 ? -1 : 0;
    const int32_t right = noise == 0 ? 1 : 0;
    // The spare lane's offset keeps it from ever dotting.
    table[m] = {{offset, -offset, offset, kNeverDots},
                {noise, noise, noise, noise},
                {right, right, right, right},
                {2 + right, 2 + right, 2 + right, 2 + right}};
  }
  return table;
}();

INKDOT_AVX2 inline __m128i LoadLanes(const int32_t *p) {
  return _mm_load_si128(reinterpret_cast<const __m128i *>(p));
}

INKDOT_AVX2 inline void StoreLanes(int32_t *p, __m128i v) {
  _mm_store_si128(reinterpret_cast<__m128i *>(p), v);
}

// The cells near the pixel at column x, kept in registers: ahead[k] is the
// cell of column x + k (the pixel's own first), behind[k] that of column
// x - 1 - k. The cell the next pixel reads is then a register, not a load
// of a store just made, and no cell is read back while a store to it is
// on its way.
template <int kAhead, int kBehind>
struct RegisterCells {
  __m128i ahead[kAhead];
  __m128i behind[kBehind];

  // From and to the window, `cell` being column x's.
  INKDOT_AVX2 void Load(const int32_t (*cell)[4]) {
    for (int k = 0; k < kAhead; ++k) ahead[k] = LoadLanes(cell[k]);
    for (int k = 0; k < kBehind; ++k) behind[k] = LoadLanes(cell[-1 - k]);
  }

  INKDOT_AVX2 void Store(int32_t (*cell)[4]) const {
    for (int k = 0; k < kAhead; ++k) StoreLanes(cell[k], ahead[k]);
    for (int k = 0; k < kBehind; ++k) StoreLanes(cell[-1 - k], behind[k]);
  }

  // On to column x + 1, column x's cell now holding `own`: the cell no
  // filter reaches any more goes to the window, and the one coming into
  // reach is read from it.
  INKDOT_AVX2 void Next(int32_t (*cell)[4], __m128i own) {
    StoreLanes(cell[-kBehind], behind[kBehind - 1]);
    for (int k = kBehind - 1; k > 0; --k) behind[k] = behind[k - 1];
    behind[0] = own;
    for (int k = 0; k + 1 < kAhead; ++k) ahead[k] = ahead[k + 1];
    ahead[kAhead - 1] = LoadLanes(cell[kAhead]);
  }
};

// The reach and tone entries of the three inks' levels (bytes 0, 2 and 4
// of y), in lanes 0 to 2 of `reach` and `tone`. Three 8-byte loads and
// three shuffles: a 4-byte insert from memory per ink per table took the
// processor's vector load pipes, which bound the loop.
template <class Entry>
INKDOT_AVX2 inline __m128 LoadEntry(const Entry *entry) {
  static_assert(sizeof(Entry) == 8);
  return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(entry)));
}

template <class Entry>
INKDOT_AVX2 inline void Lookup3(const Entry *table, const uint8_t *y, __m128i &reach,
                                 __m128i &tone) {
  // reach, tone of inks 0 and 1; of ink 3, then zeros
  const __m128 first = _mm_movelh_ps(LoadEntry(table + y[0]), LoadEntry(table + y[2]));
  const __m128 last = LoadEntry(table + y[4]);
  reach = _mm_castps_si128(_mm_shuffle_ps(first, last, _MM_SHUFFLE(2, 0, 2, 0)));
  tone = _mm_castps_si128(_mm_shuffle_ps(first, last, _MM_SHUFFLE(3, 1, 3, 1)));
}

// The narrow filters, all three lanes at once, for the inks whose filter
// does not depend on the wide classes: every ink above T0, and every ink
// without a dot (an inactive ink's zero error gives "the cell takes the
// carry"). Cells is the reach of the filter set in registers. Step()
// spreads the error e of the pixel at `cell` into them and moves them on
// by one column; the next cell's share is written so that few operations
// lie between one pixel's cell and the next one's.
template <class Filters>
struct NarrowLanes;

template <>
struct NarrowLanes<SquareFilters> {
  using Cells = RegisterCells<2, 2>;

  // What the filters take of a pixel besides its error: its level above T0
  // (an inactive ink's error is zero, whatever the class).
  struct Pixel {
    __m128i above;
  };

  INKDOT_AVX2 static Pixel Prepare(__m128i above, __m128i, const LaneMatrix &) {
    return {above};
  }

  INKDOT_AVX2 static void Step(int32_t (*cell)[4], __m128i e, const Pixel &p,
                                Cells &cells, __m128i &carry) {
    const __m128i four = _mm_slli_epi32(e, 2), eight = _mm_slli_epi32(e, 3);
    cells.ahead[1] = _mm_add_epi32(cells.ahead[1], eight);
    // Above T0 4e to the left, else 8e; above T0 carries 4e.
    cells.behind[0] = _mm_add_epi32(
        cells.behind[0], _mm_add_epi32(four, _mm_andnot_si128(p.above, four)));
    cells.behind[1] = _mm_add_epi32(cells.behind[1], four);
    cells.Next(cell, _mm_add_epi32(eight, carry));
    cells.ahead[1] = _mm_add_epi32(cells.ahead[1], four);
    carry = _mm_and_si128(four, p.above);
  }
};

// WideColourFilters' class above T0 (both of its filters), which with no
// dot is also the filter of every undotted ink.
// The cells three and four columns away take only two shares each, which
// go to the window directly: with them in registers too GCC ran out and
// kept nearer cells on the stack.
template <>
struct NarrowLanes<WideColourFilters> {
  using Cells = RegisterCells<3, 3>;

  struct Pixel {
    __m128i dotted;  // dotted and above T0
    __m128i noise;   // the noise bit's mask: the share goes left
    __m128i shift;   // the next cell takes e << shift: 8e for a right share, else 4e
  };

  // `above`: above T0 and active; `noDot`: no dot.
  INKDOT_AVX2 static Pixel Prepare(__m128i above, __m128i noDot, const LaneMatrix &m) {
    // A dotted ink has no share: its shift is 2, else 2 + right. What does
    // not depend on noDot is ready before it.
    const __m128i shift = _mm_sub_epi32(
        LoadLanes(m.rightShift),
        _mm_andnot_si128(noDot, _mm_and_si128(above, LoadLanes(m.right))));
    return {_mm_andnot_si128(noDot, above), LoadLanes(m.noise), shift};
  }

  INKDOT_AVX2 static void Step(int32_t (*cell)[4], __m128i e, const Pixel &p,
                                Cells &cells, __m128i &carry) {
    const __m128i four = _mm_slli_epi32(e, 2);
    const __m128i share = _mm_andnot_si128(p.dotted, four);
    const __m128i left = _mm_and_si128(share, p.noise);
    const __m128i right = _mm_andnot_si128(p.noise, share);
    const __m128i two = _mm_and_si128(_mm_add_epi32(e, e), p.dotted);
    // c[1] takes four + right, which is e << shift.
    cells.ahead[1] = _mm_add_epi32(cells.ahead[1], _mm_sllv_epi32(e, p.shift));
    cells.ahead[2] = _mm_add_epi32(cells.ahead[2], four);
    cells.behind[0] = _mm_add_epi32(cells.behind[0], _mm_add_epi32(four, left));
    cells.behind[1] = _mm_add_epi32(cells.behind[1], four);
    cells.behind[2] = _mm_add_epi32(cells.behind[2], _mm_add_epi32(right, two));
    StoreLanes(cell[-4], _mm_add_epi32(LoadLanes(cell[-4]), two));
    StoreLanes(cell[4], _mm_add_epi32(LoadLanes(cell[4]), two));
    cells.Next(cell, _mm_add_epi32(_mm_add_epi32(four, share), carry));
    // Column x + 3, read into the registers by Next.
    cells.ahead[2] = _mm_add_epi32(cells.ahead[2], _mm_add_epi32(left, two));
    carry = _mm_and_si128(four, p.dotted);
  }
};

// Adds v to a cell's lanes (vector adds wrap).
INKDOT_AVX2 inline void AddToLanes(int32_t *cell, __m128i v) {
  StoreLanes(cell, _mm_add_epi32(LoadLanes(cell), v));
}

// Adds v to the cells kFrom to kTo columns from `cell` on both sides.
template <int kFrom, int kTo>
INKDOT_AVX2 inline void AddBothSides(int32_t (*cell)[4], __m128i v) {
  for (int k = kFrom; k <= kTo; ++k) {
    AddToLanes(cell[k], v);
    AddToLanes(cell[-k], v);
  }
}

// The wide filters in lanes, for the dotted inks at or below T0 (`wide`:
// their lanes' mask). Each such lane takes the class of its level; the
// classes' terms are zero outside their lanes, so a column's share is one
// sum for all lanes. Every cell is read and written whole, so that the
// loop's next 16-byte loads of these cells are served from these stores
// (after 4-byte stores into a cell they waited for the cache). Spread()
// returns the lanes' carries.
// A wide lane's error by the class of its level, each zero outside its
// lanes: e1 above T1, e2 above T2, e3 at or below the widest filter's
// limit t3, e4 in between; low = e3 + e4.
struct WideClasses {
  __m128i e1, e2, e3, e4, low;
};

INKDOT_AVX2 inline WideClasses ClassesOf(__m128i e, __m128i level, const FilterLimits &t,
                                         __m128i t3) {
  const __m128i above1 = _mm_cmpgt_epi32(level, _mm_set1_epi32(t.t1));
  const __m128i above2 = _mm_cmpgt_epi32(level, _mm_set1_epi32(t.t2));
  const __m128i above3 = _mm_cmpgt_epi32(level, t3);
  const __m128i low = _mm_andnot_si128(above2, e);
  return {_mm_and_si128(e, above1), _mm_andnot_si128(above1, _mm_and_si128(e, above2)),
          _mm_andnot_si128(above3, low), _mm_and_si128(low, above3), low};
}

template <class Filters>
struct WideLanes;

template <>
struct WideLanes<WideColourFilters> {
  INKDOT_AVX2 static __m128i Spread(int32_t (*cell)[4], __m128i error, __m128i level,
                                    __m128i wide, const LaneMatrix &, const FilterLimits &t) {
    const __m128i e = _mm_and_si128(error, wide);
    const auto [e1, e2, e3, e4, low] = ClassesOf(e, level, t, _mm_set1_epi32(t.t3));
    const __m128i half = _mm_srai_epi32(e3, 1);
    const __m128i e12 = _mm_add_epi32(e1, e2);
    // The shares by distance from the pixel, the same on both sides: e1's
    // filter 3e, 2e, e out to 7; e2's 2e out to 5, e to 10; e3's e out to
    // 9, half out to 23 (21 on the left); e4's 2e at 1, e out to 14.
    const __m128i far = _mm_add_epi32(half, e4);  // 11 to 14
    const __m128i at4 = _mm_add_epi32(e, e12);    // 4 and 5
    const __m128i at2 = _mm_add_epi32(at4, e1);   // 2 and 3
    AddBothSides<1, 1>(cell, _mm_add_epi32(at2, e4));
    AddBothSides<2, 3>(cell, at2);
    AddBothSides<4, 5>(cell, at4);
    AddBothSides<6, 7>(cell, e);
    AddBothSides<8, 9>(cell, _mm_sub_epi32(e, e1));
    AddBothSides<10, 10>(cell, _mm_add_epi32(far, e2));
    AddBothSides<11, 14>(cell, far);
    AddBothSides<15, 21>(cell, half);
    AddToLanes(cell[22], half);
    AddToLanes(cell[23], half);
    AddToLanes(cell[0], _mm_add_epi32(_mm_add_epi32(e12, e12), far));
    return far;
  }
};

template <>
struct WideLanes<SquareFilters> {
  INKDOT_AVX2 static __m128i Spread(int32_t (*cell)[4], __m128i error, __m128i level,
                                    __m128i wide, const LaneMatrix &m,
                                    const FilterLimits &t) {
    const __m128i e = _mm_and_si128(error, wide);
    // noise0: the filters' noise bit is 0 (the same in every lane).
    const __m128i noise0 = _mm_xor_si128(LoadLanes(m.noise), _mm_set1_epi32(-1));
    // The widest filter's limit, T3, is one lower for noise bit 0, but not
    // for ink 1 (lane 1).
    const __m128i t3 = _mm_add_epi32(_mm_set1_epi32(t.t3),
                                     _mm_and_si128(noise0, _mm_setr_epi32(-1, 0, -1, 0)));
    const auto [e1, e2, e3, e4, low] = ClassesOf(e, level, t, t3);
    // The shares: e1's filter 4e, 4e, 2e, 2e to the right and 2e, 2e, 2e,
    // 4e to the left, and 2e to c[5] instead of its own cell for noise bit
    // 0; e2's 3e out to 3 and e out to 7, 3e, 2e out to 5 and e out to 7 to
    // the left; e3's e out to 14 and to 13, and 15 or 14 by the noise bit;
    // e4's 2e out to 4, e out to 9 and at 10 or 11, e out to 10 and 2e out
    // to 4 to the left.
    const __m128i twice1 = _mm_add_epi32(e1, e1);
    const __m128i moved = _mm_and_si128(twice1, noise0);
    const __m128i at6 = _mm_add_epi32(low, e2);  // 6, 7; -6, -7
    const __m128i at4 = _mm_add_epi32(_mm_add_epi32(at6, twice1), e4);
    const __m128i at3 = _mm_add_epi32(at4, _mm_add_epi32(e2, e2));
    const __m128i near = _mm_add_epi32(at3, twice1);  // 1, 2, -1 and the carry
    AddToLanes(cell[0], _mm_sub_epi32(_mm_add_epi32(near, twice1), moved));
    AddToLanes(cell[1], near);
    AddToLanes(cell[2], near);
    AddToLanes(cell[3], at3);
    AddToLanes(cell[4], at4);
    AddToLanes(cell[5], _mm_add_epi32(at6, moved));
    AddBothSides<6, 7>(cell, at6);
    AddToLanes(cell[8], low);
    AddToLanes(cell[9], low);
    AddToLanes(cell[10], _mm_add_epi32(e3, _mm_and_si128(e4, noise0)));
    AddToLanes(cell[11], _mm_andnot_si128(noise0, e4));  // e3's below
    AddToLanes(cell[-1], near);
    const __m128i left2 = _mm_add_epi32(at4, e2);
    AddToLanes(cell[-2], left2);
    AddToLanes(cell[-3], left2);
    AddToLanes(cell[-4], left2);
    AddToLanes(cell[-5], _mm_add_epi32(at6, e2));
    for (int k = 8; k <= 10; ++k) AddToLanes(cell[-k], low);
    AddBothSides<11, 13>(cell, e3);
    AddToLanes(cell[14], e3);
    AddToLanes(cell[-14], _mm_andnot_si128(noise0, e3));
    AddToLanes(cell[-15], _mm_and_si128(noise0, e3));
    return near;
  }
};

// Bit j set where pixel j's colour-table entry has a zero level of ink 0,
// 1 or 3 (bytes 0, 1 and 3), for the first `pixels` entries (read eight
// at a time; 32-byte aligned).
INKDOT_AVX2 inline uint64_t ZeroLevelPixels(const uint32_t *entries, uint32_t pixels) {
  uint64_t zero = 0;
  const __m256i diffused = _mm256_set1_epi32(static_cast<int>(0xFF00FFFFu));
  for (uint32_t j = 0; j < pixels; j += 8) {
    const __m256i entry = _mm256_load_si256(reinterpret_cast<const __m256i *>(entries + j));
    const __m256i zeroBytes =
        _mm256_and_si256(_mm256_cmpeq_epi8(entry, _mm256_setzero_si256()), diffused);
    const __m256i none = _mm256_cmpeq_epi32(zeroBytes, _mm256_setzero_si256());
    const auto bits = static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(none)));
    zero |= uint64_t{~bits & 0xFF} << j;
  }
  return zero;
}

// Whether the smoothed levels of inks 0, 1 and 3 (bytes 0, 2 and 4) are
// all nonzero: then so are the next pixel's, whenever its own levels are.
inline bool LevelsNonzero(uint64_t smoothed) {
  return (smoothed & 0xFF) != 0 && (smoothed & 0xFF0000) != 0 && (smoothed & 0xFF00000000) != 0;
}

}  // namespace

template <class Filters>
INKDOT_AVX2_CALL DiffusedColourLanes<Filters>::DiffusedColourLanes(
    const DiffusedColourInks<Filters, false> &inks, uint32_t startX, uint32_t count)
    : lines_{inks.Line(0), inks.Line(1), inks.Line(2)},
      limits_(inks.Limits()),
      windowStart_(static_cast<int32_t>(startX) - kLead),
      first_(static_cast<int32_t>(startX) - kReach),
      end_(static_cast<int32_t>(startX + count) + kReach) {
  // The window reads and writes the error lines up to kReach cells past
  // the run's ends, inside their margins.
  static_assert(kReach <= int32_t{kErrorMargin});
  using Inks = DiffusedColourInks<Filters, false>;
  for (int k = 0; k < 3; ++k) activity_[k] = Inks::kActivityStart;
  activity_[3] = 0;  // the spare lane never diffuses
  for (int v = 0; v < 256; ++v) {
    reachTones_[v] = {inks.DotCurveValues()[v] - v, inks.ToneCurveValues()[v]};
  }
  LoadColumns(windowStart_, windowStart_ + kWindowCells);
}

template <class Filters>
INKDOT_AVX2_CALL void DiffusedColourLanes<Filters>::LoadColumns(int32_t from,
                                                                 int32_t to) {
  const int32_t lo = std::clamp(first_, from, to), hi = std::clamp(end_, lo, to);
  std::memset(Cell(from), 0, sizeof(cells_[0]) * static_cast<size_t>(lo - from));
  std::memset(Cell(hi), 0, sizeof(cells_[0]) * static_cast<size_t>(to - hi));
  // Locals, so that the stores to the window do not force reloads.
  const int32_t *a = lines_[0] + lo, *b = lines_[1] + lo, *d = lines_[2] + lo;
  int32_t(*cell)[4] = cells_ + (lo - windowStart_);
  const int32_t n = hi - lo;
  int32_t c = 0;
  // Eight columns of the three lines at a time, transposed into eight
  // cells (columns c and c + 4 in the two halves of each register), then
  // four.
  for (; c + 8 <= n; c += 8) {
    const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a + c));
    const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(b + c));
    const __m256i vd = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(d + c));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i ab01 = _mm256_unpacklo_epi32(va, vb),
                  ab23 = _mm256_unpackhi_epi32(va, vb);
    const __m256i d01 = _mm256_unpacklo_epi32(vd, zero);
    const __m256i d23 = _mm256_unpackhi_epi32(vd, zero);
    const __m256i c04 = _mm256_unpacklo_epi64(ab01, d01),
                  c15 = _mm256_unpackhi_epi64(ab01, d01);
    const __m256i c26 = _mm256_unpacklo_epi64(ab23, d23),
                  c37 = _mm256_unpackhi_epi64(ab23, d23);
    auto *pairs = reinterpret_cast<__m256i *>(cell + c);  // cells c, c + 1 in each
    _mm256_storeu_si256(pairs, _mm256_permute2x128_si256(c04, c15, 0x20));
    _mm256_storeu_si256(pairs + 1, _mm256_permute2x128_si256(c26, c37, 0x20));
    _mm256_storeu_si256(pairs + 2, _mm256_permute2x128_si256(c04, c15, 0x31));
    _mm256_storeu_si256(pairs + 3, _mm256_permute2x128_si256(c26, c37, 0x31));
  }
  for (; c + 4 <= n; c += 4) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + c));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + c));
    const __m128i vd = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + c));
    const __m128i zero = _mm_setzero_si128();
    const __m128i ab01 = _mm_unpacklo_epi32(va, vb), ab23 = _mm_unpackhi_epi32(va, vb);
    const __m128i d01 = _mm_unpacklo_epi32(vd, zero),
                  d23 = _mm_unpackhi_epi32(vd, zero);
    StoreLanes(cell[c], _mm_unpacklo_epi64(ab01, d01));
    StoreLanes(cell[c + 1], _mm_unpackhi_epi64(ab01, d01));
    StoreLanes(cell[c + 2], _mm_unpacklo_epi64(ab23, d23));
    StoreLanes(cell[c + 3], _mm_unpackhi_epi64(ab23, d23));
  }
  for (; c < n; ++c) {
    StoreLanes(cell[c], _mm_setr_epi32(a[c], b[c], d[c], 0));
  }
}

template <class Filters>
INKDOT_AVX2_CALL void DiffusedColourLanes<Filters>::StoreColumns(int32_t from,
                                                                  int32_t to) const {
  const int32_t lo = std::clamp(first_, from, to), hi = std::clamp(end_, lo, to);
  int32_t *a = lines_[0] + lo, *b = lines_[1] + lo, *d = lines_[2] + lo;
  const int32_t(*cell)[4] = cells_ + (lo - windowStart_);
  const int32_t n = hi - lo;
  int32_t c = 0;
  for (; c + 8 <= n; c += 8) {
    const auto *pairs = reinterpret_cast<const __m256i *>(cell + c);
    const __m256i p01 = _mm256_loadu_si256(pairs), p23 = _mm256_loadu_si256(pairs + 1);
    const __m256i p45 = _mm256_loadu_si256(pairs + 2),
                  p67 = _mm256_loadu_si256(pairs + 3);
    // Cells c + k and c + k + 4 in one register, then as four at a time.
    const __m256i c04 = _mm256_permute2x128_si256(p01, p45, 0x20);
    const __m256i c15 = _mm256_permute2x128_si256(p01, p45, 0x31);
    const __m256i c26 = _mm256_permute2x128_si256(p23, p67, 0x20);
    const __m256i c37 = _mm256_permute2x128_si256(p23, p67, 0x31);
    const __m256i ab01 = _mm256_unpacklo_epi32(c04, c15),
                  ab23 = _mm256_unpacklo_epi32(c26, c37);
    const __m256i d01 = _mm256_unpackhi_epi32(c04, c15),
                  d23 = _mm256_unpackhi_epi32(c26, c37);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(a + c),
                        _mm256_unpacklo_epi64(ab01, ab23));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(b + c),
                        _mm256_unpackhi_epi64(ab01, ab23));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(d + c),
                        _mm256_unpacklo_epi64(d01, d23));
  }
  for (; c + 4 <= n; c += 4) {
    const __m128i c0 = LoadLanes(cell[c]), c1 = LoadLanes(cell[c + 1]);
    const __m128i c2 = LoadLanes(cell[c + 2]), c3 = LoadLanes(cell[c + 3]);
    const __m128i ab01 = _mm_unpacklo_epi32(c0, c1), ab23 = _mm_unpacklo_epi32(c2, c3);
    const __m128i d01 = _mm_unpackhi_epi32(c0, c1), d23 = _mm_unpackhi_epi32(c2, c3);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(a + c),
                     _mm_unpacklo_epi64(ab01, ab23));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(b + c),
                     _mm_unpackhi_epi64(ab01, ab23));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + c), _mm_unpacklo_epi64(d01, d23));
  }
  for (; c < n; ++c) {
    a[c] = cell[c][0];
    b[c] = cell[c][1];
    d[c] = cell[c][2];
  }
}

template <class Filters>
INKDOT_AVX2_CALL void DiffusedColourLanes<Filters>::Finish() {
  StoreColumns(windowStart_, windowStart_ + kWindowCells);
}

template <class Filters>
INKDOT_AVX2_CALL void DiffusedColourLanes<Filters>::Pixels(const Smoothing &smoothing,
                                                            const uint32_t *matrix,
                                                            const uint32_t *entries,
                                                            uint64_t white,
                                                            uint32_t pixels, int32_t x0,
                                                            uint8_t *dots) {
  if (x0 - kLead != windowStart_) {
    // The next block: the cells before it are final; the window moves on
    // by a block.
    StoreColumns(windowStart_, windowStart_ + kBlockPixels);
    std::memcpy(cells_[0], cells_[kBlockPixels],
                sizeof(cells_[0]) * (kWindowCells - kBlockPixels));
    windowStart_ += kBlockPixels;
    LoadColumns(windowStart_ + kWindowCells - kBlockPixels,
                windowStart_ + kWindowCells);
  }
  const Block block{smoothing, matrix, white, pixels, x0, dots};
  const uint64_t printed =
      (pixels == kBlockPixels ? ~uint64_t{0} : (uint64_t{1} << pixels) - 1) & ~white;
  if ((ZeroLevelPixels(entries, pixels) & printed) != 0 || !LevelsNonzero(smoothed_)) {
    Run<false>(block);
    return;
  }
  Run<true>(block);
  // Each printed pixel shifted the activity registers right by one and
  // refilled their top bit.
  const __m128i shift = _mm_cvtsi32_si128(__builtin_popcountll(printed));
  const __m128i full = _mm_setr_epi32(31, 31, 31, 0);
  StoreLanes(activity_, _mm_or_si128(_mm_srl_epi32(LoadLanes(activity_), shift),
                                     _mm_sub_epi32(full, _mm_srl_epi32(full, shift))));
}

template <class Filters>
template <bool kAllActive>
INKDOT_AVX2_CALL void DiffusedColourLanes<Filters>::Run(const Block &block) {
  const uint64_t *const x = block.smoothing.x;
  const uint64_t *const keep = block.smoothing.carry;
  uint64_t *const y = block.smoothing.y;
  uint64_t smoothed = smoothed_;
  const uint32_t *const matrix = block.matrix;
  uint8_t *const dots = block.dots;
  // Locals: the byte stores to dots would otherwise force reloads.
  const uint64_t white = block.white;
  // A word-sized index, which GCC keeps as one register for the arrays
  // it indexes instead of a pointer per array.
  const size_t pixels = block.pixels;
  using Narrow = NarrowLanes<Filters>;
  const __m128i zero = _mm_setzero_si128();
  const __m128i levelMask = _mm_setr_epi32(0xFF, 0xFF, 0xFF, 0);
  const __m128i refill = _mm_set1_epi32(
      static_cast<int>(DiffusedColourInks<Filters, false>::kActivityRefill));
  const __m128i t0 = _mm_set1_epi32(limits_.t0);
  __m128i carry = LoadLanes(carry_), activity = LoadLanes(activity_);
  int32_t(*cell)[4] = cells_ + (block.x0 - windowStart_);
  typename Narrow::Cells cells;
  cells.Load(cell);
  for (size_t j = 0; j < pixels; ++j, ++cell) {
    if ((white >> j) & 1) {
      // A white pixel: every cell takes its carry.
      cells.Next(cell, carry);
      carry = zero;
      dots[j] = 0;
      continue;
    }
    // The smoothing: its chain, three operations a pixel, runs beside the
    // error's.
    smoothed = ((smoothed & keep[j]) + x[j]) >> 1;
    y[j] = smoothed;
    // What does not depend on the error reaching this pixel comes first,
    // off the chain from pixel to pixel.
    const uint8_t *levels = reinterpret_cast<const uint8_t *>(y + j);
    const __m128i level = _mm_and_si128(
        _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(y + j))),
        levelMask);
    const LaneMatrix &lane = kLaneMatrix[matrix[j] & 0xFF];
    // The dot test corrected >= threshold as (cell >> 5) >= threshold - level.
    __m128i reachAt, toneAt;
    Lookup3(reachTones_, levels, reachAt, toneAt);
    const __m128i reach = _mm_add_epi32(reachAt, LoadLanes(lane.offset));
    const __m128i above = _mm_cmpgt_epi32(level, t0);
    // The chain: the pixel's cell to its error.
    const __m128i fraction = _mm_srai_epi32(cells.ahead[0], 5);
    const __m128i noDot = _mm_cmpgt_epi32(reach, fraction);
    __m128i tone = toneAt, aboveActive = above, blank = noDot;
    __m128i corrected = _mm_add_epi32(level, fraction);
    if constexpr (!kAllActive) {
      // An ink stays active for four pixels after its last nonzero level;
      // an inactive one prints nothing and spreads no error.
      activity = _mm_or_si128(_mm_srli_epi32(activity, 1),
                              _mm_andnot_si128(_mm_cmpeq_epi32(level, zero), refill));
      const __m128i inactive = _mm_cmpeq_epi32(activity, zero);
      tone = _mm_andnot_si128(inactive, tone);
      aboveActive = _mm_andnot_si128(inactive, above);
      corrected = _mm_andnot_si128(inactive, corrected);
      blank = _mm_or_si128(blank, inactive);
    }
    // A dot takes its tone off the error.
    const __m128i error = _mm_sub_epi32(corrected, _mm_andnot_si128(noDot, tone));
    const int blankBits = _mm_movemask_ps(_mm_castsi128_ps(blank));
    dots[j] = static_cast<uint8_t>(blankBits ^ 0xF);
    const typename Narrow::Pixel pixel = Narrow::Prepare(aboveActive, noDot, lane);
    const __m128i narrow = _mm_or_si128(above, blank);
    if (_mm_test_all_ones(narrow)) [[likely]] {
      Narrow::Step(cell, error, pixel, cells, carry);
      continue;
    }
    // Dotted inks at or below T0 take the wide filters: the narrow ones
    // for the others first, then the wide ones on the window.
    Narrow::Step(cell, _mm_and_si128(error, narrow), pixel, cells, carry);
    // The cells go to the window and back around the wide filters.
    cells.Store(cell + 1);
    const __m128i wide = _mm_andnot_si128(narrow, _mm_set1_epi32(-1));
    carry = _mm_add_epi32(
        carry, WideLanes<Filters>::Spread(cell, error, level, wide, lane, limits_));
    cells.Load(cell + 1);
  }
  cells.Store(cell);
  smoothed_ = smoothed;
  StoreLanes(carry_, carry);
  if constexpr (!kAllActive) StoreLanes(activity_, activity);
}

template class DiffusedColourLanes<SquareFilters>;
template class DiffusedColourLanes<WideColourFilters>;

}  // namespace inkdot

#endif
