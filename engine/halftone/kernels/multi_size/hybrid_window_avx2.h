/* SPDX-License-Identifier: Apache-2.0 */
// The diffusion of the hybrid colour kernels' AVX2 path, for the members
// whose filters are linear in the error. Each ink keeps the 32 error cells
// around a group of eight pixels in four registers (its window) and adds a
// pixel's error times a row of weights, chosen by the pixel's filter and
// its place in the group, with no branch. Only the cell of the next pixel
// is on the chain from pixel to pixel: it is kept in a scalar beside the
// window. The three inks' chains are independent and run interleaved.
//
// Include only from a file compiled for AVX2, after avx2_lanes.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "halftone/kernels/multi_size/hybrid_members.h"

namespace inkdot {
namespace hybrid {

// A window starts this many cells before its group: pixel j of the group
// owns lane kLead + j, and the filters' reach to either side stays inside.
inline constexpr int kLead = 12;

// The filters of a member as weight rows over the window, row (v, j) for
// variant v = 2 × filter + odd at pixel j of the group, and one row of
// zeros (kNone) for a pixel that diffuses nothing. A filter's carry (what
// the next pixel's cell takes when it is replaced) is added to the next
// pixel's lane with its own weight: that lane is read before the carry
// arrives and replaced after, so the window ends up with the portable
// cells once the replaced cells' old values (kept in a ring) are taken off.
template <class Member>
struct FilterRows {
  static constexpr int kRows = 2 * Member::kFilters + 1;
  static constexpr int kNone = kRows - 1;
  alignas(32) int32_t weights[kRows][8][32] = {};
  uint8_t next[kRows] = {};   // the weight of the next pixel's cell, this row
  int32_t carry[kRows] = {};  // the weight of the carry

