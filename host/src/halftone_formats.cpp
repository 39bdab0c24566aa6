// SPDX-License-Identifier: Apache-2.0
// Validation of the halftone resources: the resource-id list, the grid, the
// threshold matrix and the dot palette.
#include "byte_checks.h"
#include "inkdot/host/resource_formats.h"

namespace inkdot::host {

namespace {
using detail::Refuse;
using detail::RequireBytes;

constexpr uint16_t kIdListEnd = 0xFFFF;
// Level scales are 16-bit, and a level covers up to matrixSize ranks.
constexpr uint32_t kMaxMatrixSize = 65536;
}  // namespace

std::vector<uint16_t> ValidateIdList(std::span<const uint8_t> bytes, const ResourceRef &ref) {
  std::vector<uint16_t> ids;
  for (size_t at = 0;; at += 2) {
    RequireBytes(bytes, at, 2, ref, ids.empty() ? "end mark 0xFFFF" : "id or end mark 0xFFFF");
    uint16_t id = detail::U16BE(bytes, at);
    if (id == kIdListEnd) {
      // The engine takes the grid's id from the list's first place.
      if (ids.empty()) Refuse(ref, "id list", at, "holds no ids before the end mark");
      return ids;
    }
    if (ids.size() == static_cast<size_t>(kMaxHalftoneIds)) {
      Refuse(ref, "id list", at,
             "more than " + std::to_string(kMaxHalftoneIds) + " ids before the end mark");
    }
    ids.push_back(id);
  }
}

std::vector<uint8_t> ValidateGrid(std::span<const uint8_t> bytes, const ResourceRef &ref) {
  RequireBytes(bytes, 0, 2, ref, "grid count");
  uint16_t count = detail::U16LE(bytes, 0);
  if (count != kGridPoints) {
    Refuse(ref, "grid count", 0,
           "is " + std::to_string(count) + "; must be " + std::to_string(kGridPoints));
  }
  RequireBytes(bytes, 2, kGridPoints, ref, "grid positions");
  std::vector<uint8_t> positions(bytes.begin() + 2, bytes.begin() + 2 + kGridPoints);
  detail::RequireNodeList(positions, 2, ref, "grid positions");
  return positions;
}

uint32_t DecodeMatrixSide(uint8_t code) {
  if (code == 255) return 256;
  if (code == 239) return 512;
  return code;
}

ThresholdMatrix ValidateMatrix(std::span<const uint8_t> bytes, const ResourceRef &ref) {
  RequireBytes(bytes, 0, 4, ref, "matrix header");
  ThresholdMatrix matrix;
  matrix.width = DecodeMatrixSide(bytes[0]);
  matrix.height = DecodeMatrixSide(bytes[1]);
  if (matrix.width == 0 || (matrix.width & (matrix.width - 1)) != 0) {
    Refuse(ref, "matrix width", 0,
           "is " + std::to_string(matrix.width) + "; must be a power of two");
  }
  if (matrix.height == 0) Refuse(ref, "matrix height", 1, "is 0");
  const uint32_t size = matrix.width * matrix.height;
  if (size > kMaxMatrixSize) {
    Refuse(ref, "matrix size", 0,
           std::to_string(matrix.width) + " x " + std::to_string(matrix.height) +
               " exceeds " + std::to_string(kMaxMatrixSize) + " thresholds");
  }
  RequireBytes(bytes, 4, static_cast<uint64_t>(size) * 2, ref, "thresholds");
  std::vector<bool> seen(size, false);
  bool permutation = true;
  matrix.minThreshold = 0xFFFF;
  for (uint32_t i = 0; i < size; ++i) {
    uint16_t t = detail::U16LE(bytes, 4 + 2 * i);
    if (t >= size) {
      Refuse(ref, "threshold", 4 + 2 * static_cast<uint64_t>(i),
             "is " + std::to_string(t) + "; thresholds are ranks below " +
                 std::to_string(size));
    }
    if (seen[t]) permutation = false;
    seen[t] = true;
    matrix.minThreshold = std::min(matrix.minThreshold, t);
    matrix.maxThreshold = std::max(matrix.maxThreshold, t);
  }
  matrix.isPermutation = permutation;
  return matrix;
}

std::vector<PaletteEntry> ValidatePalette(std::span<const uint8_t> bytes, const ResourceRef &ref) {
  RequireBytes(bytes, 0, 768, ref, "palette");
  std::vector<PaletteEntry> entries(256);
  for (size_t p = 0; p < 256; ++p) {
    PaletteEntry &e = entries[p];
    e.small = bytes[3 * p];
    e.medium = bytes[3 * p + 1];
    e.large = bytes[3 * p + 2];
    int sum = e.small + e.medium + e.large;
    if (sum > 255) {
      Refuse(ref, "palette entry " + std::to_string(p), 3 * p,
             "adds up to " + std::to_string(sum) + "; at most 255");
    }
  }
  return entries;
}

}  // namespace inkdot::host
