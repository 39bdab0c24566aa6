// SPDX-License-Identifier: Apache-2.0
#include "printer_response.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace inkdot::profile {

PrinterResponse::PrinterResponse(double yuleNielsen,
                                 std::array<std::vector<double>, 4> levelCoverage,
                                 std::array<std::vector<double>, 4> axes,
                                 std::vector<host::Xyz> terms)
    : yuleNielsen_(yuleNielsen),
      levelCoverage_(std::move(levelCoverage)),
      axes_(std::move(axes)),
      terms_(std::move(terms)) {
  size_t count = 1;
  for (const auto &axis : axes_) {
    if (axis.size() < 2) throw std::runtime_error("a response axis needs two nodes");
    count *= axis.size();
  }
  if (terms_.size() != count)
    throw std::runtime_error("response grid size does not match its axes");
}

host::Lab PrinterResponse::LabOf(const Coverage &coverage) const {
  std::array<size_t, 4> cell{};
  std::array<double, 4> frac{};
  for (int k = 0; k < 4; ++k) {
    const std::vector<double> &axis = axes_[k];
    const double v = std::clamp(coverage[k], axis.front(), axis.back());
    size_t i = static_cast<size_t>(std::upper_bound(axis.begin(), axis.end(), v) -
                                   axis.begin());
    i = std::clamp<size_t>(i, 1, axis.size() - 1);
    cell[k] = i - 1;
    frac[k] = (v - axis[i - 1]) / (axis[i] - axis[i - 1]);
  }
  const size_t n1 = axes_[1].size(), n2 = axes_[2].size(), n3 = axes_[3].size();
  host::Xyz term{0, 0, 0};
  for (int corner = 0; corner < 16; ++corner) {
    double w = 1;
    std::array<size_t, 4> at{};
    for (int k = 0; k < 4; ++k) {
      const bool up = corner >> k & 1;
      w *= up ? frac[k] : 1 - frac[k];
      at[k] = cell[k] + up;
    }
    if (w == 0) continue;
    const host::Xyz &t = terms_[((at[0] * n1 + at[1]) * n2 + at[2]) * n3 + at[3]];
    for (int c = 0; c < 3; ++c) term[c] += w * t[c];
  }
  host::Xyz xyz;
  for (int c = 0; c < 3; ++c) xyz[c] = std::pow(std::max(term[c], 0.0), yuleNielsen_);
  return host::XyzToLab(xyz);
}

uint8_t PrinterResponse::LevelFor(int ink, double coverage) const {
  const std::vector<double> &curve = levelCoverage_[ink];
  const auto above = std::lower_bound(curve.begin(), curve.end(), coverage);
  if (above == curve.end()) return 255;
  const int hi = static_cast<int>(above - curve.begin());
  if (hi == 0) return 0;
  return static_cast<uint8_t>(coverage - curve[hi - 1] < curve[hi] - coverage ? hi - 1
                                                                              : hi);
}

PrinterResponse Characterise(const host::Profile &profile, const PrintMode &mode,
                             const host::PrinterModel &printer, int steps) {
  // Ramps: each ink alone at every level.
  std::vector<Levels> ramps;
  for (int k = 0; k < 4; ++k) {
    for (int level = 0; level < 256; ++level) {
      Levels l{};
      l[k] = static_cast<uint8_t>(level);
      ramps.push_back(l);
    }
  }
  const std::vector<PatchReading> rampReadings =
      MeasurePatches(profile, mode, printer, ramps);
  std::array<std::vector<double>, 4> curves;
  for (int k = 0; k < 4; ++k) {
    double last = 0;
    for (int level = 0; level < 256; ++level) {
      // Kept rising, so that every coverage has one level.
      last = level == 0
                 ? 0.0
                 : std::max(last + 1e-9, rampReadings[k * 256 + level].coverage[k]);
      curves[k].push_back(last);
    }
  }

  // Grid: levels whose coverage is closest to even steps.
  std::array<std::vector<uint8_t>, 4> gridLevels;
  std::array<std::vector<double>, 4> axes;
  for (int k = 0; k < 4; ++k) {
    for (int j = 0; j < steps; ++j) {
      const double want = curves[k].back() * j / (steps - 1);
      int best = 0;
      for (int level = 1; level < 256; ++level) {
        if (std::abs(curves[k][level] - want) < std::abs(curves[k][best] - want))
          best = level;
      }
      if (!gridLevels[k].empty() && best <= gridLevels[k].back())
        best = gridLevels[k].back() + 1;
      gridLevels[k].push_back(static_cast<uint8_t>(best));
      axes[k].push_back(curves[k][best]);
    }
  }
  std::vector<Levels> grid;
  for (int c = 0; c < steps; ++c) {
    for (int m = 0; m < steps; ++m) {
      for (int y = 0; y < steps; ++y) {
        for (int k = 0; k < steps; ++k) {
          grid.push_back(
              {gridLevels[0][c], gridLevels[1][m], gridLevels[2][y], gridLevels[3][k]});
        }
      }
    }
  }
  const std::vector<PatchReading> readings =
      MeasurePatches(profile, mode, printer, grid);
  std::vector<host::Xyz> terms;
  for (const PatchReading &r : readings) terms.push_back(r.term);
  return PrinterResponse(printer.yuleNielsen, std::move(curves), std::move(axes),
                         std::move(terms));
}

PrinterResponse ModelResponse(const host::PrinterModel &printer, int steps) {
  std::array<std::vector<double>, 4> curves, axes;
  for (int k = 0; k < 4; ++k) {
    for (int level = 0; level < 256; ++level) curves[k].push_back(level / 255.0);
    for (int j = 0; j < steps; ++j)
      axes[k].push_back(static_cast<double>(j) / (steps - 1));
  }
  std::vector<host::Xyz> terms;
  for (double c : axes[0]) {
    for (double m : axes[1]) {
      for (double y : axes[2]) {
        for (double k : axes[3])
          terms.push_back(WorkingValue(printer, host::PixelTerm(printer, {c, m, y, k})));
      }
    }
  }
  return PrinterResponse(printer.yuleNielsen, std::move(curves), std::move(axes),
                         std::move(terms));
}

}  // namespace inkdot::profile