  constexpr FilterRows() {
    for (int f = 0; f < Member::kFilters; ++f) {
      for (int odd = 0; odd < 2; ++odd) {
        const int v = 2 * f + odd;
        int32_t cells[64] = {};
        carry[v] = Member::SpreadBy(f, cells + 32, 1, 0, odd != 0);
        next[v] = static_cast<uint8_t>(cells[33]);
        for (int j = 0; j < 8; ++j) {
          for (int lane = 0; lane < 32; ++lane) {
            const int k = lane - kLead - j;
            weights[v][j][lane] = cells[32 + k] + (k == 1 ? carry[v] : 0);
          }
        }
      }
    }
  }
};

// Built at compile time: no guarded static, nothing to run at start-up.
template <class Member>
inline constexpr FilterRows<Member> kFilterRows{};

// What one ink's diffusion needs of a palette index, per run. A choice
// packs a weight row and its next-cell weight in 14 bits (variant v =
// 2 × filter + odd in bits 0..5, the weight in bits 6..13): shifted left by
// 10 it is the row's byte offset in the low half, the weight in the high
// half, as the chain reads them.
struct alignas(16) InkRecord {
  uint32_t amountCurve;  // low half: total amount, to which the error adds;
                         // high half: small-dot threshold (signed)
  uint32_t limits;       // the matrix-placed dots' limits (see MatrixDot)
  uint32_t choices;      // with a dot: low half for odd 0, high half for odd 1;
                         // bit 31: a small amount
  uint32_t flips;        // what turns each half into the choice without a dot (xor)
};

template <class Member>
void LoadRecords(const HybridTables &tables, const uint32_t *dotParams,
                 InkRecord records[256]) {
  const FilterRows<Member> &rows = kFilterRows<Member>;
  static_assert(FilterRows<Member>::kRows <= 64);
  auto choice = [&](int v) { return static_cast<uint32_t>(v) | uint32_t{rows.next[v]} << 6; };
  for (int p = 0; p < 256; ++p) {
    const uint32_t small = tables.amounts[p] & 0xFFFF;
    const bool heavy = (tables.limits[p] >> 16) != 0;
    const int vd = 2 * Member::Choose(heavy, true, small, dotParams);
    const int vn = 2 * Member::Choose(heavy, false, small, dotParams);
    records[p] = {tables.amounts[p] >> 16 | static_cast<uint32_t>(tables.dotCurve[p]) << 16,
                  tables.limits[p],
                  choice(vd) | choice(vd + 1) << 16 | (small != 0 ? 1u << 31 : 0),
                  (choice(vd) ^ choice(vn)) | (choice(vd + 1) ^ choice(vn + 1)) << 16};
  }
}

// One ink's pixels of a block, prepared for the chain: the amount less the
// dot's value, to which the incoming error adds (the error to spread with
// a dot); the limit below which the incoming error gives no dot (the
// threshold the amount plus the error must reach, less the amount: from
// kAlways for a matrix-placed dot, from kNever where no small dot may be
// added); the weight row (an offset in bytes, low half) and next-cell
// weight (high half) with a dot and without; and the outcome, 0 for a dot
// and 1 for none. Comparing the error with the limit rather than the
// amount plus the error with the threshold takes an addition off the
// chain.
//
// Beside them, the ring: the old values of the cells the pixels replace,
// which the window's cells still hold, kept until the cells are final.
// Lane L of the window of the group at r0 has entry r0 + kRingStart + L,
// so that a pixel's entry is a constant offset from its group's lanes; at
// the end of a block the entries still pending (32 on) move down by 32.
inline constexpr int kRingStart = 8;
struct InkLanes {
  alignas(32) int32_t amountLessDot[32];
  alignas(32) int32_t limit[32];
  alignas(32) int32_t choice[32];
  alignas(32) int32_t noDotChoice[32];
  alignas(32) uint32_t noDot[32];
  alignas(32) int32_t ring[64];
};

// Thresholds beyond any value (an amount plus a cell in 32nds, which is
// within ±2^26 + 65535): less an amount, still beyond any incoming error.
inline constexpr int32_t kAlways = -(1 << 30), kNever = 1 << 30;
// Limits below this one are those of matrix-placed dots (kAlways less an
// amount below 65536).
inline constexpr int32_t kMatrixDotLimits = -(1 << 29);
static_assert(kLaneValues[kLanesNever] == kNever && kLaneValues[kLanesAlways] == kAlways);

// The byte offset of each lane's pixel row (pixel j of a group: row j of
// its variant), added to a weight row's offset.
INKDOT_AVX2 inline __m256i PixelRows() {
  return _mm256_setr_epi32(0, 128, 256, 384, 512, 640, 768, 896);
}

// The zero row (no error spread, no next-cell weight) in every lane.
template <class Member>
INKDOT_AVX2 inline __m256i NoneRows() {
  return _mm256_add_epi32(_mm256_set1_epi32(FilterRows<Member>::kNone * 1024), PixelRows());
}

// The records' byte offsets (palette index × 16) of eight pixels' four
// 16-bit index fields (see the front's smoothing), in the same fields: the
// loads of the records then take them as they are, with no shift each.
INKDOT_AVX2 inline void StoreRecordOffsets(const uint64_t *fields, uint64_t offsets[8]) {
  static_assert(sizeof(InkRecord) == 16);
  for (int h = 0; h < 2; ++h) {
    const __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i *>(fields + 4 * h));
    _mm256_store_si256(reinterpret_cast<__m256i *>(offsets + 4 * h),
                       _mm256_slli_epi16(_mm256_and_si256(v, Lanes(kLanesByteFields)), 4));
  }
}

// Record r's four fields, of the records at byte offsets offsets[0],
// offsets[4], ..., offsets[28] (lanes 0..7): the two records of lanes l and
// l + 4 in one register.
INKDOT_AVX2 inline __m256i RecordPair(const InkRecord *records, const uint16_t *offsets, int l) {
  const char *base = reinterpret_cast<const char *>(records);
  const auto *low = reinterpret_cast<const __m128i *>(base + offsets[4 * l]);
  const auto *high = reinterpret_cast<const __m128i *>(base + offsets[4 * l + 16]);
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_load_si128(low)),
                                 _mm_load_si128(high), 1);
}

INKDOT_AVX2 inline void StoreLanes(void *to, __m256i v) {
  _mm256_store_si256(reinterpret_cast<__m256i *>(to), v);
}

