// SPDX-License-Identifier: Apache-2.0
// The grey diffusion with its error line held in registers (AVX2). The
// cells from the filters' left reach before a group of eight pixels to
// their right reach after it sit in a window of eight-cell registers; each
// pixel adds its error times a row of weights (chosen by its level, noise
// bit and dot, without a branch on the dot) to the registers its filter
// reaches. Only the next pixel's cell is on the chain from pixel to pixel:
// a scalar, that cell as the pixels before left it plus this pixel's share.
// A pixel's own cell is replaced in the portable loop; here it keeps
// accumulating, and the value it had when read is kept in a ring and taken
// off when the window's first register goes back to the line.
#include "halftone/kernels/vector_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include <algorithm>
#include <cstring>
#include <utility>

#include "halftone/kernels/avx2_lanes.h"
#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/one_bit/diffusion_filters.h"
#include "halftone/kernels/one_bit/mono_member.h"
#include "halftone/kernels/one_bit/mono_window_rows.h"

namespace inkdot {

namespace {

using mono_window::Rows;

// What a source byte gives every pixel that takes it.
struct ByteEntry {
  int16_t level;
  int16_t curve;  // the dot curve at the level, before the matrix's offset
  uint16_t tone;
  uint8_t key[2];  // the filter key with noise bit 0 and 1
};

template <class Filters>
void LoadEntries(const HalftoneContext *ht, ByteEntry entries[256]) {
  const int16_t *levels = SignedGreyCurve(ht);
  const int16_t *dotCurve = DotCurve(ht);
  const uint16_t *toneCurve = ToneCurve(ht);
  const FilterLimits limits = LimitsOf(ht->dotParams);
  for (uint32_t v = 0; v < 256; ++v) {
    const int32_t level = levels[v];
    const uint8_t index = static_cast<uint8_t>(level);
    entries[v] = {static_cast<int16_t>(level), dotCurve[index], toneCurve[index],
                  {static_cast<uint8_t>(mono_window::FilterKey<Filters>(level, 0, limits)),
                   static_cast<uint8_t>(mono_window::FilterKey<Filters>(level, 1, limits))}};
  }
}

// The low eight bytes of v (also on 32-bit targets, which lack the
// 64-bit move).
INKDOT_AVX2 inline uint64_t Low64(__m128i v) {
  uint64_t low;
  _mm_storel_epi64(reinterpret_cast<__m128i *>(&low), v);
  return low;
}

// The eight source bytes of a group, one per pixel, in a word (pixel j in
// byte j).
INKDOT_AVX2 inline uint64_t GroupBytes(const uint8_t *&src, int32_t magnification,
                                       bool takesLarger) {
  if (magnification == 1) {
    uint32_t four;
    std::memcpy(&four, src, 4);
    src += 4;
    const __m128i v = _mm_cvtsi32_si128(static_cast<int32_t>(four));
    return Low64(_mm_unpacklo_epi8(v, v));
  }
  if (magnification == -1) {
    const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
    src += 16;
    const __m128i even = _mm_and_si128(pairs, _mm_set1_epi16(0xFF));
    const __m128i odd = _mm_srli_epi16(pairs, 8);
    const __m128i kept = takesLarger ? _mm_max_epi16(even, odd) : _mm_min_epi16(even, odd);
    return Low64(_mm_packus_epi16(kept, kept));
  }
  uint64_t eight;
  std::memcpy(&eight, src, 8);
  src += 8;
  return eight;
}

// Appends eight bits to the plane, `filled` bits into its current byte.
class GroupBits {
 public:
  GroupBits(uint8_t *dst, uint32_t filled)
      : out_(dst), filled_(filled), pending_(filled != 0 ? *dst >> (8 - filled) : 0) {}
  void Put(uint32_t eight) {
    pending_ = pending_ << 8 | eight;
    *out_++ = static_cast<uint8_t>(pending_ >> filled_);
    pending_ &= (1u << filled_) - 1;
  }
  // Leaves the pending bits at the top of the current byte.
  uint8_t *Finish() {
    if (filled_ != 0) *out_ = static_cast<uint8_t>(pending_ << (8 - filled_));
    return out_;
  }

 private:
  uint8_t *out_;
  uint32_t filled_;
  uint32_t pending_;
};

template <class Filters, bool kLevelZeroStoresCarry>
class Window {
  using R = Rows<Filters>;
  static constexpr int kLead = R::kLead, kRegisters = R::kRegisters;

 public:
  INKDOT_AVX2 Window(const HalftoneContext *ht, const RowRun &run, const R &rows,
                     const ByteEntry *entries, int32_t *line)
      : rows_(rows),
        entries_(entries),
        matrixRow_(MatrixRow(ht, run.row)),
        columnMask_(ht->matrixWidth - 1),
        first_(line + run.startX - kLead) {}

