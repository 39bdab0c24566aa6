/* SPDX-License-Identifier: Apache-2.0 */
// The response of one way of printing: from ink coverages to colour, by
// multilinear interpolation of patches measured on a grid. Each axis is an
// ink's coverage (the share of the paper its dots cover when it prints
// alone), which makes the grid close to linear.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "characterisation.h"
#include "inkdot/host/printer_model.h"

namespace inkdot::profile {

using Coverage = std::array<double, 4>;

class PrinterResponse {
 public:
  // `levelCoverage[k][level]`: ink k's coverage at each level, printed
  // alone; `axes[k]`: the coverages of the grid's nodes on axis k;
  // `terms`: the working values (XYZ^(1/n)) of the grid's patches, cyan
  // outermost, black innermost.
  PrinterResponse(double yuleNielsen, std::array<std::vector<double>, 4> levelCoverage,
                  std::array<std::vector<double>, 4> axes,
                  std::vector<host::Xyz> terms);

  host::Lab LabOf(const Coverage &coverage) const;
  // The level of ink k that covers closest to `coverage`.
  uint8_t LevelFor(int ink, double coverage) const;
  // Highest coverage ink k reaches.
  double MaxCoverage(int ink) const { return axes_[ink].back(); }

 private:
  double yuleNielsen_;
  std::array<std::vector<double>, 4> levelCoverage_;
  std::array<std::vector<double>, 4> axes_;
  std::vector<host::Xyz> terms_;
};

// Prints and measures the characterisation target of `mode`: a ramp of
// every ink alone over all 256 levels, then a grid of `steps` coverages per
// ink (steps^4 patches).
PrinterResponse Characterise(const host::Profile &profile, const PrintMode &mode,
                             const host::PrinterModel &printer, int steps);

// The response of the printer model itself, continuous tone: each ink's
// coverage is its level / 255; `steps` grid nodes per ink.
PrinterResponse ModelResponse(const host::PrinterModel &printer, int steps);

}  // namespace inkdot::profile
