// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/printer_model.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>

namespace inkdot::host {

PrinterModel DefaultPrinterModel() {
  PrinterModel model;
  // Solid inks and overprints on glossy photo paper, relative to the paper
  // (index bits: cyan 1, magenta 2, yellow 4, black 8).
  model.primaries = {{
      {100.0, 0.0, 0.0},     // paper
      {56.0, -36.0, -50.0},  // cyan
      {48.0, 76.0, -4.0},    // magenta
      {26.0, 22.0, -50.0},   // cyan + magenta: blue
      {90.0, -4.0, 94.0},    // yellow
      {51.0, -66.0, 26.0},   // cyan + yellow: green
      {47.0, 70.0, 50.0},    // magenta + yellow: red
      {17.0, 3.0, -3.0},     // cyan + magenta + yellow
      {10.0, 0.0, 0.0},      // black
      {8.0, -4.0, -8.0},     // black + cyan
      {8.0, 7.0, -3.0},      // black + magenta
      {6.0, 3.0, -8.0},      // black + blue
      {9.5, 0.0, 5.0},       // black + yellow
      {7.0, -5.0, 3.0},      // black + green
      {7.0, 6.0, 3.0},       // black + red
      {5.0, 0.5, -1.0},      // all four
  }};
  model.yuleNielsen = 2.0;
  model.dotCoverage = {0.40, 0.70, 1.0};
  return model;
}

std::string CheckPrinterModel(const PrinterModel &model) {
  for (size_t i = 0; i < model.primaries.size(); ++i) {
    const Lab &p = model.primaries[i];
    if (!(p[0] >= 0 && p[0] <= 100) || !(std::abs(p[1]) <= 200) ||
        !(std::abs(p[2]) <= 200)) {
      return "primary " + std::to_string(i) +
             " is not a CIELAB colour (L* 0..100, a*, b* within 200)";
    }
  }
  if (!(model.yuleNielsen >= 1.0 && model.yuleNielsen <= 10.0)) {
    return "yuleNielsen must lie in 1..10";
  }
  if (model.measured) {
    const MeasuredGrid &grid = *model.measured;
    if (grid.steps < 2 || grid.steps > 33)
      return "a measured grid needs 2..33 steps per ink";
    const size_t nodes = static_cast<size_t>(grid.steps) * grid.steps * grid.steps * grid.steps;
    if (grid.lab.size() != nodes)
      return "a measured grid of " + std::to_string(grid.steps) + " steps needs " +
             std::to_string(nodes) + " colours, not " + std::to_string(grid.lab.size());
    for (size_t i = 0; i < nodes; ++i) {
      const Lab &p = grid.lab[i];
      if (!(p[0] >= 0 && p[0] <= 100) || !(std::abs(p[1]) <= 200) ||
          !(std::abs(p[2]) <= 200))
        return "measured colour " + std::to_string(i) +
               " is not a CIELAB colour (L* 0..100, a*, b* within 200)";
    }
  }
  double last = 0;
  for (double c : model.dotCoverage) {
    if (!(c > last && c <= 1.0)) return "dot coverages must rise strictly within 0..1";
    last = c;
  }
  return "";
}

Xyz LabToXyz(const Lab &lab) {
  const cmsCIELab in{lab[0], lab[1], lab[2]};
  cmsCIEXYZ out;
  cmsLab2XYZ(cmsD50_XYZ(), &out, &in);
  return {out.X, out.Y, out.Z};
}

Lab XyzToLab(const Xyz &xyz) {
  const cmsCIEXYZ in{xyz[0], xyz[1], xyz[2]};
  cmsCIELab out;
  cmsXYZ2Lab(cmsD50_XYZ(), &out, &in);
  return {out.L, out.a, out.b};
}

Xyz ModelTerm(const PrinterModel &model, const std::array<double, 4> &coverage) {
  Xyz term{0, 0, 0};
  const double inverse = 1.0 / model.yuleNielsen;
  for (int i = 0; i < 16; ++i) {
    double w = 1.0;
    for (int k = 0; k < 4; ++k) {
      const double a = std::clamp(coverage[k], 0.0, 1.0);
      w *= (i >> k & 1) ? a : 1.0 - a;
    }
    if (w == 0) continue;
    const Xyz p = LabToXyz(model.primaries[i]);
    for (int c = 0; c < 3; ++c) term[c] += w * std::pow(std::max(p[c], 0.0), inverse);
  }
  return term;
}

Xyz TermToXyz(const PrinterModel &model, const Xyz &term) {
  Xyz xyz;
  for (int c = 0; c < 3; ++c)
    xyz[c] = std::pow(std::max(term[c], 0.0), model.yuleNielsen);
  return xyz;
}

Lab ModelLab(const PrinterModel &model, const std::array<double, 4> &coverage) {
  if (model.measured) return MeasuredLab(*model.measured, coverage);
  return XyzToLab(TermToXyz(model, ModelTerm(model, coverage)));
}

AreaTerm PixelTerm(const PrinterModel &model, const std::array<double, 4> &coverage) {
  if (model.measured) return coverage;
  const Xyz term = ModelTerm(model, coverage);
  return {term[0], term[1], term[2], 0.0};
}

Xyz AreaXyz(const PrinterModel &model, const AreaTerm &mean) {
  if (model.measured) return LabToXyz(MeasuredLab(*model.measured, mean));
  return TermToXyz(model, {mean[0], mean[1], mean[2]});
}

Lab AreaLab(const PrinterModel &model, const AreaTerm &mean) {
  if (model.measured) return MeasuredLab(*model.measured, mean);
  return XyzToLab(AreaXyz(model, mean));
}

namespace {

// sRGB primaries adapted to D50 by Bradford, as in ICC sRGB profiles.
constexpr double kRgbToXyz[3][3] = {{0.4360747, 0.3850649, 0.1430804},
                                    {0.2225045, 0.7168786, 0.0606169},
                                    {0.0139322, 0.0971045, 0.7141733}};
constexpr double kXyzToRgb[3][3] = {{3.1338561, -1.6168667, -0.4906146},
                                    {-0.9787684, 1.9161415, 0.0334540},
                                    {0.0719453, -0.2289914, 1.4052427}};

}  // namespace

double SrgbToLinear(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double LinearToSrgb(double v) {
  return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

std::array<double, 3> XyzToLinearSrgb(const Xyz &xyz) {
  std::array<double, 3> rgb;
  for (int r = 0; r < 3; ++r) {
    rgb[r] =
        kXyzToRgb[r][0] * xyz[0] + kXyzToRgb[r][1] * xyz[1] + kXyzToRgb[r][2] * xyz[2];
  }
  return rgb;
}

Lab SrgbToLab(double r, double g, double b) {
  return LinearSrgbToLab({SrgbToLinear(r), SrgbToLinear(g), SrgbToLinear(b)});
}

Lab LinearSrgbToLab(const std::array<double, 3> &lin) {
  // The matrix's rows add up to the D50 white to four decimals only; scaled
  // so that sRGB white and greys land exactly on the neutral axis.
  const cmsCIEXYZ *white = cmsD50_XYZ();
  const double whites[3] = {white->X, white->Y, white->Z};
  Xyz xyz;
  for (int c = 0; c < 3; ++c) {
    const double row = kRgbToXyz[c][0] + kRgbToXyz[c][1] + kRgbToXyz[c][2];
    xyz[c] = (kRgbToXyz[c][0] * lin[0] + kRgbToXyz[c][1] * lin[1] +
              kRgbToXyz[c][2] * lin[2]) *
             whites[c] / row;
  }
  return XyzToLab(xyz);
}

double DeltaE2000(const Lab &a, const Lab &b) {
  const cmsCIELab x{a[0], a[1], a[2]}, y{b[0], b[1], b[2]};
  return cmsCIE2000DeltaE(&x, &y, 1.0, 1.0, 1.0);
}

}  // namespace inkdot::host
