/* SPDX-License-Identifier: Apache-2.0 */
// Writers of the per-ink calibration data: the calibration block that a
// host puts in its option list, and the channel-map, reference-value and
// curve resources that the colour-matching object asks for after it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace inkdot::resources {

struct CalibrationBlock {
  std::string tag = "CW:";
  uint8_t headId = 0;                  // selects the channel-map records
  std::vector<uint8_t> printerValues;  // one per ink, each 30..70
  std::vector<uint8_t> terminator = {0xFE, 0xFF};
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

using Curve = std::array<uint8_t, 256>;

// Consecutive curves, curve n at byte n * 256.
std::vector<uint8_t> WriteCurves(const std::vector<Curve> &curves);

}  // namespace inkdot::resources