  // `groups` groups of eight pixels from x, the run's first, their source
  // bytes from `src` (moved on past them), their dots into `bits`; then the
  // window goes back to the line. Returns the carry meant for the next
  // pixel's cell, which the line then holds as that pixel will read it.
  // The window, the chain's cell and the ring's start are locals for the
  // whole loop, which GCC keeps in registers (as members, it moved them
  // through memory at every pixel).
  INKDOT_AVX2 int32_t Run(uint32_t x, uint32_t groups, const uint8_t *&src,
                          int32_t magnification, bool takesLarger, GroupBits &bits) {
    __m256i w[kRegisters];
    [&]<int... r>(std::integer_sequence<int, r...>) INKDOT_AVX2 {
      ((w[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(first_ + 8 * r))), ...);
    }(std::make_integer_sequence<int, kRegisters>{});
    // The next pixel's cell, less the carry meant for it.
    uint32_t cell = static_cast<uint32_t>(first_[kLead]);
    uint32_t ring0 = 0;
    for (uint32_t g = 0; g < groups; ++g, x += 8) {
      const uint64_t bytes = GroupBytes(src, magnification, takesLarger);
      uint32_t dots = 0;
      [&]<int... j>(std::integer_sequence<int, j...>) INKDOT_AVX2 {
        ((dots |= Pixel<j>(w, cell, ring0, x + j, static_cast<uint8_t>(bytes >> (8 * j)))), ...);
      }(std::make_integer_sequence<int, 8>{});
      bits.Put(dots);
      Advance(w, ring0);
    }
    [&]<int... r>(std::integer_sequence<int, r...>) INKDOT_AVX2 {
      ((_mm256_storeu_si256(reinterpret_cast<__m256i *>(first_ + 8 * r),
                            _mm256_sub_epi32(w[r], Replaced((ring0 + 8 * r) & 63)))),
       ...);
    }(std::make_integer_sequence<int, kRegisters>{});
    int32_t &next = first_[kLead];
    const int32_t carry = static_cast<int32_t>(static_cast<uint32_t>(next) - cell);
    next = static_cast<int32_t>(cell);
    return carry;
  }

 private:
  template <int kLane>
  INKDOT_AVX2 static uint32_t Lane(const __m256i (&w)[kRegisters]) {
    return static_cast<uint32_t>(_mm256_extract_epi32(w[kLane / 8], kLane % 8));
  }

  INKDOT_AVX2 __m256i Replaced(uint32_t at) const {
    return _mm256_load_si256(reinterpret_cast<const __m256i *>(ring_ + at));
  }

  // Adds the error times `row` to the registers that cells kFrom .. kTo of
  // pixel J's filter fall in.
  template <int J, int kFrom, int kTo>
  INKDOT_AVX2 static void Spread(__m256i (&w)[kRegisters], __m256i error, const int32_t *row) {
    constexpr int kFirst = (kLead + J + kFrom) / 8;
    constexpr int kLast = (kLead + J + kTo) / 8 < kRegisters ? (kLead + J + kTo) / 8 : kRegisters - 1;
    static_assert(kLead + J + kFrom >= 0);
    [&]<int... r>(std::integer_sequence<int, r...>) INKDOT_AVX2 {
      ((w[kFirst + r] = _mm256_add_epi32(
            w[kFirst + r],
            _mm256_mullo_epi32(error, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(
                                          row + 8 * (kFirst + r) + 7 - J))))),
       ...);
    }(std::make_integer_sequence<int, kLast - kFirst + 1>{});
  }

  template <int J>
  INKDOT_AVX2 uint32_t Pixel(__m256i (&w)[kRegisters], uint32_t &cell, uint32_t ring0,
                             uint32_t x, uint8_t v) {
    const ByteEntry entry = entries_[v];
    int32_t &replaced = ring_[(ring0 + kLead + J) & 63];
    if (entry.level == 0) {
      // No ink: the cell ends with the carry (or nothing) and what the
      // later pixels add; the next pixel's cell takes nothing from here.
      replaced = static_cast<int32_t>(kLevelZeroStoresCarry ? cell : Lane<kLead + J>(w));
      cell = Lane<kLead + J + 1>(w);
      return 0;
    }
    const uint32_t m = matrixRow_[x & columnMask_];
    const uint32_t noise = m & 1;
    const int32_t threshold = entry.curve + kThresholdOffsets[m & 0xFE];
    const uint32_t key = entry.key[noise];
    const uint32_t nextDot = static_cast<uint32_t>(rows_.next[2 * key + 1]);
    const uint32_t nextNone = static_cast<uint32_t>(rows_.next[2 * key]);

    replaced = static_cast<int32_t>(cell);
    const int32_t corrected = entry.level + (static_cast<int32_t>(cell) >> 5);
    // All ones without a dot; a mask, as dots fall unpredictably.
    const uint32_t none = static_cast<uint32_t>((corrected - threshold) >> 31);
    const uint32_t e = static_cast<uint32_t>(corrected) - (uint32_t{entry.tone} & ~none);
    const uint32_t next = nextDot ^ ((nextDot ^ nextNone) & none);
    cell = Lane<kLead + J + 1>(w) + next * e;

    const uint32_t row = 2 * key + 1 + none;
    const __m256i error = _mm256_set1_epi32(static_cast<int32_t>(e));
    const uint8_t span = rows_.span[key];
    if (span == mono_window::kNear4) {
      Spread<J, -4, 4>(w, error, rows_.error[row]);
    } else if (span == mono_window::kNear8) {
      Spread<J, -8, 8>(w, error, rows_.error[row]);
    } else {
      Spread<J, -R::kLeft, R::kRight>(w, error, rows_.error[row]);
      if (span == mono_window::kFullHalf) {
        Spread<J, -R::kLeft, R::kRight>(w, _mm256_set1_epi32(static_cast<int32_t>(e) >> 1),
                                        rows_.half[row]);
      }
    }
    return (none + 1) << (7 - J);
  }

