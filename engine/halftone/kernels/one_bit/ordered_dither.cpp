// SPDX-License-Identifier: Apache-2.0
// Ordered dither to one bit per pixel: each ink's scaled level against the
// threshold matrix, with no error carried between pixels.
#include <algorithm>

#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/one_bit/colour_front_end.h"
#include "halftone/kernels/one_bit/one_bit_planes.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/run_checks.h"
#include "halftone/kernels/vector_kernels.h"

namespace inkdot {

namespace {

// Source pixel of output pixel i for the colour kernels: magnification 1
// spends two output pixels on each source pixel.
const uint8_t *ColourSource(const uint8_t *src, int32_t magnification, uint32_t i) {
  return src + 4 * static_cast<uintptr_t>(magnification == 1 ? i / 2 : i);
}

// The last pixel of an odd run of DitherColourRow.
void OddColourPixel(const HalftoneContext *ht, const RowRun &run, uint32_t paired,
                    OneBitPlanes<4> &out) {
  const uint32_t x = run.startX + paired;
  const int32_t m = MatrixRow(ht, run.row)[x & (ht->matrixWidth - 1)];
  const OddPixelTables tables{ColourTable(ht), GridIndex(ht), LevelScale(ht),
                              ht->params.inputFormat == 4, ThresholdTop(ht)};
  PutOddPixel(tables, ColourSource(run.src, ht->params.magnification, paired), m,
              static_cast<uint32_t>(m) & 0xFE, 0, out);
}

}  // namespace

ResultCode DitherMonoRow(HalftoneContext *ht, const RowRun &run) {
  if (ResultCode rc = CheckMonoRun(ht, run); rc != kOk) return rc;
  ht->lastRow = run.row;

  const uint16_t *scale = LevelScale(ht);
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

ResultCode DitherColourRowCorners(HalftoneContext *ht, const RowRun &run) {
  if (ResultCode rc = CheckRunBounds(ht, run); rc != kOk) return rc;
  ht->lastRow = run.row;

  const uint16_t *scale = LevelScale(ht);
  const uint32_t *corners = ColourTable(ht);
  const uint16_t *matrixRow = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const int32_t magnification = ht->params.magnification;
  const int32_t top = ThresholdTop(ht);

  // The scaled levels of the eight corners, looked up once per run.
  int32_t cornerLevels[8][4];
  for (uint32_t c = 0; c < 8; ++c) {
    for (int k = 0; k < 4; ++k) cornerLevels[c][k] = scale[(corners[c] >> (8 * k)) & 0xFF];
  }
  // With a corner's levels fixed, each ink's dot in the pair loop is a range
  // of matrix values: ink 3 below d3, inks 1 and 2 above M - d, ink 0 above
  // M - d0 when d0 + d3 exceeds M, else from d3 up to d0 + d3. Each range is
  // kept as its start and length within 0..65535, so that a dot is one
  // unsigned comparison.
  struct Range {
    uint32_t first, length;
    bool Holds(uint32_t m) const { return m - first < length; }
  };
  auto range = [](int64_t from, int64_t to) {  // [from, to) within 0..65535
    const int64_t first = from < 0 ? 0 : from > 65536 ? 65536 : from;
    const int64_t end = to < first ? first : to > 65536 ? 65536 : to;
    return Range{static_cast<uint32_t>(first), static_cast<uint32_t>(end - first)};
  };
  Range cornerRanges[8][4];
  for (uint32_t c = 0; c < 8; ++c) {
    const int64_t d0 = cornerLevels[c][0], d1 = cornerLevels[c][1];
    const int64_t d2 = cornerLevels[c][2], d3 = cornerLevels[c][3];
    cornerRanges[c][0] = d0 + d3 > top ? range(top - d0 + 1, 65536) : range(d3, d0 + d3);
    cornerRanges[c][1] = range(top - d1 + 1, 65536);
    cornerRanges[c][2] = range(top - d2 + 1, 65536);
    cornerRanges[c][3] = range(0, d3);
  }
  // A channel is on above 128; the three bits pick a corner of the 2 x 2 x 2
  // table.
  auto corner = [](const uint8_t *px) {
    return (px[0] > 128 ? 4u : 0u) + (px[1] > 128 ? 2u : 0u) + (px[2] > 128 ? 1u : 0u);
  };

  OneBitPlanes<4> out(run.dst, run.planeStride, run.firstBit);
  const uint32_t paired = run.count & ~1u;
  auto pairs = [&]<bool kDoubled>() {
    const uint8_t *const src = run.src;
    const uint32_t startX = run.startX;
    for (uint32_t i = 0; i < paired; ++i) {
      const uint32_t x = startX + i;
      const uint32_t c = corner(src + 4 * static_cast<uintptr_t>(kDoubled ? i / 2 : i));
      if (c != 7) {  // all three channels on: white, no ink
        const uint32_t m = matrixRow[x & columnMask];
        const Range *r = cornerRanges[c];
        out.Set(0, r[0].Holds(m));
        out.Set(1, r[1].Holds(m));
        out.Set(2, r[2].Holds(m));
        out.Set(3, r[3].Holds(m));
      }
      out.Next();
    }
  };
  if (magnification == 1) {
    pairs.template operator()<true>();
  } else {
    pairs.template operator()<false>();
  }
  if (paired != run.count) {
    const uint32_t x = run.startX + paired;
    const int32_t m = matrixRow[x & columnMask];
    const int32_t *d = cornerLevels[corner(ColourSource(run.src, magnification, paired))];
    bool dots[4];
    OddPixelDots(d, m, top, dots);
    for (int k = 0; k < 4; ++k) out.Set(k, dots[k]);
    out.Next();
  }
  out.Finish();
  return kOk;
}

ResultCode DitherColourRow(HalftoneContext *ht, const RowRun &run) {
  if (ResultCode rc = CheckRunBounds(ht, run); rc != kOk) return rc;
  ht->lastRow = run.row;
  if (FitsVectorPath(ht, run, run.firstBit & 7, 1)) {
    const uint32_t paired = run.count & ~1u;
    if (ht->vectorPath == kAvx512Path) {
      DitherColourPairsAvx512(ht, run, paired);
    } else {
      DitherColourPairsAvx2(ht, run, paired);
    }
    if (paired != run.count) {
      // The odd pixel starts where the pairs' last byte left off.
      const uint32_t bit = (run.firstBit & 7) + paired;
      OneBitPlanes<4> out(run.dst + bit / 8, run.planeStride, bit % 8);
      OddColourPixel(ht, run, paired, out);
      out.Finish();
    }
    return kOk;
  }

  const uint16_t *scale = LevelScale(ht);
  const uint32_t *colourTable = ColourTable(ht);
  const uint8_t *gridIndex = GridIndex(ht);
  const uint16_t *matrixRow = MatrixRow(ht, run.row);
  const uint32_t columnMask = ht->matrixWidth - 1;
  const int32_t magnification = ht->params.magnification;
  const int32_t top = ThresholdTop(ht);

  OneBitPlanes<4> out(run.dst, run.planeStride, run.firstBit);
  const uint32_t paired = run.count & ~1u;
  // The pair loop, written out for the two ways of stepping through the
  // source so that the stepping costs nothing per pixel.
  auto pairs = [&]<bool kDoubled>() {
    // Smoothing memory: the previous processed pixel's grid point as a
    // packed key and its levels, inks 0 and 2 and inks 1 and 3 in the 16-bit
    // lanes of two words. Inks 0, 1 and 3 are smoothed, ink 2 never is: its
    // lane is carried along but not used. The first key is within one of no
    // grid point.
    uint32_t previousKey = kNoGridKey;
    uint32_t previousEven = 0, previousOdd = 0;
    // Locals, so that the output stores do not force reloads; the source
    // pointer steps by 4 bytes, or by 4 every second pixel.
    const uint8_t *px = run.src;
    const uint32_t first = run.startX, end = first + paired;
    for (uint32_t x = first; x != end; ++x, out.Next()) {
      const uint32_t v0 = px[0], v1 = px[1], v2 = px[2];
      px += kDoubled ? 4 * ((x ^ first) & 1) : 4;
      if ((v0 & v1 & v2) == 255) continue;  // white
      const int32_t m = matrixRow[x & columnMask];
      const uint32_t split = static_cast<uint32_t>(m) & 0xFE;
      const uint32_t a = gridIndex[2 * v0] + (gridIndex[2 * v0 + 1] <= split ? 1u : 0u);
      const uint32_t b = gridIndex[2 * v1] + (gridIndex[2 * v1 + 1] <= split ? 1u : 0u);
      const uint32_t c = gridIndex[2 * v2] + (gridIndex[2 * v2 + 1] <= split ? 1u : 0u);
      const uint32_t entry = colourTable[(a * kGridPoints + b) * kGridPoints + c];
      const uint32_t key = GridKey(a, b, c);
      const uint32_t keep = NeighbourKeys(key, previousKey) ? 0u : ~0u;
      previousKey = key;
      uint32_t even = entry & 0x00FF00FFu;
      uint32_t odd = (entry >> 8) & 0x00FF00FFu;
      // Rounds up when bit 2 of the matrix value is 0.
      const uint32_t roundBit = (~static_cast<uint32_t>(m) >> 2) & 1;
      const uint32_t round = roundBit << 16 | roundBit;
      const uint32_t smoothEven = ((even + previousEven + round) >> 1) & 0x00FF00FFu;
      const uint32_t smoothOdd = ((odd + previousOdd + round) >> 1) & 0x00FF00FFu;
      // Selected by masks rather than a branch: neighbouring or not varies
      // from pixel to pixel in grain.
      even = smoothEven ^ ((smoothEven ^ even) & keep);
      odd = smoothOdd ^ ((smoothOdd ^ odd) & keep);
      previousEven = even;
      previousOdd = odd;

      const int32_t d0 = scale[even & 0xFF], d1 = scale[odd & 0xFF];
      const int32_t d2 = scale[(entry >> 16) & 0xFF], d3 = scale[odd >> 16];
      out.Set(0, PairedDot0(d0, d3, m, top));
      out.Set(1, d1 > top - m);
      out.Set(2, d2 > top - m);
      out.Set(3, d3 > m);
    }
  };
  if (magnification == 1) {
    pairs.template operator()<true>();
  } else {
    pairs.template operator()<false>();
  }
  if (paired != run.count) OddColourPixel(ht, run, paired, out);
  out.Finish();
  return kOk;
}

}  // namespace inkdot
