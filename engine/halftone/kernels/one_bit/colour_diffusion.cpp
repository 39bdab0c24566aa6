// SPDX-License-Identifier: Apache-2.0
// Error diffusion of colour pixels to four one-bit ink planes. Inks 0, 1 and
// 3 are diffused, each on its own error line with its own carry; ink 2 is
// dithered against the matrix. The levels come from the 32-grid colour
// front end with all four inks smoothed.
#include <cstring>

#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/one_bit/colour_front_end.h"
#include "halftone/kernels/one_bit/colour_inks.h"
#include "halftone/kernels/one_bit/diffusion_filters.h"
#include "halftone/kernels/one_bit/hybrid_ink.h"
#include "halftone/kernels/one_bit/one_bit_planes.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/run_checks.h"
#include "halftone/kernels/vector_kernels.h"

namespace inkdot {

namespace {

// The last pixel of an odd run is dithered with levels below this dropped.
constexpr int32_t kOddPixelLevelFloor = 32;

struct ColourTables {
  const uint32_t *colourTable;
  const uint8_t *gridIndex;
  const uint16_t *matrixRow;
  const uint16_t *levelScale;
  const int16_t *dotCurve;
  const uint16_t *toneCurve;
  uint32_t columnMask;
};

ColourTables ContextTables(const HalftoneContext *ht, uint32_t row) {
  return {ColourTable(ht),
          GridIndex(ht),
          MatrixRow(ht, row),
          LevelScale(ht),
          DotCurve(ht),
          ToneCurve(ht),
          ht->matrixWidth - 1};
}

OddPixelTables OddTables(const HalftoneContext *ht, const ColourTables &tables) {
  return {tables.colourTable, tables.gridIndex, tables.levelScale, ht->params.inputFormat == 4,
          ThresholdTop(ht)};
}

// Per-run copies of every per-level table and the matrix row, so that the
// fast kernels' inner loop reads no context memory but the colour table and
// the error lines.
struct LocalTables {
  uint16_t matrixRow[256];
  uint8_t gridIndex[512];
  uint16_t levelScale[256];
  int16_t dotCurve[256];
  uint16_t toneCurve[256];

