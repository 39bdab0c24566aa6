// Preview of dot planes: what the page would look like. Each dot covers a
// share of its pixel by its size; the inks are composited subtractively
// (their reflectances multiply in linear light) with their display colours;
// the result is averaged down to a viewing resolution, or shown 1:1 on a
// crop to see the dot structure.
#pragma once

#include <cstdint>

#include "inkdot/host/dot_page.h"
#include "inkdot/host/image.h"

namespace inkdot::host {

struct PreviewOptions {
  uint32_t dpi = 150;  // viewing resolution; capped at the device resolution
  bool crop = false;   // true: the region below at 1:1, no averaging
  uint32_t cropX = 0, cropY = 0, cropWidth = 0, cropHeight = 0;
};

// Share of a pixel that a dot code covers, in 1/256: 1-bit planes use
// {0, 256}; 2-bit planes {none, small, medium, large}.
uint32_t DotCoverage(uint32_t bitsPerPixel, uint8_t code);

// Throws SettingError for a crop outside the page or a zero resolution.
RgbImage8 RenderPreview(const DotPage &page, const PreviewOptions &options);

// The resolution of the preview RenderPreview makes for `page`.
double PreviewResolution(const DotPage &page, const PreviewOptions &options);

}  // namespace inkdot::host
