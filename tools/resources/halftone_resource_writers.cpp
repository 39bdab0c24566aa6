// SPDX-License-Identifier: Apache-2.0
#include "halftone_resource_writers.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace inkdot::resources {

namespace {

// Selector records: the length field, then the type at offset 4.
constexpr size_t kSelectorLengthField = 4;
constexpr int16_t kSinglePaletteType = 1;
constexpr int16_t kInputPaletteType = 3;
constexpr int32_t kSinglePaletteLength = 4;
// Readers refuse a type 3 record that declares fewer than 22 bytes after the
// length field, although its fields end 20 bytes after it; the record is
// written that long, the last two bytes zero.
constexpr int32_t kInputPaletteLength = 22;

void PutLittleEndian16(std::vector<uint8_t> &out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value & 0xFF);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutLittleEndian32(std::vector<uint8_t> &out, size_t at, uint32_t value) {
  for (int n = 0; n < 4; ++n) out[at + n] = static_cast<uint8_t>(value >> (8 * n));
}

std::vector<uint8_t> SelectorHeader(int32_t defaultLength, std::optional<int32_t> length, int16_t type) {
  std::vector<uint8_t> out(kSelectorLengthField + static_cast<size_t>(defaultLength), 0);
  PutLittleEndian32(out, 0, static_cast<uint32_t>(length.value_or(defaultLength)));
  PutLittleEndian16(out, 4, static_cast<uint16_t>(type));
  return out;
}

}  // namespace

std::vector<uint8_t> WriteResourceIdList(const ResourceIdList &list) {
  std::vector<uint8_t> out;
  for (uint16_t id : list.ids) {
    out.push_back(static_cast<uint8_t>(id >> 8));
    out.push_back(static_cast<uint8_t>(id & 0xFF));
  }
  out.push_back(static_cast<uint8_t>(kIdListEnd >> 8));
  out.push_back(static_cast<uint8_t>(kIdListEnd & 0xFF));
  return out;
}

std::vector<uint8_t> WriteGridResource(const GridResource &grid) {
  std::vector<uint8_t> out(2 + grid.positions.size(), 0);
  PutLittleEndian16(out, 0, grid.count.value_or(static_cast<uint16_t>(grid.positions.size())));
  std::copy(grid.positions.begin(), grid.positions.end(), out.begin() + 2);
  return out;
}

std::optional<uint8_t> MatrixSideCode(uint32_t side) {
  if (side == 256) return 255;
  if (side == 512) return 239;
  if (side > 255 || side == 255 || side == 239) return std::nullopt;
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
  std::vector<uint8_t> out(4 + 2 * matrix.thresholds.size(), 0);
  out[0] = *width;
  out[1] = *height;
  for (size_t i = 0; i < matrix.thresholds.size(); ++i) PutLittleEndian16(out, 4 + 2 * i, matrix.thresholds[i]);
  return out;
}

std::vector<uint8_t> WriteDotPalette(const DotPalette &palette) {
  std::vector<uint8_t> out;
  out.reserve(3 * palette.levels.size());
  for (const DotAmounts &level : palette.levels) {
    out.push_back(level.small);
    out.push_back(level.medium);
    out.push_back(level.large);
  }
  return out;
}

std::vector<uint8_t> WriteSelectorRecord(const SinglePaletteSelector &record) {
  std::vector<uint8_t> out = SelectorHeader(kSinglePaletteLength, record.length, kSinglePaletteType);
  PutLittleEndian16(out, 6, record.paletteId);
  return out;
}

std::vector<uint8_t> WriteSelectorRecord(const InputPaletteSelector &record) {
  std::vector<uint8_t> out = SelectorHeader(kInputPaletteLength, record.length, kInputPaletteType);
  for (size_t n = 0; n < record.signature.size(); ++n) out[8 + n] = record.signature[n];
  PutLittleEndian16(out, 16, static_cast<uint16_t>(record.colourPaletteId));
  PutLittleEndian16(out, 18, static_cast<uint16_t>(record.colourAltSelector));
  PutLittleEndian16(out, 20, static_cast<uint16_t>(record.greyPaletteId));
  PutLittleEndian16(out, 22, static_cast<uint16_t>(record.greyAltSelector));
  return out;
}

}  // namespace inkdot::resources
