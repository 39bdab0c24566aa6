/* SPDX-License-Identifier: Apache-2.0 */
// The halftone resources (the resource-id list, the grid, the threshold
// matrix and the dot palette): their writers, and their validators that
// decode what the engine will read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "inkdot/formats/halftone_layout.h"

namespace inkdot::formats {

// ---- Writing -------------------------------------------------------------

namespace write {

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
  std::array<DotAmounts, palette_layout::kLevels> levels{};
};

// 256 triplets of small, medium, large.
std::vector<uint8_t> WriteDotPalette(const DotPalette &palette);

}  // namespace write

// ---- Validating (each throws FormatError) --------------------------------

std::vector<uint16_t> ValidateIdList(std::span<const uint8_t> bytes);

std::vector<uint8_t> ValidateGrid(std::span<const uint8_t> bytes);

struct ThresholdMatrix {
  uint32_t width = 0;
  uint32_t height = 0;
  bool isPermutation = false;  // every rank 0..size-1 exactly once
  uint16_t minThreshold = 0;
  uint16_t maxThreshold = 0;
};

ThresholdMatrix ValidateMatrix(std::span<const uint8_t> bytes);

struct PaletteEntry {
  uint8_t small = 0, medium = 0, large = 0;
};

std::vector<PaletteEntry> ValidatePalette(std::span<const uint8_t> bytes);

}  // namespace inkdot::formats
