/* SPDX-License-Identifier: Apache-2.0 */
// Measuring what a profile prints: a chart of flat sRGB patches goes
// through the engine and the preview, and each patch's centre is averaged
// in linear light and read as CIELAB, as an instrument would read the print.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "inkdot/host/image.h"
#include "inkdot/host/print_job.h"
#include "inkdot/host/printer_model.h"
#include "inkdot/host/profile.h"

namespace inkdot::profile {

using Rgb8 = std::array<uint8_t, 3>;

struct ChartMeasurement {
  std::vector<host::Lab> measured;  // one per patch
  host::RgbImage8 chart;            // the chart as sent, one pixel per patch cell pixel
  host::RgbImage8 preview;          // the preview it printed as
};

// Prints `patches` (laid out `columns` wide, each `patchPixels` device
// pixels square) with `settings` and measures the preview, which is
// rendered through the profile's printer model.
ChartMeasurement PrintAndMeasure(const host::Profile &profile,
                                 const host::PrintSettings &settings,
                                 const std::vector<Rgb8> &patches,
                                 uint32_t columns = 20, uint32_t patchPixels = 96);

}  // namespace inkdot::profile
