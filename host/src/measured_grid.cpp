// SPDX-License-Identifier: Apache-2.0
// A measured printer: its relation from ink amounts to colour, looked up on
// a regular grid by multilinear interpolation.
#include <algorithm>
#include <cmath>

#include "inkdot/host/printer_model.h"

namespace inkdot::host {

GridCorners MeasuredGridCorners(int steps, const std::array<double, 4> &amounts) {
  const int last = steps - 1;
  std::array<int, 4> cell{};
  std::array<double, 4> frac{};
  for (int k = 0; k < 4; ++k) {
    const double at = std::clamp(amounts[k], 0.0, 1.0) * last;
    cell[k] = std::min(static_cast<int>(at), last - 1);
    frac[k] = at - cell[k];
  }
  GridCorners corners;
  for (int corner = 0; corner < 16; ++corner) {
    double w = 1;
    size_t index = 0;
    for (int k = 0; k < 4; ++k) {
      const bool up = corner >> k & 1;
      w *= up ? frac[k] : 1 - frac[k];
      index = index * static_cast<size_t>(steps) + static_cast<size_t>(cell[k] + up);
    }
    corners.node[corner] = index;
    corners.weight[corner] = w;
  }
  return corners;
}

Lab MeasuredLab(const MeasuredGrid &grid, const std::array<double, 4> &amounts) {
  const GridCorners corners = MeasuredGridCorners(grid.steps, amounts);
  Lab lab{0, 0, 0};
  for (int corner = 0; corner < 16; ++corner) {
    const double w = corners.weight[corner];
    if (w == 0) continue;
    for (int c = 0; c < 3; ++c) lab[c] += w * grid.lab[corners.node[corner]][c];
  }
  return lab;
}

PrinterModel MeasuredPrinterModel(MeasuredGrid grid,
                                  const std::array<double, 3> &dotCoverage) {
  PrinterModel model;
  for (int i = 0; i < 16; ++i) {
    model.primaries[i] = MeasuredLab(
        grid, {double(i & 1), double(i >> 1 & 1), double(i >> 2 & 1), double(i >> 3 & 1)});
  }
  model.yuleNielsen = kMeasuredWorkingExponent;
  model.dotCoverage = dotCoverage;
  model.measured = std::move(grid);
  return model;
}

}  // namespace inkdot::host
