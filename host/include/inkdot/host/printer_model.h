/* SPDX-License-Identifier: Apache-2.0 */
// The printer model: how the inks of a four-ink printer look on its paper
// when their dots are printed together. Two kinds:
// - a Yule–Nielsen-modified Neugebauer model (the parametric, virtual
//   printer): the colour of every combination of inks printed solid on top
//   of each other (the 16 Neugebauer primaries, CIELAB relative to the paper
//   white, D50), the Yule–Nielsen factor n that stands for light scattering
//   in the paper, and the share of a pixel each dot size covers. An area's
//   colour is sum_i w_i * XYZ_i^(1/n), raised to the power n, where w_i is
//   the share of the area printed with combination i;
// - a measured printer: the measured relation from ink amounts to colour,
//   held on a regular grid of ink amounts and interpolated at an area's
//   mean ink coverage, as a proofing system simulates a print.
// The preview and the profile builder both use this one description.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace inkdot::host {

using Lab = std::array<double, 3>;
using Xyz = std::array<double, 3>;

// A measured printer's relation: CIELAB (D50, relative to the paper) at
// every node of a grid of `steps` evenly spaced amounts (0..1) per ink,
// cyan outermost, black innermost.
struct MeasuredGrid {
  int steps = 0;
  std::vector<Lab> lab;
};

struct PrinterModel {
  // Combination i holds ink k when bit k of i is set (cyan 1, magenta 2,
  // yellow 4, black 8); primaries[0] is the bare paper.
  std::array<Lab, 16> primaries{};
  double yuleNielsen = 2.0;
  // Share of its pixel that a small, medium and large dot covers.
  std::array<double, 3> dotCoverage{0.40, 0.70, 1.0};
  // Set for a measured printer, whose colours come from it alone; its
  // primaries are then the grid's corners, and yuleNielsen only sets the
  // space (XYZ^(1/n)) in which the profile builder interpolates responses.
  std::optional<MeasuredGrid> measured;
};

// The working exponent of a measured printer's model: responses are
// interpolated in XYZ^(1/3), close to how lightness follows XYZ.
constexpr double kMeasuredWorkingExponent = 3.0;

// The default virtual printer: dye-like inks of a four-ink inkjet on glossy
// photo paper.
PrinterModel DefaultPrinterModel();

// Checks a model; returns an empty string or what is wrong with it.
std::string CheckPrinterModel(const PrinterModel &model);

// CIELAB (D50) and XYZ (D50, Y of the white 1).
Xyz LabToXyz(const Lab &lab);
Lab XyzToLab(const Xyz &xyz);

// The model's working value of an area: sum_i w_i * XYZ_i^(1/n) for the
// ink coverages (0..1 per ink, dots of different inks lying independently,
// Demichel weights).
Xyz ModelTerm(const PrinterModel &model, const std::array<double, 4> &coverage);
// From a mean working value back to XYZ.
Xyz TermToXyz(const PrinterModel &model, const Xyz &term);
// The colour of an area where each ink covers `coverage`.
Lab ModelLab(const PrinterModel &model, const std::array<double, 4> &coverage);

// What is averaged over an area before it is turned into colour: the
// Neugebauer working value (XYZ^(1/n), the fourth entry 0) of a pixel with
// these coverages, or for a measured printer the coverages themselves.
using AreaTerm = std::array<double, 4>;
AreaTerm PixelTerm(const PrinterModel &model, const std::array<double, 4> &coverage);
// The colour of an area from the mean of its pixels' terms.
Xyz AreaXyz(const PrinterModel &model, const AreaTerm &mean);
Lab AreaLab(const PrinterModel &model, const AreaTerm &mean);

// The 16 nodes of the grid cell around ink amounts 0..1 (indices into a
// grid of `steps` per ink) and their multilinear weights.
struct GridCorners {
  std::array<size_t, 16> node{};
  std::array<double, 16> weight{};
};
GridCorners MeasuredGridCorners(int steps, const std::array<double, 4> &amounts);
// Multilinear interpolation of a measured grid at ink amounts 0..1.
Lab MeasuredLab(const MeasuredGrid &grid, const std::array<double, 4> &amounts);
// A measured printer of `grid`: primaries from its corners.
PrinterModel MeasuredPrinterModel(MeasuredGrid grid,
                                  const std::array<double, 3> &dotCoverage);

// XYZ (D50, relative to the paper) to linear-light sRGB (D65 by Bradford
// adaptation, so the paper shows as sRGB white); channels may fall outside
// 0..1.
std::array<double, 3> XyzToLinearSrgb(const Xyz &xyz);
// 8-bit sRGB to CIELAB D50 (relative colorimetric, through the same
// adaptation), and back to linear light.
Lab SrgbToLab(double r, double g, double b);
Lab LinearSrgbToLab(const std::array<double, 3> &rgb);
double SrgbToLinear(double v);  // v and the result in 0..1
double LinearToSrgb(double v);

// CIEDE2000 colour difference (kL = kC = kH = 1).
double DeltaE2000(const Lab &a, const Lab &b);

}  // namespace inkdot::host
