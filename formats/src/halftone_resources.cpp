// SPDX-License-Identifier: Apache-2.0
// The halftone resources: the resource-id list, the grid, the threshold
// matrix and the dot palette, each writer beside its validator.
#include "inkdot/formats/halftone_resources.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "byte_fields.h"

namespace inkdot::formats {

namespace write {

std::vector<uint8_t> WriteResourceIdList(const ResourceIdList &list) {
  std::vector<uint8_t> out((list.ids.size() + 1) * id_list_layout::kIdBytes, 0);
  for (size_t n = 0; n < list.ids.size(); ++n) {
    detail::PutU16BE(out, n * id_list_layout::kIdBytes, list.ids[n]);
  }
  detail::PutU16BE(out, list.ids.size() * id_list_layout::kIdBytes, id_list_layout::kEnd);
  return out;
}

std::vector<uint8_t> WriteGridResource(const GridResource &grid) {
  std::vector<uint8_t> out(grid_layout::kPositionsAt + grid.positions.size(), 0);
  detail::PutU16LE(out, grid_layout::kCountAt,
                   grid.count.value_or(static_cast<uint16_t>(grid.positions.size())));
  std::copy(grid.positions.begin(), grid.positions.end(), out.begin() + grid_layout::kPositionsAt);
  return out;
}

std::optional<uint8_t> MatrixSideCode(uint32_t side) {
  if (side == 256) return matrix_layout::kSide256Code;
  if (side == 512) return matrix_layout::kSide512Code;
  if (side > 255 || side == matrix_layout::kSide256Code || side == matrix_layout::kSide512Code) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(side);
}

std::vector<uint8_t> WriteThresholdMatrix(const ThresholdMatrix &matrix) {
  const std::optional<uint8_t> width = MatrixSideCode(matrix.width);
  const std::optional<uint8_t> height = MatrixSideCode(matrix.height);
  if (!width || !height) {
    throw std::invalid_argument("threshold matrix side " +
                                std::to_string(width ? matrix.height : matrix.width) +
                                " has no byte code (0..254 except 239, or 256, or 512)");
  }
  std::vector<uint8_t> out(matrix_layout::kThresholdsAt + 2 * matrix.thresholds.size(), 0);
  out[matrix_layout::kWidthAt] = *width;
  out[matrix_layout::kHeightAt] = *height;
  for (size_t i = 0; i < matrix.thresholds.size(); ++i) {
    detail::PutU16LE(out, matrix_layout::kThresholdsAt + 2 * i, matrix.thresholds[i]);
  }
  return out;
}

std::vector<uint8_t> WriteDotPalette(const DotPalette &palette) {
  std::vector<uint8_t> out;
  out.reserve(palette_layout::kBytes);
  for (const DotAmounts &level : palette.levels) {
    out.push_back(level.small);
    out.push_back(level.medium);
    out.push_back(level.large);
  }
  return out;
}

}  // namespace write

using detail::Refuse;
using detail::RequireBytes;

std::vector<uint16_t> ValidateIdList(std::span<const uint8_t> bytes) {
  std::vector<uint16_t> ids;
  for (size_t at = 0;; at += id_list_layout::kIdBytes) {
    RequireBytes(bytes, at, id_list_layout::kIdBytes,
                 ids.empty() ? "end mark 0xFFFF" : "id or end mark 0xFFFF");
    uint16_t id = detail::U16BE(bytes, at);
    if (id == id_list_layout::kEnd) {
      // The engine takes the grid's id from the list's first place.
      if (ids.empty()) Refuse("id list", at, "holds no ids before the end mark");
      return ids;
    }
    if (ids.size() == static_cast<size_t>(id_list_layout::kMaxIds)) {
      Refuse("id list", at,
             "more than " + std::to_string(id_list_layout::kMaxIds) + " ids before the end mark");
    }
    ids.push_back(id);
  }
}

std::vector<uint8_t> ValidateGrid(std::span<const uint8_t> bytes) {
  RequireBytes(bytes, grid_layout::kCountAt, 2, "grid count");
  uint16_t count = detail::U16LE(bytes, grid_layout::kCountAt);
  if (count != grid_layout::kPoints) {
    Refuse("grid count", grid_layout::kCountAt,
           "is " + std::to_string(count) + "; must be " + std::to_string(grid_layout::kPoints));
  }
  RequireBytes(bytes, grid_layout::kPositionsAt, grid_layout::kPoints, "grid positions");
  const auto first = bytes.begin() + grid_layout::kPositionsAt;
  std::vector<uint8_t> positions(first, first + grid_layout::kPoints);
  detail::RequireNodeList(positions, grid_layout::kPositionsAt, "grid positions");
  return positions;
}

ThresholdMatrix ValidateMatrix(std::span<const uint8_t> bytes) {
  RequireBytes(bytes, 0, matrix_layout::kHeaderBytes, "matrix header");
  ThresholdMatrix matrix;
  matrix.width = matrix_layout::DecodeSide(bytes[matrix_layout::kWidthAt]);
  matrix.height = matrix_layout::DecodeSide(bytes[matrix_layout::kHeightAt]);
  if (matrix.width == 0 || (matrix.width & (matrix.width - 1)) != 0) {
    Refuse("matrix width", matrix_layout::kWidthAt,
           "is " + std::to_string(matrix.width) + "; must be a power of two");
  }
  if (matrix.height == 0) Refuse("matrix height", matrix_layout::kHeightAt, "is 0");
  const uint32_t size = matrix.width * matrix.height;
  if (size > matrix_layout::kMaxThresholds) {
    Refuse("matrix size", 0,
           std::to_string(matrix.width) + " x " + std::to_string(matrix.height) + " exceeds " +
               std::to_string(matrix_layout::kMaxThresholds) + " thresholds");
  }
  RequireBytes(bytes, matrix_layout::kThresholdsAt, static_cast<uint64_t>(size) * 2, "thresholds");
  std::vector<bool> seen(size, false);
  bool permutation = true;
  matrix.minThreshold = 0xFFFF;
  for (uint32_t i = 0; i < size; ++i) {
    const uint64_t at = matrix_layout::kThresholdsAt + 2 * static_cast<uint64_t>(i);
    uint16_t t = detail::U16LE(bytes, at);
    if (t >= size) {
      Refuse("threshold", at,
             "is " + std::to_string(t) + "; thresholds are ranks below " + std::to_string(size));
    }
    if (seen[t]) permutation = false;
    seen[t] = true;
    matrix.minThreshold = std::min(matrix.minThreshold, t);
    matrix.maxThreshold = std::max(matrix.maxThreshold, t);
  }
  matrix.isPermutation = permutation;
  return matrix;
}

std::vector<PaletteEntry> ValidatePalette(std::span<const uint8_t> bytes) {
  RequireBytes(bytes, 0, palette_layout::kBytes, "palette");
  std::vector<PaletteEntry> entries(palette_layout::kLevels);
  for (size_t p = 0; p < palette_layout::kLevels; ++p) {
    const size_t at = palette_layout::kBytesPerLevel * p;
    PaletteEntry &e = entries[p];
    e.small = bytes[at];
    e.medium = bytes[at + 1];
    e.large = bytes[at + 2];
    const int sum = e.small + e.medium + e.large;
    if (sum > static_cast<int>(palette_layout::kMaxLevelSum)) {
      Refuse("palette entry " + std::to_string(p), at,
             "adds up to " + std::to_string(sum) + "; at most " +
                 std::to_string(palette_layout::kMaxLevelSum));
    }
  }
  return entries;
}

}  // namespace inkdot::formats
