/* SPDX-License-Identifier: Apache-2.0 */
// Writers of the halftone resources that a host hands to the halftone
// object (the resource-id list, the grid, the threshold matrix and the dot
// palette) and of the dot-mode selector record that the colour-matching
// object keeps for it. Each writer lays its format out field by field from
// meaningful values; the optional overrides exist so that tests can write
// deliberately malformed resources through the same fields.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace inkdot::resources {

// Ends the resource-id list.
inline constexpr uint16_t kIdListEnd = 0xFFFF;

// Entry 0 names the grid resource, entries 1 to 5 the threshold matrices of
// the five resolution classes; readers take at most 15 ids.
struct ResourceIdList {
  std::vector<uint16_t> ids{};
};

// The ids high byte first, then the end mark.
std::vector<uint8_t> WriteResourceIdList(const ResourceIdList &list);

// The grid positions shared by the three axes of the halftone colour table:
// input values 0..255, rising, first 0 and last 255 (readers want 32).
struct GridResource {
  std::vector<uint8_t> positions{};
  std::optional<uint16_t> count{};  // written instead of the number of positions
};

// The point count little-endian, then the positions.
std::vector<uint8_t> WriteGridResource(const GridResource &grid);

// A threshold matrix: thresholds are ranks, row after row (row r, column c
// at r * width + c). Sides are written as one byte each, 256 as 255 and 512
// as 239, so sides 239, 255 and any other above 255 cannot be written.
struct ThresholdMatrix {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint16_t> thresholds{};  // written as given, whatever the sides say
};

// The coded sides, two zero bytes, then the thresholds little-endian.
// Throws std::invalid_argument for a side that has no byte code.
std::vector<uint8_t> WriteThresholdMatrix(const ThresholdMatrix &matrix);

// The byte that stands for a matrix side, or nothing when none does.
std::optional<uint8_t> MatrixSideCode(uint32_t side);

// Amounts of each dot size printed for one level; readers refuse a level
// whose amounts add up to more than 255.
struct DotAmounts {
  uint8_t small = 0;
  uint8_t medium = 0;
  uint8_t large = 0;
};

struct DotPalette {
  std::array<DotAmounts, 256> levels{};
};

// 256 triplets of small, medium, large.
std::vector<uint8_t> WriteDotPalette(const DotPalette &palette);

// The four bytes that a selector record of type 3 must carry at offset 8.
inline constexpr std::array<uint8_t, 4> kSelectorSignature = {0xFB, 0x69, 0xF7, 0xDD};

// Selector record of type 1: one dot palette for every page.
struct SinglePaletteSelector {
  uint16_t paletteId = 0;
  std::optional<int32_t> length{};  // bytes after the length field; 4 by default
};

// Selector record of type 3: a palette id and an alternative-selector value
// for colour input and another pair for grey input.
struct InputPaletteSelector {
  int16_t colourPaletteId = 0;
  int16_t colourAltSelector = 0;
  int16_t greyPaletteId = 0;
  int16_t greyAltSelector = 0;
  std::array<uint8_t, 4> signature = kSelectorSignature;
  std::optional<int32_t> length{};  // bytes after the length field; 22 by default
};

// Both records: the length and type, then the type's fields, all numbers
// little-endian and unread bytes zero. A record is always as long as its
// default length says, whatever length is written into it.
std::vector<uint8_t> WriteSelectorRecord(const SinglePaletteSelector &record);
std::vector<uint8_t> WriteSelectorRecord(const InputPaletteSelector &record);

}  // namespace inkdot::resources
