// SPDX-License-Identifier: Apache-2.0
// The band dispatcher: checks a run, replicates its source pixels when the
// page is magnified further than the kernels can do themselves, and hands it
// to the one row kernel that the object's parameters select.
#include "halftone/kernels/dispatcher.h"

#include <cstring>

#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/run_checks.h"

namespace inkdot {

namespace {

bool Is2880x720(uint32_t x, uint32_t y) { return x == 2880 && y == 720; }
bool Is1440x720(uint32_t x, uint32_t y) { return x == 1440 && y == 720; }
// Resolution ratios in 32-bit arithmetic, as the parameters are words.
bool IsTall(uint32_t x, uint32_t y) { return 2 * x == y; }
bool IsWide(uint32_t x, uint32_t y) { return x == 2 * y; }

// Multi-size dots, two-bit codes.
RowKernel ChooseMultiSizeKernel(const HalftoneParams &p, uint32_t altSelector) {
  const uint32_t x = p.xResolution, y = p.yResolution;
  const bool colour = p.colorMode != 0;
  if (altSelector == 1) {
    if (p.method != 1 || !Is2880x720(x, y)) return nullptr;
    return colour ? HybridColourRow2880 : DotDiffuseMonoRow2880;
  }
  if (p.method == 1) {
    if (Is2880x720(x, y)) return nullptr;
    if (colour) {
      if (IsWide(x, y)) return HybridColourRowWide;
      return IsTall(x, y) ? HybridColourRowTall : HybridColourRow;
    }
    if (Is1440x720(x, y)) return DotDiffuseMonoRow1440;
    return IsTall(x, y) ? DotDiffuseMonoRowTall : DotDiffuseMonoRow;
  }
  if (p.method == 3) {
    if (colour) return p.inputFormat == 4 ? DotDitherInkRow : DotDitherColourRow;
    return IsTall(x, y) ? DotDitherMonoRowTall : DotDitherMonoRow;
  }
  return nullptr;
}

// One bit per pixel. The second value is the number of error lines the
// kernel works on.
struct Choice {
  RowKernel kernel;
  uint32_t errorLines;
};

Choice ChooseSingleSizeKernel(const HalftoneParams &p) {
  const uint32_t x = p.xResolution, y = p.yResolution;
  const bool colour = p.colorMode != 0;
  if (p.method == 0) return {colour ? DitherColourRowCorners : DitherMonoRow, 0};
  if (p.method == 3) {
    if (!colour) return {DitherMonoRow, 0};
    if (p.methodVariant == 0 || p.methodVariant == 2) return {DiffuseColourRowHybrid, 1};
    return {DitherColourRow, 0};
  }
  if (!colour) {
    if (IsTall(x, y)) return {DiffuseMonoRowTall, 1};
    return {Is1440x720(x, y) ? DiffuseMonoRow1440 : DiffuseMonoRow, 1};
  }
  if (IsTall(x, y)) return {DiffuseColourRowTall, 3};
  const bool fast = p.inputFormat != 4 && p.magnification != -1;
  if (Is1440x720(x, y))
    return {fast ? DiffuseColourRowFast1440 : DiffuseColourRow1440, 3};
  return {fast ? DiffuseColourRowFast : DiffuseColourRow, 3};
}

}  // namespace

RowKernel ChooseRowKernel(const HalftoneContext *ht) {
  if (ht->params.dotMode == 2)
    return ChooseMultiSizeKernel(ht->params, ht->altSelector);
  const Choice choice = ChooseSingleSizeKernel(ht->params);
  // Method 2 reaches the diffusing kernels without the error lines they
  // need: refuse rather than run off the lines that exist.
  if (choice.errorLines > ht->errorLineCount) return nullptr;
  return choice.kernel;
}

uint32_t BytesPerPixel(uint32_t inputFormat) {
  switch (inputFormat) {
    case 0:
      return 1;
    case 1:
    case 2:
    case 5:
      return 3;
    case 6:
      return 6;
    default:
      return 4;
  }
}

namespace {

// Source pixels a kernel reads for `count` output pixels of a prepared
// row. With magnification 1 it spends two output pixels on each prepared
// pixel; an odd last output pixel has one of its own.
uint32_t PreparedPixels(const HalftoneContext *ht, uint32_t count) {
  return ht->params.magnification == 1 ? count / 2 + (count & 1) : count;
}

}  // namespace

const uint8_t *PrepareRow(HalftoneContext *ht, const uint8_t *src, uint32_t count) {
  uint8_t *buffer = RowBuffer(ht);
  const uint32_t prepared = PreparedPixels(ht, count);
  const uint32_t bytes = BytesPerPixel(ht->params.inputFormat);
  const uint32_t replication = ht->replication;
  uint32_t repeats = 0;
  uint8_t *out = buffer;
  for (uint32_t k = 0; k < prepared; ++k) {
    std::memcpy(out, src, bytes);  // a 4-byte copy compiles to one word move
    out += bytes;
    if (++repeats == replication) {
      repeats = 0;
      src += bytes;
    }
  }
  return buffer;
}

ResultCode HalftoneRun(HalftoneContext *ht, const uint8_t *src, uint8_t *dst,
                       uint32_t planeStride, uint32_t firstBit, uint32_t count,
                       uint32_t startX, uint32_t spareArg, uint32_t row,
                       uint32_t reservedA, uint32_t reservedB) {
  RowRun run{src,    dst,      planeStride, firstBit,  count,
             startX, spareArg, row,         reservedA, reservedB};
  if (ResultCode rc = CheckRunBounds(ht, run); rc != kOk) return rc;
  // The tables a kernel reads exist only after a complete set-up.
  if (ht->setupComplete == 0) return kBadResource;
  if (ht->rowKernel == nullptr) return kNoKernel;
  if (ht->replication != 1) {
    // The row buffer holds maxPixels pixels of the input format's size,
    // but the colour kernels read 4 bytes a pixel: with 3-byte pixels a
    // run of more than three quarters of maxPixels would be read past its
    // end, so it is refused as too long.
    const uint64_t prepared = PreparedPixels(ht, count);
    if (BytesPerPixel(ht->params.inputFormat) == 3 &&
        4 * prepared > uint64_t{3} * ht->params.maxPixels)
      return kRunTooLong;
    run.src = PrepareRow(ht, src, count);
  }
  return ht->rowKernel(ht, run);
}

}  // namespace inkdot