// MatrixDot lane by lane: 2 for medium, 3 for large (with or without
// medium). Limits and matrix values are below 65536.
INKDOT_AVX2 inline __m256i MatrixDots(__m256i limits, __m256i m) {
  const __m256i large = _mm256_cmpgt_epi32(_mm256_and_si256(limits, _mm256_set1_epi32(0xFFFF)), m);
  const __m256i medium = _mm256_cmpgt_epi32(_mm256_srli_epi32(limits, 16), m);
  return _mm256_or_si256(_mm256_and_si256(_mm256_or_si256(medium, large), _mm256_set1_epi32(2)),
                         _mm256_and_si256(large, _mm256_set1_epi32(1)));
}

// Eight lanes of one ink from i0 (a multiple of 8), as if it diffused at
// every pixel: `offsets` its records' offsets (eight bytes apart, from
// StoreRecordOffsets), `m` the matrix values of its dots, `printed` all
// ones at the pixels that print, `offset` its small-dot offsets, `half`
// 16 where the noise bit is 0 (the records' odd halves), else 0. Its
// matrix-placed dots go to `dots`; returns the lanes with a small amount,
// bit by bit.
template <class Member>
INKDOT_AVX2 inline uint32_t PrepareInk(const InkRecord *records, const uint16_t *offsets,
                                       __m256i m, __m256i printed, __m256i offset,
                                       __m256i half, uint32_t i0, InkLanes &lanes,
                                       __m256i &dots) {
  static_assert(Member::kDotValue == kLaneValues[kLanesDotValue]);
  const __m256i r0 = RecordPair(records, offsets, 0), r1 = RecordPair(records, offsets, 1);
  const __m256i r2 = RecordPair(records, offsets, 2), r3 = RecordPair(records, offsets, 3);
  const __m256i t0 = _mm256_unpacklo_epi32(r0, r1), t1 = _mm256_unpacklo_epi32(r2, r3);
  const __m256i t2 = _mm256_unpackhi_epi32(r0, r1), t3 = _mm256_unpackhi_epi32(r2, r3);
  const __m256i amountCurve = _mm256_unpacklo_epi64(t0, t1);
  const __m256i limits = _mm256_unpackhi_epi64(t0, t1);
  const __m256i choices = _mm256_unpacklo_epi64(t2, t3);
  const __m256i flips = _mm256_unpackhi_epi64(t2, t3);
  const __m256i amount = _mm256_and_si256(amountCurve, Lanes(kLanesLowHalf));
  const __m256i curve = _mm256_srai_epi32(amountCurve, 16);

  // MatrixDot: 2 for medium, 3 for large (with or without medium).
  const __m256i large = _mm256_cmpgt_epi32(_mm256_and_si256(limits, Lanes(kLanesLowHalf)), m);
  const __m256i medium = _mm256_cmpgt_epi32(_mm256_srli_epi32(limits, 16), m);
  const __m256i matrixDot = _mm256_and_si256(_mm256_or_si256(medium, large), printed);
  dots = _mm256_and_si256(matrixDot, _mm256_sub_epi32(Lanes(kLanesTwo), large));
  // Sign bits: a small amount and no matrix-placed dot.
  const __m256 eligible = _mm256_castsi256_ps(_mm256_andnot_si256(matrixDot, choices));
  __m256i threshold = _mm256_castps_si256(
      _mm256_blendv_ps(_mm256_castsi256_ps(Lanes(kLanesNever)),
                       _mm256_castsi256_ps(_mm256_add_epi32(curve, offset)), eligible));
  threshold = _mm256_blendv_epi8(threshold, Lanes(kLanesAlways), matrixDot);
  StoreLanes(lanes.amountLessDot + i0,
             _mm256_sub_epi32(amount, Lanes(kLanesDotValue)));
  StoreLanes(lanes.limit + i0, _mm256_sub_epi32(threshold, amount));

  const __m256i field = Lanes(kLanesChoice);
  const __m256i choice =
      _mm256_slli_epi32(_mm256_and_si256(_mm256_srlv_epi32(choices, half), field), 10);
  const __m256i flip =
      _mm256_slli_epi32(_mm256_and_si256(_mm256_srlv_epi32(flips, half), field), 10);
  const __m256i withDot = _mm256_add_epi32(choice, PixelRows());
  StoreLanes(lanes.choice + i0, withDot);
  StoreLanes(lanes.noDotChoice + i0, _mm256_xor_si256(withDot, flip));
  return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(choices)));
}

