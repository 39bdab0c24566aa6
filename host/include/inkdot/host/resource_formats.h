/* SPDX-License-Identifier: Apache-2.0 */
// Validation and decoding of every resource a profile hands the engine.
//
// The engine trusts its host and reads exactly what each format says, with
// no length argument. These functions check a resource file against its
// format before the engine ever sees it, so that no engine read can go past
// the buffer. Each refuses with a ValidationError naming the file, the
// resource id, the field and the byte offset; on success each returns what
// the resource holds, decoded (inspect prints it). The formats themselves,
// their writers and the checks, live in inkdot/formats/; these add the file
// and resource id to a refusal.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "inkdot/formats/calibration.h"
#include "inkdot/formats/colour_table.h"
#include "inkdot/formats/halftone_resources.h"
#include "inkdot/formats/selection_table.h"

namespace inkdot::host {

// Which file and resource id a validation is about.
struct ResourceRef {
  std::string file;
  int32_t id = 0;
};

// ---- Selection table (text) ---------------------------------------------

using formats::ResolveName;
using formats::SelectionEntry;
using formats::SelectionTable;

SelectionTable ValidateSelectionTable(std::span<const uint8_t> bytes, const ResourceRef &ref);

// ---- Colour table and its dot-mode selector record -----------------------

using formats::ColourTable;
using formats::SelectorRecord;

// `base` is the record's offset inside the file, for messages.
SelectorRecord ValidateSelectorRecord(std::span<const uint8_t> bytes, uint64_t base,
                                      const ResourceRef &ref);

ColourTable ValidateColourTable(std::span<const uint8_t> bytes, const ResourceRef &ref);

// ---- Calibration resources ----------------------------------------------

using formats::ChannelMapRecord;
using formats::ReferenceValues;
using formats::calibration_layout::CurvesForMode;

// `channels` is the colour tables' channel count.
std::vector<ChannelMapRecord> ValidateChannelMap(std::span<const uint8_t> bytes,
                                                 uint32_t channels, const ResourceRef &ref);

ReferenceValues ValidateReferenceValues(std::span<const uint8_t> bytes, uint32_t channels,
                                        const ResourceRef &ref);

// Returns the number of 256-byte curves the file holds.
uint32_t ValidateCalibrationCurves(std::span<const uint8_t> bytes, uint32_t curvesNeeded,
                                   const ResourceRef &ref);

// ---- Halftone resources --------------------------------------------------

using formats::PaletteEntry;
using formats::ThresholdMatrix;

std::vector<uint16_t> ValidateIdList(std::span<const uint8_t> bytes, const ResourceRef &ref);

std::vector<uint8_t> ValidateGrid(std::span<const uint8_t> bytes, const ResourceRef &ref);

ThresholdMatrix ValidateMatrix(std::span<const uint8_t> bytes, const ResourceRef &ref);

std::vector<PaletteEntry> ValidatePalette(std::span<const uint8_t> bytes, const ResourceRef &ref);

}  // namespace inkdot::host
