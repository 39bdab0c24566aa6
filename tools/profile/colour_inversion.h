/* SPDX-License-Identifier: Apache-2.0 */
// From a way of printing's measured response to its colour table: every
// sRGB node is turned into a colour the printer can print (gamut mapping),
// black is chosen by the black-generation curve, and cyan, magenta and
// yellow are found by inverting the response.
#pragma once

#include <array>
#include <vector>

#include "colour_table.h"
#include "printer_response.h"

namespace inkdot::profile {

enum class Intent { kPerceptual, kRelativeColorimetric };

struct InversionSettings {
  Intent intent = Intent::kPerceptual;
  double inkLimit = 2.4;  // most total coverage of the four inks
};

// How the colour table's targets are found: the printer's gamut boundary
// (largest chroma at each lightness and hue), its black point and the
// mapping of sRGB colours into the gamut.
class GamutMapper {
 public:
  GamutMapper(const PrinterResponse &response, const InversionSettings &settings);

  // The colour that stands for an sRGB colour (CIELAB D50) on this printer.
  host::Lab Map(const host::Lab &source) const;
  // Largest chroma the printer reaches at lightness L and hue h (degrees).
  double MaxChroma(double L, double hue) const;
  double BlackPoint() const { return blackPoint_; }
  // Black coverage for a target colour (the black-generation curve).
  double BlackFor(const host::Lab &target) const;
  // Cyan, magenta and yellow for a target with the given black; returns the
  // four coverages and writes the remaining CIE76 difference.
  Coverage Solve(const host::Lab &target, double black, const Coverage &start,
                 double *residual) const;
  // As Solve, and from a coarse search's start too when `start` leaves the
  // target unreached; the better of the two.
  Coverage SolveFromAnywhere(const host::Lab &target, double black,
                             const Coverage &start, double *residual) const;
  // The black coverage alone that prints lightness L.
  double BlackAloneFor(double L) const;

 private:
  double MappedLightness(double L) const;
  double UnmappedLightness(double L) const;

  const PrinterResponse &response_;
  InversionSettings settings_;
  double blackPoint_ = 0;
  std::vector<double> blackRamp_;  // lightness of black alone, by coverage step
  std::vector<double> boundary_;   // largest chroma by lightness and hue step
};

// Builds a colour table on `nodes` (per axis) for `response`, node index n
// holding the colour of input value `values[n]`; `kind` 1 (grey diagonal
// rewritten to black only) with neutral black values that print every grey
// step at its mapped lightness.
ColourTable InvertToColourTable(const PrinterResponse &response,
                                const std::vector<uint8_t> &nodes,
                                const std::vector<uint8_t> &values,
                                const InversionSettings &settings);

}  // namespace inkdot::profile
