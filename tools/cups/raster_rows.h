/* SPDX-License-Identifier: Apache-2.0 */
// A CUPS raster page read row by row as the host's image rows: chunky RGB or
// grey (white-is-zero or black-is-zero), 8 or 16 bits per colour, at the
// page's own resolution, so that the host's resampler passes it through.
#pragma once

#include <cups/raster.h>

#include <vector>

#include "inkdot/host/image.h"

namespace inkdot::cups {

// Throws host::ImageError naming what the page header holds that the driver
// cannot print: another colour space, depth or colour order, a zero size or
// a line length that does not match the width.
void CheckRasterHeader(const cups_page_header2_t &header);

// Whether the page is grey (one channel).
bool IsGreyRaster(const cups_page_header2_t &header);

class RasterRows : public host::ImageRows {
 public:
  // `header` must have passed CheckRasterHeader; `raster` stays open while
  // rows are read.
  RasterRows(cups_raster_t *raster, const cups_page_header2_t &header);
  // Throws host::ImageError when the stream ends inside the page.
  void ReadRow(uint16_t *out) override;

 private:
  cups_raster_t *raster_;
  cups_page_header2_t header_;
  std::vector<unsigned char> line_;
};

}  // namespace inkdot::cups
