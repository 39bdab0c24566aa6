// Ordered dither to one bit per pixel: each ink's scaled level against the
// threshold matrix, with no error carried between pixels.
#include <algorithm>

#include "halftone/kernels/colour_front_end.h"
#include "halftone/kernels/one_bit_planes.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/run_checks.h"

namespace inkdot {

namespace {

// The top of the threshold range: matrixSize - 1, kept to 16 bits.
int32_t ThresholdTop(const HalftoneContext *ht) {
  return static_cast<int32_t>((ht->matrixSize - 1) & 0xFFFF);
}

// Source pixel of output pixel i for the colour kernels: magnification 1
// spends two output pixels on each source pixel.
const uint8_t *ColourSource(const uint8_t *src, int32_t magnification, uint32_t i) {
  return src + 4 * static_cast<uintptr_t>(magnification == 1 ? i / 2 : i);
}

}  // namespace

ResultCode DitherMonoRow(HalftoneContext *ht, const RowRun &run) {
  if (ResultCode rc = CheckMonoRun(ht, run); rc != kOk) return rc;
  ht->lastRow = run.row;

  const uint16_t *scale = BlockAs<uint16_t>(ht, kLevelScaleBlock);
  const uint16_t *matrixRow = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const int32_t magnification = ht->params.magnification;
  // Midpoint mode: every source byte is either no ink or full ink.
  const bool midpoint = ht->params.method == 0;
  const uint32_t low = scale[0];
  const uint32_t high = scale[255];

  OneBitPlanes<1> out(run.dst, run.planeStride, run.firstBit);
  const uint8_t *src = run.src;
  uint32_t level = 0;
  for (uint32_t i = 0; i < run.count; ++i) {
    const uint32_t x = run.startX + i;
    if (magnification != 1 || (i & 1) == 0) {
      uint32_t v;
      if (magnification == -1) {
        v = std::min(src[0], src[1]);
        src += 2;
      } else {
        v = *src++;
      }
      level = midpoint ? (v > 128 ? high : low) : scale[v];
    }
    out.Set(0, level != 0 && level > matrixRow[x & columnMask]);
    out.Next();
  }
  out.Finish();
  return kOk;
}

ResultCode DitherColorRowCorners(HalftoneContext *ht, const RowRun &run) {
  if (ResultCode rc = CheckRunBounds(ht, run); rc != kOk) return rc;
  ht->lastRow = run.row;

  const uint16_t *scale = BlockAs<uint16_t>(ht, kLevelScaleBlock);
  const uint32_t *corners = BlockAs<uint32_t>(ht, kColorTableBlock);
  const uint16_t *matrixRow = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const int32_t magnification = ht->params.magnification;
  const int32_t top = ThresholdTop(ht);

  // A channel is on above 128; the three bits pick a corner of the 2 x 2 x 2
  // table.
  auto corner = [](const uint8_t *px) {
    return (px[0] > 128 ? 4u : 0u) + (px[1] > 128 ? 2u : 0u) + (px[2] > 128 ? 1u : 0u);
  };
  auto scaled = [&](uint32_t entry, int32_t d[4]) {
    for (int k = 0; k < 4; ++k) d[k] = scale[(entry >> (8 * k)) & 0xFF];
  };

  OneBitPlanes<4> out(run.dst, run.planeStride, run.firstBit);
  const uint32_t paired = run.count & ~1u;
  for (uint32_t i = 0; i < paired; ++i) {
    const uint32_t x = run.startX + i;
    const uint32_t c = corner(ColourSource(run.src, magnification, i));
    if (c != 7) {  // all three channels on: white, no ink
      const int32_t m = matrixRow[x & columnMask];
      int32_t d[4];
      scaled(corners[c], d);
      bool dot0, dot3;
      PairDots(d[0], d[3], m, top, dot0, dot3);
      out.Set(0, dot0);
      out.Set(1, d[1] > top - m);
      out.Set(2, d[2] > top - m);
      out.Set(3, dot3);
    }
    out.Next();
  }
  if (paired != run.count) {
    const uint32_t x = run.startX + paired;
    const int32_t m = matrixRow[x & columnMask];
    int32_t d[4];
    scaled(corners[corner(ColourSource(run.src, magnification, paired))], d);
    bool dots[4];
    OddPixelDots(d, m, top, dots);
    for (int k = 0; k < 4; ++k) out.Set(k, dots[k]);
    out.Next();
  }
  out.Finish();
  return kOk;
}

ResultCode DitherColorRow(HalftoneContext *ht, const RowRun &run) {
  if (ResultCode rc = CheckRunBounds(ht, run); rc != kOk) return rc;
  ht->lastRow = run.row;

  const uint16_t *scale = BlockAs<uint16_t>(ht, kLevelScaleBlock);
  const uint32_t *colorTable = BlockAs<uint32_t>(ht, kColorTableBlock);
  const uint8_t *gridIndex = BlockAs<uint8_t>(ht, kGridIndexBlock);
  const uint16_t *matrixRow = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const int32_t magnification = ht->params.magnification;
  const int32_t top = ThresholdTop(ht);

  // Inks 0, 1 and 3 are smoothed; ink 2 never is.
  constexpr uint32_t kSmoothedInks = 0b1011;
  Smoothing smoothing;
  smoothing.levels = {{100, 0, 0, 100}};

  OneBitPlanes<4> out(run.dst, run.planeStride, run.firstBit);
  const uint32_t paired = run.count & ~1u;
  for (uint32_t i = 0; i < paired; ++i) {
    const uint32_t x = run.startX + i;
    const uint8_t *px = ColourSource(run.src, magnification, i);
    if (!IsWhite(px)) {
      const int32_t m = matrixRow[x & columnMask];
      const GridPoint g =
          GridCoordinates(gridIndex, px, static_cast<uint32_t>(m) & 0xFE);
      InkLevels levels = LevelsOf(GridEntry(colorTable, g));
      smoothing.Apply<kSmoothedInks>(g, levels, (m & 4) == 0);
      const int32_t d0 = scale[levels.ink[0]], d1 = scale[levels.ink[1]];
      const int32_t d2 = scale[levels.ink[2]], d3 = scale[levels.ink[3]];
      bool dot0, dot3;
      PairDots(d0, d3, m, top, dot0, dot3);
      out.Set(0, dot0);
      out.Set(1, d1 > top - m);
      out.Set(2, d2 > top - m);
      out.Set(3, dot3);
    }
    out.Next();
  }
  if (paired != run.count) {
    const uint32_t x = run.startX + paired;
    const uint8_t *px = ColourSource(run.src, magnification, paired);
    const int32_t m = matrixRow[x & columnMask];
    const InkLevels levels =
        ht->params.inputFormat == 4
            ? LevelsOfBytes(px)
            : LevelsOf(GridEntry(
                  colorTable,
                  GridCoordinates(gridIndex, px, static_cast<uint32_t>(m) & 0xFE)));
    int32_t d[4];
    for (int k = 0; k < 4; ++k) d[k] = scale[levels.ink[k]];
    bool dots[4];
    OddPixelDots(d, m, top, dots);
    for (int k = 0; k < 4; ++k) out.Set(k, dots[k]);
    out.Next();
  }
  out.Finish();
  return kOk;
}

}  // namespace inkdot