INKDOT_AVX2 inline __m256i LoadLanes(const void *from) {
  return _mm256_load_si256(reinterpret_cast<const __m256i *>(from));
}

// The lanes of a group where the ink does not diffuse (`idle`, all ones)
// take the zero row, no next-cell weight and never a small dot; a
// matrix-placed dot stays.
template <class Member>
INKDOT_AVX2 inline void Idle(__m256i idle, uint32_t i0, InkLanes &lanes) {
  const __m256i none = NoneRows<Member>();
  const __m256i limit = LoadLanes(lanes.limit + i0);
  const __m256i matrixDot = _mm256_cmpgt_epi32(_mm256_set1_epi32(kMatrixDotLimits), limit);
  StoreLanes(lanes.limit + i0,
             _mm256_blendv_epi8(limit, _mm256_set1_epi32(kNever),
                                _mm256_andnot_si256(matrixDot, idle)));
  StoreLanes(lanes.choice + i0, _mm256_blendv_epi8(LoadLanes(lanes.choice + i0), none, idle));
  StoreLanes(lanes.noDotChoice + i0,
             _mm256_blendv_epi8(LoadLanes(lanes.noDotChoice + i0), none, idle));
}

// Which pixels of a block whose 32 pixels all print an ink diffuses at:
// while it or one of the four pixels before asked for small dots (`small`,
// bit by bit). `state` is the ink's 5-bit activity lane, before and after.
inline uint32_t ActiveRun(uint32_t small, uint32_t &state) {
  const uint64_t t = uint64_t{small} << 4 | state >> 1;
  state = static_cast<uint32_t>(t >> 31) & 0x1F;
  return static_cast<uint32_t>(t | t >> 1 | t >> 2 | t >> 3 | t >> 4);
}

// One ink's window: cells x0 - kLead .. x0 + 19 of the group at x0, and
// the current pixel's cell with everything the pixels before added.
struct InkWindow {
  __m256i w0, w1, w2, w3;
  uint32_t cell;
};

INKDOT_AVX2 inline void AddWeights(__m256i &cells, __m256i error, const int32_t *weights) {
  const __m256i w = _mm256_load_si256(reinterpret_cast<const __m256i *>(weights));
  cells = _mm256_add_epi32(cells, _mm256_mullo_epi32(error, w));
}

// Pixel J of the group at r0: the small-dot decision, the error into the
// window. The ring keeps the cell's old value, which the portable loop
// replaces.
template <class Member, int J>
INKDOT_AVX2 inline void Step(InkWindow &w, InkLanes &lanes, size_t i, size_t r0,
                             const int32_t *weights) {
  constexpr int kNext = kLead + J + 1;
  const uint32_t cell = w.cell;
  lanes.ring[r0 + kRingStart + kLead + J] = static_cast<int32_t>(cell);
  // Member::IncomingError (truncation toward zero), its bias from the sign
  // by shifts.
  const uint32_t bias = static_cast<uint32_t>(static_cast<int32_t>(cell) >> 31) >> 27;
  const int32_t incoming = static_cast<int32_t>(cell + bias) >> 5;
  // Masks, not branches: whether a dot is printed is close to random.
  const uint32_t noDot = incoming < lanes.limit[i] ? 1 : 0;
  const uint32_t none = 0u - noDot;
  const uint32_t withDot = static_cast<uint32_t>(lanes.choice[i]);
  const uint32_t e = static_cast<uint32_t>(incoming + lanes.amountLessDot[i]) +
                     (none & static_cast<uint32_t>(Member::kDotValue));
  const uint32_t choice =
      withDot ^ ((withDot ^ static_cast<uint32_t>(lanes.noDotChoice[i])) & none);
  const int32_t *row = reinterpret_cast<const int32_t *>(reinterpret_cast<const char *>(weights) +
                                                         (choice & 0xFFFF));
  const uint32_t next = choice >> 16;
  lanes.noDot[i] = noDot;
  uint32_t base;
  if constexpr (kNext < 16) {
    base = static_cast<uint32_t>(_mm256_extract_epi32(w.w1, kNext - 8));
  } else {
    base = static_cast<uint32_t>(_mm256_extract_epi32(w.w2, kNext - 16));
  }
  const __m256i error = _mm256_set1_epi32(static_cast<int32_t>(e));
  constexpr int kFirst = (kLead + J - Member::kReachLeft) / 8;
  constexpr int kLast = (kLead + J + Member::kReachRight) / 8;
  if constexpr (kFirst <= 0) AddWeights(w.w0, error, row);
  if constexpr (kFirst <= 1 && kLast >= 1) AddWeights(w.w1, error, row + 8);
  if constexpr (kFirst <= 2 && kLast >= 2) AddWeights(w.w2, error, row + 16);
  if constexpr (kLast >= 3) AddWeights(w.w3, error, row + 24);
  w.cell = base + next * e;
}

