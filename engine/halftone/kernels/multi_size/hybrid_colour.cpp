// SPDX-License-Identifier: Apache-2.0
// The hybrid colour kernels: four palette indexes per pixel (from the colour
// table, or straight from the source), ink 2 screened, inks 3, 0 and 1 by the
// hybrid of matrix-placed medium and large dots and diffused small dots.
// Four members share the engine and differ in filters and a few constants.
#include <cstdint>

#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/multi_size/hybrid_members.h"
#include "halftone/kernels/multi_size/two_bit_planes.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/run_checks.h"
#include "halftone/kernels/vector_kernels.h"

namespace inkdot {

namespace {

using namespace hybrid;

// Smoothing between neighbouring grid cells: when no coordinate moved by
// more than one, each palette index becomes the rounded mean of its own and
// the previous pixel's. Two inks are averaged at once in the 16-bit lanes of
// one word (inks 0 and 2, inks 1 and 3).
class Smoothing {
 public:
  // Returns the (possibly smoothed) colour-table entry.
  uint32_t Apply(uint32_t c0, uint32_t c1, uint32_t c2, uint32_t entry,
                 uint32_t round) {
    uint32_t even = entry & 0x00FF00FFu;
    uint32_t odd = (entry >> 8) & 0x00FF00FFu;
    if (Near(c0, prev_[0]) && Near(c1, prev_[1]) && Near(c2, prev_[2])) {
      const uint32_t r = round * 0x10001u;
      even = ((even + even_ + r) >> 1) & 0x00FF00FFu;
      odd = ((odd + odd_ + r) >> 1) & 0x00FF00FFu;
    }
    prev_[0] = static_cast<int32_t>(c0);
    prev_[1] = static_cast<int32_t>(c1);
    prev_[2] = static_cast<int32_t>(c2);
    even_ = even;
    odd_ = odd;
    return even | odd << 8;
  }

