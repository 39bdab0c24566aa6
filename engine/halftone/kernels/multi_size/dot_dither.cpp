// SPDX-License-Identifier: Apache-2.0
// Multi-size-dot screening: every ink of every pixel is compared with the
// threshold matrix on its own and becomes one of four two-bit codes through
// the dot palette. The matrix is sampled at fixed column (and, for four
// inks, row) offsets per ink so that the inks do not line up. Nothing is
// carried from pixel to pixel except the colour kernel's smoothing.
#include <cstdint>

#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/multi_size/dot_sizes.h"
#include "halftone/kernels/multi_size/two_bit_planes.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/run_checks.h"
#include "halftone/kernels/vector_kernels.h"

namespace inkdot {

namespace {

// The common checks; the grey kernels also insist on reservedB 0.
ResultCode CheckRun(const HalftoneContext *ht, const RowRun &run, bool grey) {
  if (grey && run.reservedB != 0) return kBadReservedB;
  // Compared in 64 bits so that a wrapping sum cannot pass.
  if (uint64_t{run.startX} + run.count > ht->params.maxPixels) {
    return kRunTooLong;
  }
  if (run.reservedA != 0) return kBadReservedA;
  return kOk;
}

// The palette tables as one pair of loads per decision.
struct PaletteView {
  const uint32_t *totals;
  const uint32_t *limits;
  uint32_t Dot(uint32_t p, uint32_t t) const {
    return ScreenedDot(totals[p], limits[p], t);
  }
};

// The smoothing test: the packed cell key holds the three grid coordinates
// in fields 10, 6 and 5 bits wide; adding 1 and 2 to every field of the key
// difference and masking all but the low two bits of each field leaves 0
// exactly when no coordinate moved by more than one.
bool NeighbouringCell(uint32_t key, uint32_t previousKey) {
  const uint32_t d = key - previousKey;  // wraps on purpose
  return (((d + 0x10401u) | (d + 0x20802u)) & 0xFFFCF3FCu) == 0;
}

// Averages two pixels' channels for a 2:1 reduction. A pair in which exactly
// one pixel is black stays black (and is marked), so thin black lines
// survive the reduction.
struct Channels {
  uint32_t c0, c1, c2;
  bool halfBlack;
};

template <bool kPairs>
Channels ReadColour(const uint8_t *s) {
  if (!kPairs) return {s[0], s[1], s[2], false};
  const uint32_t sumA = uint32_t{s[0]} + s[1] + s[2];
  const uint32_t sumB = uint32_t{s[4]} + s[5] + s[6];
  if ((sumA == 0) != (sumB == 0)) return {0, 0, 0, true};
  return {(uint32_t{s[0]} + s[4] + 1) >> 1, (uint32_t{s[1]} + s[5] + 1) >> 1,
          (uint32_t{s[2]} + s[6] + 1) >> 1, false};
}

// Grey: the level of source value v, spread over `pad` neighbouring curve
// entries by a second matrix value; the palette decides from the level scale.
uint32_t GreyDot(const uint16_t *curve, const uint8_t *palette, const uint16_t *levels,
                 uint32_t v, uint32_t jitter, uint32_t t) {
  const uint32_t p = curve[v + jitter + 1] & 0xFF;
  const uint32_t large = levels[palette[3 * p + 2]];
  const uint32_t medium = large + levels[palette[3 * p + 1]];
  const uint32_t total = medium + levels[palette[3 * p]];
  // The three sums only grow, so the code is the count of those above t.
  return (large > t ? 1u : 0u) + (medium > t ? 1u : 0u) + (total > t ? 1u : 0u);
}

ResultCode DitherGreyRow(HalftoneContext *ht, const RowRun &run, bool tall) {
  const ResultCode checked = CheckRun(ht, run, true);
  if (checked != kOk) return checked;
  ht->lastRow = run.row;

  const uint16_t *thresholds = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const auto *curve = GreyCurve(ht);
  const SmallModulo spread(curve[0]);
  const auto *palette = DotPalette(ht);
  const auto *levels = LevelScale(ht);
  const bool doubled = ht->params.magnification == 1;
  const bool pairs = tall && ht->params.magnification == -1;

  TwoBitPlanes<1> out(run.dst, run.planeStride, run.firstBit);
  const uint8_t *src = run.src;
  for (uint32_t i = 0; i < run.count; ++i, out.Next()) {
    const uint32_t x = run.startX + i;
    const GreySample sample = ReadGreySample(src, i, pairs, doubled);
    const uint32_t v = sample.value;
    const bool opposed = sample.opposed;
    const uint32_t t = thresholds[x & columnMask];
    uint32_t code = GreyDot(curve, palette, levels, v,
                            spread(thresholds[(x + 24) & columnMask]), t);
    // A black-and-white pair reduced to black keeps a small dot.
    if (opposed && v == 0) code = kSmallDot;
    out.Set(0, code);
  }
  out.Finish();
  return kOk;
}

// The colour kernel's pixel loop for one way of stepping through the source
// (kStep 0: a pixel per output pixel, 1: each pixel twice, 2: pairs reduced
// 2:1) and one output writer.
template <int kStep, class Planes>
void DotDitherColourPixels(const HalftoneContext *ht, const RowRun &run, Planes &out) {
  const uint16_t *thresholds = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const uint32_t top = (ht->matrixSize - 1) & 0xFFFF;
  const auto *table = ColourTable(ht);
  const auto *grid = GridIndex(ht);
  const PaletteView palette{ht->paletteTotals, ht->paletteLimits};

  const uint8_t *src = run.src;
  // Smoothing memory: 35 is no reachable key, so the first pixel of the run
  // is never a neighbour.
  uint32_t previousKey = 35;
  uint32_t previousEven = 0;  // inks 0 and 2 in 16-bit lanes
  uint32_t previousOdd = 0;   // inks 1 and 3
  const uint32_t first = run.startX, end = first + run.count;
  for (uint32_t x = first; x != end; ++x, out.Next()) {
    const Channels c = ReadColour<kStep == 2>(src);
    src += kStep == 2 ? 8 : kStep == 1 ? 4 * ((x ^ first) & 1) : 4;
    if (c.c0 + c.c1 + c.c2 == 765) continue;  // white

    const uint32_t t1 = thresholds[x & columnMask];
    const uint32_t t2 = thresholds[(x + 48) & columnMask];
    const uint32_t d = t1 & ~1u;
    const uint32_t i0 = GridCoordinate(grid[2 * c.c0], grid[2 * c.c0 + 1], d);
    const uint32_t i1 = GridCoordinate(grid[2 * c.c1], grid[2 * c.c1 + 1], d);
    const uint32_t i2 = GridCoordinate(grid[2 * c.c2], grid[2 * c.c2 + 1], d);
    const uint32_t entry = table[(i0 << 10) + (i1 << 5) + i2];
    uint32_t even = entry & 0x00FF00FFu;
    uint32_t odd = (entry >> 8) & 0x00FF00FFu;

    const uint32_t key = i2 + (i0 << 10) + (i1 << 16);
    // Selected by mask rather than a branch: neighbouring or not varies from
    // pixel to pixel in grain.
    const uint32_t keep = NeighbouringCell(key, previousKey) ? 0u : ~0u;
    const uint32_t n = ((t1 >> 2) & 1) * 0x10001u;
    const uint32_t smoothEven = ((even + previousEven + n) >> 1) & 0x00FF00FFu;
    const uint32_t smoothOdd = ((odd + previousOdd + n) >> 1) & 0x00FF00FFu;
    even = smoothEven ^ ((smoothEven ^ even) & keep);
    odd = smoothOdd ^ ((smoothOdd ^ odd) & keep);
    previousKey = key;
    previousEven = even;
    previousOdd = odd;

    out.Set(0, palette.Dot(even & 0xFF, t1));
    out.Set(1, palette.Dot(odd & 0xFF, top - t1));
    out.Set(2, palette.Dot(even >> 16, top - t2));
    const uint32_t dot3 = palette.Dot(odd >> 16, t2);
    out.Set(3, kStep == 2 && c.halfBlack ? uint32_t{kSmallDot} : dot3);
  }
  out.Finish();
}

template <class Planes>
void DotDitherColour(const HalftoneContext *ht, const RowRun &run) {
  Planes out(run.dst, run.planeStride, run.firstBit);
  const int32_t magnification = ht->params.magnification;
  if (magnification == -1) {
    DotDitherColourPixels<2>(ht, run, out);
  } else if (magnification == 1) {
    DotDitherColourPixels<1>(ht, run, out);
  } else {
    DotDitherColourPixels<0>(ht, run, out);
  }
}

}  // namespace

ResultCode DotDitherColourRow(HalftoneContext *ht, const RowRun &run) {
  const ResultCode checked = CheckRun(ht, run, false);
  if (checked != kOk) return checked;
  ht->lastRow = run.row;
  if (run.firstBit < 4 && FitsVectorPath(ht, run, 2 * run.firstBit, 2)) {
    if (ht->vectorPath == kAvx512Path) {
      DotDitherColourRowAvx512(ht, run);
    } else {
      DotDitherColourRowAvx2(ht, run);
    }
    return kOk;
  }
  // A run starting past the last field of a byte (firstBit 4..7) takes the
  // general writer.
  if (run.firstBit < 4) {
    DotDitherColour<PackedTwoBitPlanes<4>>(ht, run);
  } else {
    DotDitherColour<TwoBitPlanes<4>>(ht, run);
  }
  return kOk;
}

ResultCode DotDitherInkRow(HalftoneContext *ht, const RowRun &run) {
  const ResultCode checked = CheckRun(ht, run, false);
  if (checked != kOk) return checked;
  ht->lastRow = run.row;

  const uint16_t *rowA = MatrixRow(ht, run.row);
  const uint16_t *rowB = MatrixRow(ht, run.row + 24);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const PaletteView palette{ht->paletteTotals, ht->paletteLimits};
  const bool doubled = ht->params.magnification == 1;

  TwoBitPlanes<4> out(run.dst, run.planeStride, run.firstBit);
  const uint8_t *src = run.src;
  for (uint32_t i = 0; i < run.count; ++i, out.Next()) {
    const uint32_t x = run.startX + i;
    const uint8_t *s = src;
    src += doubled ? 4 * (i & 1) : 4;
    if ((s[0] | s[1] | s[2] | s[3]) == 0) continue;  // no ink at all
    out.Set(0, palette.Dot(s[0], rowA[x & columnMask]));
    out.Set(1, palette.Dot(s[1], rowB[(x + 16) & columnMask]));
    out.Set(2, palette.Dot(s[2], rowA[(x + 48) & columnMask]));
    out.Set(3, palette.Dot(s[3], rowB[(x + 40) & columnMask]));
  }
  out.Finish();
  return kOk;
}

ResultCode DotDitherMonoRow(HalftoneContext *ht, const RowRun &run) {
  return DitherGreyRow(ht, run, false);
}

ResultCode DotDitherMonoRowTall(HalftoneContext *ht, const RowRun &run) {
  return DitherGreyRow(ht, run, true);
}

}  // namespace inkdot
