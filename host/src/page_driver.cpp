#include "inkdot/host/page_driver.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "inkdot/host/errors.h"

namespace inkdot::host {

namespace {

// Spare bytes after each source and plane row: kernels that work on pixel
// pairs may touch one pixel past the run's end.
constexpr size_t kSlackBytes = 16;

// Integer luminance (weights 77, 150, 29 out of 256, which add up to 256).
uint8_t Luminance(const uint8_t *rgb) {
  return static_cast<uint8_t>((77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2] + 128) >> 8);
}

void ConvertRow(const uint8_t *pixels, uint32_t width, uint32_t channels,
                const BandLayout &layout, uint8_t *source) {
  const bool greyInput = layout.greyInput;
  const uint8_t inkFlip = layout.greyAsInk ? 0xFF : 0x00;
  for (uint32_t x = 0; x < width; ++x) {
    const uint8_t *p = pixels + static_cast<size_t>(x) * channels;
    if (greyInput) {
      source[x] = static_cast<uint8_t>((channels == 3 ? Luminance(p) : p[0]) ^ inkFlip);
    } else {
      uint8_t *q = source + 4 * static_cast<size_t>(x);
      q[0] = p[0];
      q[1] = channels == 3 ? p[1] : p[0];
      q[2] = channels == 3 ? p[2] : p[0];
      q[3] = 0;
    }
  }
}

}  // namespace

void DotPageSink::TakeRow(uint32_t y, const uint8_t *planes, size_t planeStride) {
  const size_t bytes = page_.rowBytes();
  for (size_t k = 0; k < page_.planes.size(); ++k) {
    std::memcpy(page_.planes[k].data() + y * bytes, planes + k * planeStride, bytes);
  }
}

void DrivePage(HalftoneContext *ht, RowSource &source, PlaneSink &sink, const BandLayout &layout,
               const std::function<void(uint32_t)> &rowDone) {
  const uint32_t width = source.width();
  const uint32_t channels = source.channels();
  const size_t pixelBytes = layout.greyInput ? 1 : 4;
  const uint32_t pixelsPerByte = 8 / layout.bitsPerPixel;
  const size_t rowBytes = (static_cast<size_t>(width) * layout.bitsPerPixel + 7) / 8;
  const size_t planeStride = rowBytes + kSlackBytes;
  const uint32_t run = layout.runLength == 0 ? width : layout.runLength;

  std::vector<uint8_t> pixels(static_cast<size_t>(width) * channels);
  std::vector<uint8_t> sourceRow(width * pixelBytes + kSlackBytes, 0xFF);
  std::vector<uint8_t> planes(planeStride * layout.planes);

  for (uint32_t y = 0; y < source.height(); ++y) {
    source.ReadRow(y, pixels.data());
    ConvertRow(pixels.data(), width, channels, layout, sourceRow.data());
    std::fill(planes.begin(), planes.end(), 0);
    for (uint32_t x = 0; x < width; x += run) {
      const uint32_t count = std::min(run, width - x);
      ResultCode result =
          Halftone(ht, sourceRow.data() + x * pixelBytes, planes.data() + x / pixelsPerByte,
                   static_cast<uint32_t>(planeStride), x % pixelsPerByte, count, x, 0, y, 0, 0);
      if (result != INKDOT_OK) {
        throw EngineError("Halftone", result,
                          "row " + std::to_string(y) + ", columns " + std::to_string(x) + ".." +
                              std::to_string(x + count - 1));
      }
    }
    // Bits past the last pixel stay 0 in the output whatever a kernel left.
    const uint32_t usedBits = (width * layout.bitsPerPixel) % 8;
    if (usedBits != 0) {
      const uint8_t keep = static_cast<uint8_t>(0xFF << (8 - usedBits));
      for (uint32_t k = 0; k < layout.planes; ++k) planes[k * planeStride + rowBytes - 1] &= keep;
    }
    sink.TakeRow(y, planes.data(), planeStride);
    if (rowDone) rowDone(y);
  }
}

}  // namespace inkdot::host