  ColourTables Load(const HalftoneContext *ht, uint32_t row) {
    const ColourTables shared = ContextTables(ht, row);
    std::memcpy(matrixRow, shared.matrixRow, ht->matrixWidth * sizeof(uint16_t));
    std::memcpy(gridIndex, shared.gridIndex, sizeof gridIndex);
    std::memcpy(levelScale, shared.levelScale, sizeof levelScale);
    std::memcpy(dotCurve, shared.dotCurve, sizeof dotCurve);
    std::memcpy(toneCurve, shared.toneCurve, sizeof toneCurve);
    return {shared.colourTable, gridIndex, matrixRow,        levelScale,
            dotCurve,          toneCurve, shared.columnMask};
  }
};

struct ColourMember {
  bool fast;           // no ink-byte input: the loop drops its test
  bool ink1NoiseTerm;  // ink 1's widest-filter limit has the noise term too
};

// The per-pixel loop over `pixels` output pixels of the run.
template <class Filters, ColourMember kMember, int kPlanes>
INKDOT_CELL_BY_CELL_UNHOISTED void DiffuseColourPixels(
    const ColourTables &tables, DiffusedColourInks<Filters, kMember.ink1NoiseTerm> &inks,
    const RowRun &run, uint32_t pixels, int32_t magnification, bool inkBytes,
    OneBitPlanes<kPlanes> &out) {
  // Smoothing memory, all four inks: the previous processed pixel's grid
  // point as a packed key, and its levels, inks 0 and 2 and inks 1 and 3 in
  // the 16-bit lanes of two words.
  uint32_t previousKey = kNoGridKey;
  uint32_t previousEven = 0, previousOdd = 0;
  // Locals, so that the output and error stores do not force reloads.
  const uint8_t *const src = run.src;
  const uint32_t startX = run.startX;
  const uint32_t *const colourTable = tables.colourTable;
  const uint8_t *const gridIndex = tables.gridIndex;
  const uint16_t *const matrixRow = tables.matrixRow;
  const uint16_t *const levelScale = tables.levelScale;
  const uint32_t columnMask = tables.columnMask;
  auto chains = inks.chains;

  for (uint32_t i = 0; i < pixels; ++i) {
    const uint32_t x = startX + i;
    const uint8_t *px = src + 4 * static_cast<uintptr_t>(magnification == 1 ? i / 2 : i);
    const uint32_t m = matrixRow[x & columnMask];
    int32_t levels[4];
    if (!kMember.fast && inkBytes) {
      for (int k = 0; k < 4; ++k) levels[k] = px[k];
    } else {
      if (IsWhite(px)) {
        inks.Pass(chains, x);
        out.Next();
        continue;
      }
      const GridPoint g = GridCoordinates(gridIndex, px, m & 0xFE);
      const uint32_t a = static_cast<uint32_t>(g.a), b = static_cast<uint32_t>(g.b);
      const uint32_t c = static_cast<uint32_t>(g.c);
      const uint32_t entry = colourTable[(a * kGridPoints + b) * kGridPoints + c];
      const uint32_t key = GridKey(a, b, c);
      // Selected by masks rather than a branch: neighbouring or not varies
      // from pixel to pixel in grain.
      const uint32_t keep = NeighbourKeys(key, previousKey) ? 0u : ~0u;
      previousKey = key;
      uint32_t even = entry & 0x00FF00FFu;
      uint32_t odd = (entry >> 8) & 0x00FF00FFu;
      // Rounds up when bit 0 of the matrix value, the noise bit, is 0.
      const uint32_t round = ((m & 1) ^ 1) << 16 | ((m & 1) ^ 1);
      const uint32_t smoothEven = ((even + previousEven + round) >> 1) & 0x00FF00FFu;
      const uint32_t smoothOdd = ((odd + previousOdd + round) >> 1) & 0x00FF00FFu;
      even = smoothEven ^ ((smoothEven ^ even) & keep);
      odd = smoothOdd ^ ((smoothOdd ^ odd) & keep);
      previousEven = even;
      previousOdd = odd;
      levels[0] = static_cast<int32_t>(even & 0xFF);
      levels[1] = static_cast<int32_t>(odd & 0xFF);
      levels[2] = static_cast<int32_t>(even >> 16);
      levels[3] = static_cast<int32_t>(odd >> 16);
    }
    inks.Diffuse(chains, x, levels, m, [&](int j, bool dot) { out.Set(j == 2 ? 3 : j, dot); });
    out.Set(2, levelScale[levels[2]] > m);
    out.Next();
  }
  inks.chains = chains;
}

// The last pixel of an odd run: dithered only, with the grid split at its
// middle and faint inks dropped.
void DitherOddPixel(const HalftoneContext *ht, const ColourTables &tables,
                    const uint8_t *px, uint32_t x, OneBitPlanes<4> &out) {
  PutOddPixel(OddTables(ht, tables), px, tables.matrixRow[x & tables.columnMask], 128,
              kOddPixelLevelFloor, out);
}

void ColourErrorLines(HalftoneContext *ht, int32_t *lines[3]) {
  for (int j = 0; j < 3; ++j) lines[j] = ErrorLineColumns(ht, j);
}

template <class Filters, bool kInk1NoiseTerm>
ResultCode DiffuseColour(HalftoneContext *ht, const RowRun &run) {
  if (ResultCode rc = CheckRunBounds(ht, run); rc != kOk) return rc;
  int32_t *lines[3];
  ColourErrorLines(ht, lines);
  UpdateRowContinuity(ht, run.row, run.startX, run.count, lines, 3);

  const ColourTables tables = ContextTables(ht, run.row);
  const int32_t magnification = ht->params.magnification;
  OneBitPlanes<4> out(run.dst, run.planeStride, run.firstBit);
  const uint32_t paired = run.count & ~1u;
  DiffusedColourInks<Filters, kInk1NoiseTerm> inks(lines, tables.dotCurve, tables.toneCurve,
                                                  LimitsOf(ht->dotParams));
  DiffuseColourPixels<Filters, ColourMember{false, kInk1NoiseTerm}>(
      tables, inks, run, paired, magnification, ht->params.inputFormat == 4, out);
  if (paired != run.count) {
    const uint32_t i = paired;
    DitherOddPixel(ht, tables,
                   run.src + 4 * static_cast<uintptr_t>(magnification == 1 ? i / 2 : i),
                   run.startX + i, out);
  }
  out.Finish();
  return kOk;
}

// `kMember.fast` false keeps the loop's ink-byte test (never taken here, as
// inkBytes is false). GCC 12 lays the 1440 x 720 loop out about a tenth
// faster with it and the square one slower (measured; docs/performance.md).
template <class Filters, ColourMember kMember, int kPlanes>
void DiffuseColourFastPlanes(HalftoneContext *ht, const RowRun &run,
                             const ColourTables &tables,
                             DiffusedColourInks<Filters, false> &inks) {
  OneBitPlanes<kPlanes> out(run.dst, run.planeStride, run.firstBit);
  DiffuseColourPixels<Filters, kMember>(tables, inks, run, run.count,
                                        ht->params.magnification, false, out);
  out.Finish();
}

template <class Filters, ColourMember kMember>
ResultCode DiffuseColourFast(HalftoneContext *ht, const RowRun &run) {
  static_assert(!kMember.ink1NoiseTerm);
  // The matrix row must fit the local copy.
  if (ht->matrixWidth > 256) return kBadResource;
  int32_t *lines[3];
  ColourErrorLines(ht, lines);
  ClearErrorLines(lines, ht, run.row, run.count, run.startX);

  LocalTables local;
  const ColourTables tables = local.Load(ht, run.row);
  DiffusedColourInks<Filters, false> inks(lines, tables.dotCurve, tables.toneCurve,
                                          LimitsOf(ht->dotParams));
  if (FitsVectorPath(ht, run, run.firstBit & 7, 1)) {
    if (ht->vectorPath == kAvx512Path) {
      DiffuseColourFastAvx512(ht, run, inks);
    } else {
      DiffuseColourFastAvx2(ht, run, inks);
    }
    return kOk;
  }
  // Colour mode 2 prints three inks: plane 3 is left as it is.
  if (ht->params.colorMode == 2) {
    DiffuseColourFastPlanes<Filters, kMember, 3>(ht, run, tables, inks);
  } else {
    DiffuseColourFastPlanes<Filters, kMember, 4>(ht, run, tables, inks);
  }
  return kOk;
}

}  // namespace

ResultCode DiffuseColourRow(HalftoneContext *ht, const RowRun &run) {
  return DiffuseColour<SquareFilters, false>(ht, run);
}

ResultCode DiffuseColourRow1440(HalftoneContext *ht, const RowRun &run) {
  return DiffuseColour<WideColourFilters, false>(ht, run);
}

ResultCode DiffuseColourRowTall(HalftoneContext *ht, const RowRun &run) {
  return DiffuseColour<TallFilters, true>(ht, run);
}

ResultCode DiffuseColourRowFast(HalftoneContext *ht, const RowRun &run) {
  return DiffuseColourFast<SquareFilters, ColourMember{true, false}>(ht, run);
}

ResultCode DiffuseColourRowFast1440(HalftoneContext *ht, const RowRun &run) {
  return DiffuseColourFast<WideColourFilters, ColourMember{false, false}>(ht, run);
}

// Ink 1 alone is diffused (see HybridInk); inks 0, 2 and 3 are dithered.
ResultCode DiffuseColourRowHybrid(HalftoneContext *ht, const RowRun &run) {
  if (ResultCode rc = CheckRunBounds(ht, run); rc != kOk) return rc;
  ht->lastRow = run.row;

  const ColourTables tables = ContextTables(ht, run.row);
  const int32_t magnification = ht->params.magnification;
  const int32_t top = ThresholdTop(ht);
  HybridInk ink(ht);
  const uint32_t paired = run.count & ~1u;
  // The last pixel of an odd run: dithered only, ink 1 too.
  auto oddPixel = [&](OneBitPlanes<4> &out) {
    const uint32_t x = run.startX + paired;
    const int32_t m = tables.matrixRow[x & tables.columnMask];
    PutOddPixel(OddTables(ht, tables),
                run.src + 4 * static_cast<uintptr_t>(magnification == 1 ? paired / 2 : paired), m,
                static_cast<uint32_t>(m) & 0xFE, 0, out);
  };

  if (FitsVectorPath(ht, run, run.firstBit & 7, 1)) {
    if (ht->vectorPath == kAvx512Path) {
      DiffuseColourHybridPairsAvx512(ht, run, paired, ink);
    } else {
      DiffuseColourHybridPairsAvx2(ht, run, paired, ink);
    }
    if (paired != run.count) {
      // The odd pixel starts where the pairs' last byte left off.
      const uint32_t bit = (run.firstBit & 7) + paired;
      OneBitPlanes<4> out(run.dst + bit / 8, run.planeStride, bit % 8);
      oddPixel(out);
      out.Finish();
    }
    return kOk;
  }

  OneBitPlanes<4> out(run.dst, run.planeStride, run.firstBit);
  constexpr uint32_t kSmoothedInks = 0b1011;
  Smoothing smoothing;
  smoothing.levels = {{100, 0, 0, 100}};
  for (uint32_t i = 0; i < paired; ++i) {
    const uint32_t x = run.startX + i;
    const uint8_t *px = run.src + 4 * static_cast<uintptr_t>(magnification == 1 ? i / 2 : i);
    if (IsWhite(px)) {
      ink.Pass(x);
      out.Next();
      continue;
    }
    const uint32_t m = tables.matrixRow[x & tables.columnMask];
    const GridPoint g = GridCoordinates(tables.gridIndex, px, m & 0xFE);
    InkLevels levels = LevelsOf(GridEntry(tables.colourTable, g));
    // Rounds up when bit 2 of the matrix value, the noise bit, is 0.
    smoothing.Apply<kSmoothedInks>(g, levels, ((m >> 2) & 1) == 0);
    out.Set(1, ink.Diffuse(x, levels.ink[1], m));
    const int32_t mi = static_cast<int32_t>(m);
    bool dot0, dot3;
    PairDots(tables.levelScale[levels.ink[0]], tables.levelScale[levels.ink[3]], mi, top,
             dot0, dot3);
    out.Set(0, dot0);
    out.Set(2, tables.levelScale[levels.ink[2]] > top - mi);
    out.Set(3, dot3);
    out.Next();
  }
  if (paired != run.count) oddPixel(out);
  out.Finish();
  return kOk;
}

}  // namespace inkdot
