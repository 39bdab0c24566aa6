// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/page_driver.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "inkdot/host/errors.h"
#include "inkdot/host/resample.h"

namespace inkdot::host {

BandRows::BandRows(uint32_t pageWidth, const BandLayout &bands)
    : width(pageWidth),
      layout(bands),
      rowBytes((static_cast<size_t>(width) * layout.bitsPerPixel + 7) / 8),
      planeStride(rowBytes + kSpareBytes),
      sourceStride(static_cast<size_t>(width) * (layout.greyInput ? 1 : 4) + kSpareBytes) {}

void BandRows::Convert(const uint8_t *pixels, uint32_t channels,
                       uint8_t *source) const {
  if (layout.greyInput) {
    const uint8_t inkFlip = layout.greyAsInk ? 0xFF : 0x00;
    if (channels == 3) {
      for (uint32_t x = 0; x < width; ++x, pixels += 3)
        source[x] = static_cast<uint8_t>(GreyOf(pixels[0], pixels[1], pixels[2]) ^ inkFlip);
    } else {
      for (uint32_t x = 0; x < width; ++x)
        source[x] = static_cast<uint8_t>(pixels[x] ^ inkFlip);
    }
  } else if (channels == 3) {
    // Four bytes in, four out, the fourth then cleared: one load and two
    // stores a pixel. The last pixel has no fourth byte to read.
    uint32_t x = 0;
    for (; x + 1 < width; ++x, pixels += 3, source += 4) {
      std::memcpy(source, pixels, 4);
      source[3] = 0;
    }
    if (x < width) {
      source[0] = pixels[0];
      source[1] = pixels[1];
      source[2] = pixels[2];
      source[3] = 0;
    }
  } else {
    for (uint32_t x = 0; x < width; ++x, source += 4) {
      source[0] = source[1] = source[2] = pixels[x];
      source[3] = 0;
    }
  }
}

void BandRows::Read(RowSource &source, uint32_t y, uint8_t *pixels, uint8_t *row) const {
  if (source.ReadsSourceRows(layout)) {
    source.ReadSourceRow(y, layout, row);
  } else {
    source.ReadRow(y, pixels);
    Convert(pixels, source.channels(), row);
  }
}

void BandRows::Halftone(HalftoneContext *ht, uint32_t y, const uint8_t *source,
                        uint8_t *dots) const {
  const size_t pixelBytes = layout.greyInput ? 1 : 4;
  const uint32_t pixelsPerByte = 8 / layout.bitsPerPixel;
  const uint32_t run = layout.runLength == 0 ? width : layout.runLength;
  std::memset(dots, 0, planeStride * layout.planes);
  for (uint32_t x = 0; x < width; x += run) {
    const uint32_t count = std::min(run, width - x);
    ResultCode result = ::Halftone(
        ht, source + x * pixelBytes, dots + x / pixelsPerByte,
        static_cast<uint32_t>(planeStride), x % pixelsPerByte, count, x, 0, y, 0, 0);
    if (result != INKDOT_OK) {
      throw EngineError("Halftone", result,
                        "row " + std::to_string(y) + ", columns " + std::to_string(x) +
                            ".." + std::to_string(x + count - 1));
    }
  }
  // Bits past the last pixel stay 0 in the output whatever a kernel left.
  const uint32_t usedBits = (width * layout.bitsPerPixel) % 8;
  if (usedBits != 0) {
    const uint8_t keep = static_cast<uint8_t>(0xFF << (8 - usedBits));
    for (uint32_t k = 0; k < layout.planes; ++k)
      dots[k * planeStride + rowBytes - 1] &= keep;
  }
}

void DotPageSink::TakeRow(uint32_t y, const uint8_t *planes, size_t planeStride) {
  for (size_t k = 0; k < page_.planes.size(); ++k) TakePlaneRow(k, y, planes + k * planeStride);
}

void DotPageSink::TakePlaneRow(size_t k, uint32_t y, const uint8_t *row) {
  const size_t bytes = page_.rowBytes();
  std::memcpy(page_.planes[k].data() + y * bytes, row, bytes);
}

void DrivePage(HalftoneContext *ht, RowSource &source, std::span<PlaneSink *const> sinks,
               const BandLayout &layout, const std::function<void(uint32_t)> &rowDone) {
  const BandRows rows(source.width(), layout);
  std::vector<uint8_t> pixels(static_cast<size_t>(rows.width) * source.channels());
  std::vector<uint8_t> sourceRow(rows.sourceStride, 0xFF);
  std::vector<uint8_t> dots(rows.planeStride * layout.planes);
  for (uint32_t y = 0; y < source.height(); ++y) {
    rows.Read(source, y, pixels.data(), sourceRow.data());
    rows.Halftone(ht, y, sourceRow.data(), dots.data());
    for (PlaneSink *sink : sinks) sink->TakeRow(y, dots.data(), rows.planeStride);
    if (rowDone) rowDone(y);
  }
}

}  // namespace inkdot::host
