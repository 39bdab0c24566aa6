/* SPDX-License-Identifier: Apache-2.0 */
// Characterisation data exchanged as CGATS text (the format measurement
// software reads and writes), through Little CMS's IT8 functions, and the
// printer model fitted to it.
#pragma once

#include <array>
#include <filesystem>
#include <vector>

#include "inkdot/host/printer_model.h"

namespace inkdot::profile {

// One measured patch: ink amounts 0..1 (cyan, magenta, yellow, black) and
// its colour, CIELAB D50 relative to the paper.
struct Measurement {
  std::array<double, 4> inks{};
  host::Lab lab{};
};

// The patches of the characterisation target, ink amounts 0..1: every
// combination of five amounts per ink within `inkLimit` (sum of the four),
// ramps of each ink alone in twentieths, and a grey ramp of equal cyan,
// magenta and yellow.
std::vector<std::array<double, 4>> TargetPatches(double inkLimit);

// Writes the target as CGATS (SAMPLE_ID, CMYK_C, CMYK_M, CMYK_Y, CMYK_K in
// percent). Throws std::runtime_error naming the file on failure.
void WriteTargetCgats(const std::filesystem::path &path,
                      const std::vector<std::array<double, 4>> &patches);

// Writes measurements as CGATS with CMYK and LAB fields.
void WriteMeasurementsCgats(const std::filesystem::path &path,
                            const std::vector<Measurement> &data);

// Reads CGATS measurements: CMYK_C/M/Y/K in percent and LAB_L/A/B or
// XYZ_X/Y/Z (Y of 100 for the white). Colours are made relative to the
// paper (the patch with no ink, which must be present). Throws
// std::runtime_error naming the file and what is missing.
std::vector<Measurement> ReadMeasurementsCgats(const std::filesystem::path &path);

// The Yule–Nielsen-modified Neugebauer model that fits the measurements
// best: n from 1 to 4 in steps of 0.1, the 16 primaries by least squares
// for each n (the model is linear in the primaries' XYZ^(1/n)). Dot
// coverages come from `dotCoverage`. Writes the mean CIEDE2000 of the fit.
host::PrinterModel FitPrinterModel(const std::vector<Measurement> &data,
                                   const std::array<double, 3> &dotCoverage,
                                   double *meanError);

}  // namespace inkdot::profile
