// SPDX-License-Identifier: Apache-2.0
// Multi-size-dot grey error diffusion: one plane of two-bit codes. The
// matrix places the large and medium dots through the dot palette; small
// dots come from error diffusion against the dot curve, with a filter that
// widens as the small-dot amount falls. The four kernels share this frame
// and differ in their filters and a few constants.
#include <cstdint>

#include "halftone/kernels/cell_by_cell.h"
#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/multi_size/dot_sizes.h"
#include "halftone/kernels/multi_size/filters_2880.h"
#include "halftone/kernels/multi_size/filters_square.h"
#include "halftone/kernels/multi_size/filters_tall.h"
#include "halftone/kernels/multi_size/filters_wide.h"
#include "halftone/kernels/multi_size/two_bit_planes.h"
#include "halftone/kernels/row_kernels.h"

namespace inkdot {

namespace {

// What the members of the family differ in. `heavy` says that the palette
// entry has a medium or large amount; `odd` is bit 0 of the threshold.
struct SquareGrey {
  static constexpr int32_t kNegativeBias = 31;
  static constexpr int32_t kDotValue = 255;
  static constexpr int kOffsetShift = 0;
  static constexpr bool kReadsPairs = false;
  static int32_t Spread(bool heavy, bool dot, uint32_t small, const uint32_t *limits,
                        bool odd, int32_t *cell, int32_t e, int32_t carry) {
    return SpreadSquare(ChooseSquareFilter(heavy, dot, small, limits), cell, e, carry,
                        odd);
  }
};

struct WideGrey : SquareGrey {
  static int32_t Spread(bool heavy, bool dot, uint32_t small, const uint32_t *limits,
                        bool odd, int32_t *cell, int32_t e, int32_t carry) {
    return SpreadWide(ChooseWideFilter(heavy, dot, small, limits), cell, e, carry, odd);
  }
};

struct TallGrey : SquareGrey {
  static constexpr bool kReadsPairs = true;
  static int32_t Spread(bool heavy, bool dot, uint32_t small, const uint32_t *limits,
                        bool, int32_t *cell, int32_t e, int32_t carry) {
    return SpreadTall(ChooseTallFilter(heavy, dot, small, limits, kTallHeavyGrey), cell,
                      e, carry);
  }
};

// 2880 dpi: a dot counts twice, offsets are halved, the fixed filters.
struct FineGrey {
  static constexpr int32_t kNegativeBias = 10;
  static constexpr int32_t kDotValue = 510;
  static constexpr int kOffsetShift = 1;
  static constexpr bool kReadsPairs = false;
  static int32_t Spread(bool, bool dot, uint32_t small, const uint32_t *, bool,
                        int32_t *cell, int32_t e, int32_t carry) {
    return SpreadFine(ChooseFineFilter(dot, small), cell, e, carry);
  }
};

template <class Member, class Planes>
INKDOT_CELL_BY_CELL void DiffuseGreyPixels(const HalftoneContext *ht, const RowRun &run, int32_t *line) {
  const uint16_t *thresholds = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const auto *curve = GreyCurve(ht);
  const SmallModulo spread(curve[0]);
  const auto *palette = DotPalette(ht);
  const auto *levels = LevelScale(ht);
  const auto *dotCurve = DotCurve(ht);
  const uint32_t *limits = ht->dotParams;
  const int32_t magnification = ht->params.magnification;
  const bool pairs = Member::kReadsPairs && magnification == -1;
  const bool doubled = magnification == 1;

  Planes out(run.dst, run.planeStride, run.firstBit);
  const uint8_t *src = run.src;
  int32_t *cell = line + run.startX;
  int32_t carry = 0;
  // Locals, so that the output and error stores do not force reloads.
  const uint32_t startX = run.startX, count = run.count;

  for (uint32_t i = 0; i < count; ++i, ++cell, out.Next()) {
    const uint32_t x = startX + i;
    const GreySample sample = ReadGreySample(src, i, pairs, doubled);
    const uint32_t v = sample.value;
    const bool opposed = sample.opposed;

    if (v == 255) {  // white: nothing printed, the incoming error dropped
      cell[0] = carry;
      carry = 0;
      continue;
    }

    const uint32_t t = thresholds[x & columnMask];
    const bool odd = (t & 1) != 0;
    const int32_t offset = ThresholdOffset(t & ~1u) >> Member::kOffsetShift;
    const uint32_t p = curve[v + spread(thresholds[(x + 24) & columnMask]) + 1] & 0xFF;
    const uint32_t small = palette[3 * p];
    const uint32_t medium = palette[3 * p + 1];
    const uint32_t large = palette[3 * p + 2];

    int32_t incoming = cell[0];
    if (incoming < 0) incoming += Member::kNegativeBias;
    incoming >>= 5;
    const int32_t value = static_cast<int32_t>(small + medium + large) + incoming;

    // Large, else medium, else small, else none; chosen without branches,
    // as the matrix scatters the outcome from pixel to pixel.
    const bool smallHit = small != 0 && value >= dotCurve[p] + offset;
    const bool mediumHit = uint32_t{levels[large]} + levels[medium] > t;
    const bool largeHit = levels[large] > t;
    uint32_t code = smallHit ? uint32_t{kSmallDot} : uint32_t{kNoDot};
    code = mediumHit ? uint32_t{kMediumDot} : code;
    code = largeHit ? uint32_t{kLargeDot} : code;
    const bool dot = code != kNoDot;
    const int32_t e = value - (Member::kDotValue & -static_cast<int32_t>(dot));
    carry = Member::Spread(large != 0 || medium != 0, dot, small, limits, odd, cell, e,
                           carry);

    // A black-and-white pair reduced to black keeps a small dot.
    if (opposed && v == 0) code = kSmallDot;
    out.Set(0, code);
  }
  out.Finish();
}

template <class Member>
ResultCode DiffuseGreyRow(HalftoneContext *ht, const RowRun &run) {
  if (run.reservedB != 0) return kBadReservedB;
  // Compared in 64 bits so that a wrapping sum cannot pass.
  if (uint64_t{run.startX} + run.count > ht->params.maxPixels) {
    return kRunTooLong;
  }
  if (run.reservedA != 0) return kBadReservedA;

  int32_t *line = ErrorLineColumns(ht, 0);
  UpdateRowContinuity(ht, run.row, run.startX, run.count, &line, 1);
  // A run starting past the last field of a byte (firstBit 4..7) takes the
  // general writer.
  if (run.firstBit < 4) {
    DiffuseGreyPixels<Member, PackedTwoBitPlanes<1>>(ht, run, line);
  } else {
    DiffuseGreyPixels<Member, TwoBitPlanes<1>>(ht, run, line);
  }
  return kOk;
}

}  // namespace

ResultCode DotDiffuseMonoRow(HalftoneContext *ht, const RowRun &run) {
  return DiffuseGreyRow<SquareGrey>(ht, run);
}

ResultCode DotDiffuseMonoRow1440(HalftoneContext *ht, const RowRun &run) {
  return DiffuseGreyRow<WideGrey>(ht, run);
}

ResultCode DotDiffuseMonoRowTall(HalftoneContext *ht, const RowRun &run) {
  return DiffuseGreyRow<TallGrey>(ht, run);
}

ResultCode DotDiffuseMonoRow2880(HalftoneContext *ht, const RowRun &run) {
  return DiffuseGreyRow<FineGrey>(ht, run);
}

}  // namespace inkdot
