/* SPDX-License-Identifier: Apache-2.0 */
// Byte layouts of the halftone resources: the resource-id list, the grid,
// the threshold matrix and the dot palette. Plain constants only, so that
// the engine, the validators and the writers read one definition.
#pragma once

#include <cstdint>

namespace inkdot::formats::id_list_layout {

// u16 big-endian ids, ended by 0xFFFF. Entry 0 names the grid, entries 1
// to 5 the threshold matrices of the five resolution classes.
inline constexpr uint16_t kEnd = 0xFFFF;
inline constexpr int32_t kMaxIds = 15;
inline constexpr uint32_t kIdBytes = 2;

}  // namespace inkdot::formats::id_list_layout

namespace inkdot::formats::grid_layout {

// A u16 little-endian point count, then the positions (0 first, 255 last,
// rising).
inline constexpr uint32_t kCountAt = 0;
inline constexpr uint32_t kPositionsAt = 2;
inline constexpr uint32_t kPoints = 32;

}  // namespace inkdot::formats::grid_layout

namespace inkdot::formats::matrix_layout {

// Width and height as one byte each, two unused bytes, then u16
// little-endian ranks row after row.
inline constexpr uint32_t kWidthAt = 0;
inline constexpr uint32_t kHeightAt = 1;
inline constexpr uint32_t kHeaderBytes = 4;
inline constexpr uint32_t kThresholdsAt = 4;
// Sides that do not fit a byte: 255 stands for 256 and 239 for 512.
inline constexpr uint8_t kSide256Code = 255;
inline constexpr uint8_t kSide512Code = 239;
// Level scales are 16-bit, and a level covers up to the matrix size in ranks.
inline constexpr uint32_t kMaxThresholds = 65536;

// The side a header byte stands for.
constexpr uint32_t DecodeSide(uint8_t code) {
  if (code == kSide256Code) return 256;
  if (code == kSide512Code) return 512;
  return code;
}

}  // namespace inkdot::formats::matrix_layout

namespace inkdot::formats::palette_layout {

// 256 levels of three bytes: the amounts of small, medium and large dots,
// adding up to at most 255.
inline constexpr uint32_t kLevels = 256;
inline constexpr uint32_t kBytesPerLevel = 3;
inline constexpr uint32_t kBytes = kLevels * kBytesPerLevel;
inline constexpr uint32_t kMaxLevelSum = 255;

}  // namespace inkdot::formats::palette_layout
