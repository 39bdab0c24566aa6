/* SPDX-License-Identifier: Apache-2.0 */
// The per-ink calibration data: writers of the calibration block a host
// puts in its option list and of the channel-map, reference-value and curve
// resources, and the validators of the three resources.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "inkdot/formats/calibration_layout.h"

namespace inkdot::formats {

// ---- Writing -------------------------------------------------------------

namespace write {

struct CalibrationBlock {
  std::string tag = std::string(calibration_layout::kBlockTag, sizeof calibration_layout::kBlockTag);
  uint8_t headId = 0;                  // selects the channel-map records
  std::vector<uint8_t> printerValues;  // one per ink, each 30..70
  std::vector<uint8_t> terminator = {calibration_layout::kBlockEnd[0], calibration_layout::kBlockEnd[1]};
};

std::vector<uint8_t> WriteCalibrationBlock(const CalibrationBlock &block);

// One record of the channel map: the head it applies to and, for each ink,
// the curve plane that receives that ink's curve.
struct ChannelMapRecord {
  uint8_t headId = 0;
  std::vector<uint8_t> planes;
};

// The records, each ended by 0xFE, then 0xFF.
std::vector<uint8_t> WriteChannelMap(const std::vector<ChannelMapRecord> &records);

// The reference values the tables were made for. Without a mode the values
// start at byte 0 (mode 1; the first value must then lie in 30..70); with
// one the mode is byte 0 and the values follow.
struct ReferenceValues {
  std::optional<uint8_t> mode;
  std::vector<uint8_t> values;
};

std::vector<uint8_t> WriteReferenceValues(const ReferenceValues &reference);

using Curve = std::array<uint8_t, calibration_layout::kCurveBytes>;

// Consecutive curves, curve n at byte n * 256.
std::vector<uint8_t> WriteCurves(const std::vector<Curve> &curves);

}  // namespace write

// ---- Validating (each throws FormatError) --------------------------------

struct ChannelMapRecord {
  uint8_t headId = 0;
  std::vector<uint8_t> planes;
  uint64_t offset = 0;  // where the record starts
};

// `channels` is the colour tables' channel count.
std::vector<ChannelMapRecord> ValidateChannelMap(std::span<const uint8_t> bytes, uint32_t channels);

struct ReferenceValues {
  int32_t mode = 1;  // 2, or 1 for every other value
  int32_t storedMode = 1;
  std::vector<uint8_t> values;
};

ReferenceValues ValidateReferenceValues(std::span<const uint8_t> bytes, uint32_t channels);

// Returns the number of 256-byte curves the file holds.
uint32_t ValidateCalibrationCurves(std::span<const uint8_t> bytes, uint32_t curvesNeeded);

}  // namespace inkdot::formats
