// SPDX-License-Identifier: Apache-2.0
#include "raster_rows.h"

#include <cstring>
#include <string>

#include "inkdot/host/errors.h"

namespace inkdot::cups {

namespace {

// Colour spaces whose zero sample is black (light) rather than no ink.
bool IsLightGrey(cups_cspace_t space) {
  return space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW;
}

bool IsInkGrey(cups_cspace_t space) { return space == CUPS_CSPACE_K; }

bool IsRgb(cups_cspace_t space) { return space == CUPS_CSPACE_RGB || space == CUPS_CSPACE_SRGB; }

}  // namespace

bool IsGreyRaster(const cups_page_header2_t &header) {
  return IsLightGrey(header.cupsColorSpace) || IsInkGrey(header.cupsColorSpace);
}

void CheckRasterHeader(const cups_page_header2_t &header) {
  const cups_cspace_t space = header.cupsColorSpace;
  if (!IsRgb(space) && !IsGreyRaster(header)) {
    throw host::ImageError("raster colour space " + std::to_string(space) +
                           " is not RGB, sRGB or grey");
  }
  if (header.cupsBitsPerColor != 8 && header.cupsBitsPerColor != 16) {
    throw host::ImageError("raster has " + std::to_string(header.cupsBitsPerColor) +
                           " bits per colour; 8 or 16 are supported");
  }
  if (header.cupsColorOrder != CUPS_ORDER_CHUNKED) {
    throw host::ImageError("raster colour order " + std::to_string(header.cupsColorOrder) +
                           " is not chunked");
  }
  if (header.cupsWidth == 0 || header.cupsHeight == 0) {
    throw host::ImageError("raster page has no pixels (" + std::to_string(header.cupsWidth) +
                           "x" + std::to_string(header.cupsHeight) + ")");
  }
  const uint64_t channels = IsGreyRaster(header) ? 1 : 3;
  const uint64_t expected = uint64_t{header.cupsWidth} * channels * header.cupsBitsPerColor / 8;
  if (header.cupsBitsPerPixel != channels * header.cupsBitsPerColor ||
      header.cupsBytesPerLine != expected) {
    throw host::ImageError("raster line of " + std::to_string(header.cupsBytesPerLine) +
                           " bytes does not fit " + std::to_string(header.cupsWidth) +
                           " pixels of " + std::to_string(header.cupsBitsPerPixel) + " bits");
  }
  // The host refuses pages of more than 2^27 pixels; say so before reading.
  if (uint64_t{header.cupsWidth} * header.cupsHeight > (uint64_t{1} << 27)) {
    throw host::ImageError("raster page of " + std::to_string(header.cupsWidth) + "x" +
                           std::to_string(header.cupsHeight) + " pixels is too large");
  }
}

RasterRows::RasterRows(cups_raster_t *raster, const cups_page_header2_t &header)
    : raster_(raster), header_(header), line_(header.cupsBytesPerLine) {
  width_ = header.cupsWidth;
  height_ = header.cupsHeight;
  channels_ = IsGreyRaster(header) ? 1 : 3;
  xDpi_ = header.HWResolution[0];
  yDpi_ = header.HWResolution[1];
}

void RasterRows::ReadRow(uint16_t *out) {
  if (cupsRasterReadPixels(raster_, line_.data(), static_cast<unsigned>(line_.size())) !=
      line_.size()) {
    throw host::ImageError("raster stream ends inside a page");
  }
  const size_t samples = size_t{width_} * channels_;
  const bool invert = IsInkGrey(header_.cupsColorSpace);
  if (header_.cupsBitsPerColor == 8) {
    for (size_t i = 0; i < samples; ++i) {
      const uint16_t value = static_cast<uint16_t>(line_[i] * 257);
      out[i] = invert ? static_cast<uint16_t>(65535 - value) : value;
    }
  } else {
    // libcups hands 16-bit samples over in the machine's byte order.
    std::memcpy(out, line_.data(), samples * 2);
    if (invert) {
      for (size_t i = 0; i < samples; ++i) out[i] = static_cast<uint16_t>(65535 - out[i]);
    }
  }
}

}  // namespace inkdot::cups