 private:
  static bool Near(uint32_t c, int32_t previous) {
    return static_cast<uint32_t>(static_cast<int32_t>(c) - previous + 1) <= 2;
  }
  // -2 is within one of no coordinate: the run's first pixel stands alone.
  int32_t prev_[3] = {-2, -2, -2};
  uint32_t even_ = 0;
  uint32_t odd_ = 0;
};

// The table path and the ink path of every member.
template <class Member, bool kInkPath>
void RunHybrid(HalftoneContext *ht, const RowRun &run, int32_t *const lines[3],
               bool inkPairs) {
  HybridTables tables;
  tables.Load(ht, !kInkPath);
  const uint32_t *dotParams = ht->dotParams;
  const auto *colourTable = ColourTable(ht);
  const uint16_t *rowA = MatrixRow(ht, run.row);
  const uint16_t *rowB = MatrixRow(ht, run.row + 24);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const uint32_t shift = ThresholdShift(ht->matrixSize);
  const bool doubled = ht->params.magnification == 1;

  TwoBitPlanes<4> out(run.dst, run.planeStride, run.firstBit);
  RunState state(lines, run.startX);
  Smoothing smoothing;
  const uint8_t *src = run.src;

  for (uint32_t i = 0; i < run.count; ++i, state.NextColumn(), out.Next()) {
    const uint32_t x = run.startX + i;
    const uint8_t *s = src;
    src += inkPairs ? 8 : doubled ? 4 * (i & 1) : 4;

    const uint32_t m24 = rowA[(x + 24) & columnMask];
    const uint32_t noise = m24 & 1;
    const uint32_t t = (m24 >> shift) & 0xFE;

    uint32_t p0, p1, p2, p3;
    if (kInkPath) {
      p0 = s[0];
      p1 = s[1];
      p2 = s[2];
      p3 = s[3];
      if (inkPairs) {  // 2:1 reduction: the larger of each pair of bytes
        p0 = p0 > s[4] ? p0 : s[4];
        p1 = p1 > s[5] ? p1 : s[5];
        p2 = p2 > s[6] ? p2 : s[6];
        p3 = p3 > s[7] ? p3 : s[7];
      }
      if ((p0 | p1 | p2 | p3) == 0) {
        state.PassWhite();
        continue;
      }
    } else {
      const uint32_t v0 = s[0], v1 = s[1], v2 = s[2];
      if (v0 + v1 + v2 == 765) {
        state.PassWhite();
        continue;
      }
      const uint32_t c0 =
          GridCoordinate(tables.gridCoord[v0], tables.gridWeight[v0], t);
      const uint32_t c1 =
          GridCoordinate(tables.gridCoord[v1], tables.gridWeight[v1], t);
      const uint32_t c2 =
          GridCoordinate(tables.gridCoord[v2], tables.gridWeight[v2], t);
      const uint32_t entry =
          smoothing.Apply(c0, c1, c2, colourTable[(c0 * 32 + c1) * 32 + c2], noise ^ 1);
      p0 = entry & 0xFF;
      p1 = (entry >> 8) & 0xFF;
      p2 = (entry >> 16) & 0xFF;
      p3 = entry >> 24;
    }

    const int32_t offset = ThresholdOffset(t) >> Member::kOffsetShift;
    const bool odd = noise == 0;
    out.Set(2, ScreenedInkDot(tables, p2, rowA[(x + 48) & columnMask]));
    state.activity = (state.activity >> 1) & kActivityLanes;
    out.Set(3, DiffuseInk<Member>(tables, dotParams, p3, rowB[(x + 40) & columnMask],
                                  offset, state.activity, state.ink3, odd));
    out.Set(0, DiffuseInk<Member>(tables, dotParams, p0, rowA[x & columnMask], offset,
                                  state.activity, state.ink0, odd));
    out.Set(1, DiffuseInk<Member>(tables, dotParams, p1, rowB[(x + 16) & columnMask],
                                  -offset, state.activity, state.ink1, odd));
  }
  // The carries are dropped: the next run starts its own.
  out.Finish();
}

// The tall member with the 2:1 reduction of colour pixels: pairs averaged,
// one matrix row read through a pair table, complementary thresholds for
// inks 1 and 2, and incoming error rounded to the nearest.
void RunTallPairs(HalftoneContext *ht, const RowRun &run, int32_t *const lines[3]) {
  HybridTables tables;
  tables.Load(ht, true);
  const uint32_t *dotParams = ht->dotParams;
  const auto *colourTable = ColourTable(ht);
  const uint16_t *rowA = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  uint32_t pairTable[256];  // column j: its value, and column j + 48's above
  for (uint32_t j = 0; j < 256; ++j) {
    pairTable[j] =
        rowA[j & columnMask] | static_cast<uint32_t>(rowA[(j + 48) & columnMask]) << 16;
  }
  constexpr uint32_t kTop = 16383;

  TwoBitPlanes<4> out(run.dst, run.planeStride, run.firstBit);
  RunState state(lines, run.startX);
  Smoothing smoothing;
  const uint8_t *src = run.src;

  for (uint32_t i = 0; i < run.count; ++i, state.NextColumn(), out.Next()) {
    const uint32_t x = run.startX + i;
    const uint8_t *s = src;
    src += 8;
    const uint32_t sumA = uint32_t{s[0]} + s[1] + s[2];
    const uint32_t sumB = uint32_t{s[4]} + s[5] + s[6];
    // Exactly one black pixel: the pair stays black and ink 3 keeps a dot.
    const bool blackPair = (sumA == 0) != (sumB == 0);
    uint32_t v0 = 0, v1 = 0, v2 = 0;
    if (!blackPair) {
      v0 = (uint32_t{s[0]} + s[4] + 1) >> 1;
      v1 = (uint32_t{s[1]} + s[5] + 1) >> 1;
      v2 = (uint32_t{s[2]} + s[6] + 1) >> 1;
    }
    if (v0 + v1 + v2 == 765) {
      state.PassWhite();
      continue;
    }

    const uint32_t pair = pairTable[x & 255];
    const uint32_t m0 = pair & 0xFFFF;
    const uint32_t m48 = pair >> 16;
    const uint32_t t = (m0 >> 5) & 0xFE;
    const int32_t offset = ThresholdOffset(t);

    const uint32_t c0 = GridCoordinate(tables.gridCoord[v0], tables.gridWeight[v0], t);
    const uint32_t c1 = GridCoordinate(tables.gridCoord[v1], tables.gridWeight[v1], t);
    const uint32_t c2 = GridCoordinate(tables.gridCoord[v2], tables.gridWeight[v2], t);
    const uint32_t entry =
        smoothing.Apply(c0, c1, c2, colourTable[(c0 * 32 + c1) * 32 + c2], m0 & 1);
    const uint32_t p0 = entry & 0xFF;
    const uint32_t p1 = (entry >> 8) & 0xFF;
    const uint32_t p2 = (entry >> 16) & 0xFF;
    const uint32_t p3 = entry >> 24;

    out.Set(2, ScreenedInkDot(tables, p2, kTop - m48));
    state.activity = (state.activity >> 1) & kActivityLanes;
    if (blackPair) {
      *state.ink3.cell = state.ink3.carry;
      state.ink3.carry = 0;
      out.Set(3, kSmallDot);
    } else {
      out.Set(3, DiffuseInk<TallPairs>(tables, dotParams, p3, m48, offset,
                                       state.activity, state.ink3, false));
    }
    out.Set(0, DiffuseInk<TallPairs>(tables, dotParams, p0, m0, offset, state.activity,
                                     state.ink0, false));
    out.Set(1, DiffuseInk<TallPairs>(tables, dotParams, p1, kTop - m0, -offset,
                                     state.activity, state.ink1, false));
  }
  out.Finish();
}

template <class Member>
ResultCode HybridRow(HalftoneContext *ht, const RowRun &run, bool tall) {
  int32_t *const lines[3] = {ErrorLineColumns(ht, 0), ErrorLineColumns(ht, 1),
                             ErrorLineColumns(ht, 2)};
  UpdateRowContinuity(ht, run.row, run.startX, run.count, lines, 3);
  const bool inkPath = ht->params.inputFormat == 4;
  const bool reduce = ht->params.magnification == -1;
  if (inkPath) {
    RunHybrid<Member, true>(ht, run, lines, tall && reduce);
    return kOk;
  }
  if (tall) {
    // The tall member's colour path takes its thresholds in 0..16383 (the
    // pair path complements them against 16383): other matrix sizes are
    // refused. The pair table repeats every 256 columns.
    if (ht->matrixSize != 16384) return kBadResource;
    if (reduce) {
      if (ht->matrixWidth == 0 || 256 % ht->matrixWidth != 0) {
        return kBadResource;
      }
      RunTallPairs(ht, run, lines);
      return kOk;
    }
  }
  if (run.firstBit < 4 && FitsVectorPath(ht, run, 2 * run.firstBit, 2)) {
    HybridColourRunAvx2<Member>(ht, run, lines);
    return kOk;
  }
  RunHybrid<Member, false>(ht, run, lines, false);
  return kOk;
}

}  // namespace

ResultCode HybridColourRow(HalftoneContext *ht, const RowRun &run) {
  return HybridRow<Square>(ht, run, false);
}

ResultCode HybridColourRowWide(HalftoneContext *ht, const RowRun &run) {
  return HybridRow<Wide>(ht, run, false);
}

ResultCode HybridColourRow2880(HalftoneContext *ht, const RowRun &run) {
  return HybridRow<Fine>(ht, run, false);
}

ResultCode HybridColourRowTall(HalftoneContext *ht, const RowRun &run) {
  return HybridRow<Tall>(ht, run, true);
}

}  // namespace inkdot