  // The first register's cells are final: back to the line, less the
  // values their pixels replaced; the window moves on by eight cells.
  INKDOT_AVX2 void Advance(__m256i (&w)[kRegisters], uint32_t &ring0) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(first_),
                        _mm256_sub_epi32(w[0], Replaced(ring0)));
    _mm256_store_si256(reinterpret_cast<__m256i *>(ring_ + ring0), _mm256_setzero_si256());
    [&]<int... r>(std::integer_sequence<int, r...>) INKDOT_AVX2 {
      ((w[r] = w[r + 1]), ...);
    }(std::make_integer_sequence<int, kRegisters - 1>{});
    first_ += 8;
    w[kRegisters - 1] =
        _mm256_loadu_si256(reinterpret_cast<const __m256i *>(first_ + 8 * (kRegisters - 1)));
    ring0 = (ring0 + 8) & 63;
  }

  const R &rows_;
  const ByteEntry *entries_;
  const uint16_t *matrixRow_;
  const uint32_t columnMask_;
  int32_t *first_;  // the line's cell under the window's first lane
  alignas(32) int32_t ring_[64] = {};
};

template <class Filters, MonoMember kMember>
INKDOT_AVX2_CALL MonoResume DiffuseWindow(const HalftoneContext *ht, const RowRun &run,
                                          int32_t *line) {
  using R = Rows<Filters>;
  const R &rows = mono_window::kRows<Filters>;
  const uint32_t filled = run.firstBit & 7;
  MonoResume from{0, 0, run.src, run.dst, filled};
  // Whole groups, while the window stays on the line: after the group at x
  // it holds the cells up to x + 8 - kLead + 8 * kRegisters - 1.
  const int64_t lineEnd = int64_t{ht->params.maxPixels} + kErrorMargin;
  const int64_t room = lineEnd - (int64_t{run.startX} + 8 - R::kLead + 8 * R::kRegisters);
  static_assert(R::kLead <= static_cast<int>(kErrorMargin));
  if (!rows.linear || room < 0) return from;
  const uint32_t groups = std::min<uint32_t>(run.count / 8, static_cast<uint32_t>(room / 8 + 1));
  if (groups == 0) return from;

  ByteEntry entries[256];
  LoadEntries<Filters>(ht, entries);
  Window<Filters, kMember.levelZeroStoresCarry> window(ht, run, rows, entries, line);
  GroupBits bits(run.dst, filled);
  const int32_t magnification = ht->params.magnification;
  const uint8_t *src = run.src;
  from.carry =
      window.Run(run.startX, groups, src, magnification, kMember.reductionTakesLarger, bits);
  from.pixels = 8 * groups;
  from.src = src;
  from.dst = bits.Finish();
  return from;
}

}  // namespace

// The 1440 x 720 member's window rows are those of its filters without the
// colour kernels' branch-free form, which gives the same cells.
template <>
MonoResume DiffuseMonoWindowAvx2<WideColourFilters>(const HalftoneContext *ht, const RowRun &run,
                                                    int32_t *line) {
  return DiffuseWindow<WideFilters, kMonoWide>(ht, run, line);
}

template <>
MonoResume DiffuseMonoWindowAvx2<SquareFilters>(const HalftoneContext *ht, const RowRun &run,
                                                int32_t *line) {
  return DiffuseWindow<SquareFilters, kMonoSquare>(ht, run, line);
}

}  // namespace inkdot

#else

namespace inkdot {

// Never reached: DetectVectorPath chooses the portable path here; nothing
// is diffused, so the portable loop takes the whole run.
template <>
MonoResume DiffuseMonoWindowAvx2<WideColourFilters>(const HalftoneContext *, const RowRun &run,
                                                    int32_t *) {
  return {0, 0, run.src, run.dst, run.firstBit & 7};
}

template <>
MonoResume DiffuseMonoWindowAvx2<SquareFilters>(const HalftoneContext *, const RowRun &run,
                                                int32_t *) {
  return {0, 0, run.src, run.dst, run.firstBit & 7};
}

}  // namespace inkdot

#endif
