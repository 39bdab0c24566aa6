/* SPDX-License-Identifier: Apache-2.0 */
// Characterisation of one way of printing (dot mode, method, resolution):
// patches of known ink levels are printed through the real engine and
// halftoning, and each patch is measured through the printer model as the
// preview sees it. The result, the printer's response, maps ink levels to
// colour for that way of printing, with everything the engine does between
// a colour table's levels and the dots on paper included.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "inkdot/host/printer_model.h"
#include "inkdot/host/profile.h"

namespace inkdot::profile {

struct PrintMode {
  uint32_t dotMode = 0;
  uint32_t method = 3;
  uint32_t variant = 0;
  uint32_t xResolution = 720;
  uint32_t yResolution = 720;
  int32_t tableId = 0;  // the colour table the selection table picks for it
  // The multi-size-dot screening kernel picks between the two grid points
  // around a value by comparing the lower one's weight (0..255) with a
  // threshold of the whole matrix, so it takes the point above nearly
  // always: a value in [g(n-1), g(n)) prints node n.
  bool upperNode = false;
};

// For each of the table's 32 node indices, the input value whose colour
// the node must hold in `mode`.
std::vector<uint8_t> NodeSourceValues(const PrintMode &mode);

// Ink levels of one patch, in plane order.
using Levels = std::array<uint8_t, 4>;

// A patch's measurement: its colour and the share of the paper each ink
// covers (dot sizes counted).
struct PatchReading {
  host::Lab lab{};
  host::Xyz term{};  // the printer model's working value (XYZ^(1/n))
  std::array<double, 4> coverage{};
};

// The working value (XYZ^(1/n)) in which responses are interpolated, of an
// area whose pixels' terms average to `mean`.
host::Xyz WorkingValue(const host::PrinterModel &printer, const host::AreaTerm &mean);

// Prints `patches` with `mode` through `profile` (whose colour table
// `mode.tableId` is replaced for the purpose) and measures each one through
// `printer`. At most 32767 patches per call.
std::vector<PatchReading> MeasurePatches(const host::Profile &profile,
                                         const PrintMode &mode,
                                         const host::PrinterModel &printer,
                                         const std::vector<Levels> &patches);

}  // namespace inkdot::profile
