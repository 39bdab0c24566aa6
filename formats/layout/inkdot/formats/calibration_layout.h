/* SPDX-License-Identifier: Apache-2.0 */
// Layouts of the per-ink calibration data: the block a host puts in its
// option list, and the channel-map, reference-value and curve resources.
// Plain constants only, so that the engine, the validators and the writers
// read one definition.
#pragma once

#include <cstdint>

namespace inkdot::formats::calibration_layout {

// Calibration block: the tag "CW:", the head id, one printer value per ink,
// then the two end bytes.
inline constexpr char kBlockTag[3] = {'C', 'W', ':'};
inline constexpr uint32_t kBlockHeadAt = 3;
inline constexpr uint32_t kBlockValuesAt = 4;
inline constexpr uint8_t kBlockEnd[2] = {0xFE, 0xFF};

// Channel map: records of a head id and one curve plane per ink, each ended
// by kRecordEnd; kMapEnd ends the map. A record holds at most 20 bytes
// before its end mark.
inline constexpr uint8_t kRecordEnd = 0xFE;
inline constexpr uint8_t kMapEnd = 0xFF;
inline constexpr uint32_t kMaxRecordBytes = 20;

// Printer and reference values lie in 30..70. A reference resource whose
// first byte lies outside that range starts with its mode.
inline constexpr uint8_t kLowestValue = 30;
inline constexpr uint8_t kHighestValue = 70;
inline constexpr int32_t kFineMode = 2;

// Curves: consecutive 256-byte curves, 21 for mode 1, 37 for mode 2.
inline constexpr uint32_t kCurveBytes = 256;
inline constexpr uint32_t kCoarseCurves = 21;
inline constexpr uint32_t kFineCurves = 37;

constexpr uint32_t CurvesForMode(int32_t mode) {
  return mode == kFineMode ? kFineCurves : kCoarseCurves;
}

}  // namespace inkdot::formats::calibration_layout
