/* SPDX-License-Identifier: Apache-2.0 */
// Small plots drawn straight into an RGB image: light grid lines, no text
// (the documentation's captions name the axes).
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "inkdot/host/image.h"

namespace inkdot::bench {

struct Series {
  std::array<uint8_t, 3> colour{};
  std::vector<std::pair<double, double>> points;  // (x, y), drawn joined in order
};

// Lines over [x0, x1] x [y0, y1], grid lines every xStep and yStep.
host::RgbImage8 LinePlot(const std::vector<Series> &series, double x0, double x1,
                         double y0, double y1, double xStep, double yStep);

struct Bar {
  double value = 0;
  std::array<uint8_t, 3> colour{};
};

// One bar per value from 0 up (values above yMax clipped), grid lines every yStep.
host::RgbImage8 BarPlot(const std::vector<Bar> &bars, double yMax, double yStep);

}  // namespace inkdot::bench