// The window moved on by a group: its first eight cells are final (less
// the replaced values in their ring entries, `ring`, which are cleared for
// reuse).
INKDOT_AVX2 inline void Advance(InkWindow &w, int32_t *ring, int32_t *cells) {
  auto *replaced = reinterpret_cast<__m256i *>(ring);
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(cells),
                      _mm256_sub_epi32(w.w0, _mm256_load_si256(replaced)));
  _mm256_store_si256(replaced, _mm256_setzero_si256());
  w.w0 = w.w1;
  w.w1 = w.w2;
  w.w2 = w.w3;
  w.w3 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(cells + 32));
}

// The entries still pending at the end of a block (those of the last
// group's window from its lane 8 on: 32 ..) moved to where the next block's
// groups read them (0 ..). The entries after them were cleared when their
// cells became final, and are cleared here where they moved from.
INKDOT_AVX2 inline void RingToNextBlock(int32_t ring[64]) {
  static_assert(kRingStart == 8 && kLead == 12, "pending: 32 to 51");
  auto *at = reinterpret_cast<__m256i *>(ring);
  _mm256_store_si256(at, _mm256_load_si256(at + 4));
  _mm256_store_si256(at + 1, _mm256_load_si256(at + 5));
  _mm_store_si128(reinterpret_cast<__m128i *>(ring + 16),
                  _mm_load_si128(reinterpret_cast<const __m128i *>(ring + 48)));
  _mm256_store_si256(at + 4, _mm256_setzero_si256());
  _mm256_store_si256(at + 5, _mm256_setzero_si256());
  _mm_store_si128(reinterpret_cast<__m128i *>(ring + 48), _mm_setzero_si128());
}

// The run ends with pixel i of the block, pixel `last` (0..7) of the
// window's group at r0: the pixels after it replace nothing, its carry
// (which its weight row added to the next lane) is dropped, and the window
// goes back to the line.
template <class Member>
INKDOT_AVX2 inline void Finish(const InkWindow &w, InkLanes &lanes, uint32_t i,
                               const int32_t *weights, uint32_t r0, uint32_t last,
                               int32_t *cells) {
  int32_t *ring = lanes.ring + r0 + kRingStart;  // the window's lane 0
  const int32_t cell = ring[kLead + last];
  const int32_t value =
      lanes.amountLessDot[i] + Member::kDotValue + Member::IncomingError(cell);
  const uint32_t none = lanes.noDot[i] != 0 ? ~0u : 0;
  const uint32_t e = static_cast<uint32_t>(value) - (~none & Member::kDotValue);
  const int32_t choice = none != 0 ? lanes.noDotChoice[i] : lanes.choice[i];
  const int32_t row = (choice & 0xFFFF) / 4;
  const int32_t next = choice >> 16;
  const uint32_t carry = static_cast<uint32_t>(weights[row + kLead + last + 1] - next);
  for (uint32_t j = last + 1; j < 8; ++j) ring[kLead + j] = 0;
  ring[kLead + last + 1] = static_cast<int32_t>(carry * e);
  const __m256i v[4] = {w.w0, w.w1, w.w2, w.w3};
  for (uint32_t k = 0; k < 4; ++k) {
    const __m256i replaced =
        _mm256_load_si256(reinterpret_cast<const __m256i *>(ring + 8 * k));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(cells + 8 * k),
                        _mm256_sub_epi32(v[k], replaced));
  }
}

}  // namespace hybrid
}  // namespace inkdot
