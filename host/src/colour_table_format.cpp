// SPDX-License-Identifier: Apache-2.0
// Validation of the colour-table resource and the dot-mode selector record
// it may carry: header, cube grid sizes, node lists, every block's size
// against the file length, and the ink-load divisor that later steps divide
// by.
#include "byte_checks.h"
#include "inkdot/host/resource_formats.h"

namespace inkdot::host {

namespace {

using detail::Refuse;
using detail::RequireBytes;

int16_t I16BE(std::span<const uint8_t> b, size_t at) {
  return static_cast<int16_t>(detail::U16BE(b, at));
}

// The ink-load curve and the halftone tone curve both divide by
// (((L - K) * (255 - x)^2 + 1) / 255 + K * 255) / 100 in signed 32-bit
// arithmetic: it must stay in range and above 0 for every x.
void RequireInkLoad(int32_t light, int32_t dark, const ResourceRef &ref) {
  for (int64_t x = 0; x <= 255; ++x) {
    int64_t blend = static_cast<int64_t>(light - dark) * (255 - x) * (255 - x) + 1;
    if (blend > INT32_MAX || blend < INT32_MIN) {
      Refuse(ref, "inkLoadLight/inkLoadDark", 48,
             "the ink-load blend overflows 32 bits (light " + std::to_string(light) +
                 ", dark " + std::to_string(dark) + ")");
    }
    int64_t divisor = (blend / 255 + static_cast<int64_t>(dark) * 255) / 100;
    if (divisor <= 0) {
      Refuse(ref, "inkLoadLight/inkLoadDark", 48,
             "the ink-load divisor is " + std::to_string(divisor) + " at level " +
                 std::to_string(x) + " (light " + std::to_string(light) + ", dark " +
                 std::to_string(dark) + "); it must be positive");
    }
  }
}

}  // namespace

SelectorRecord ValidateSelectorRecord(std::span<const uint8_t> bytes, uint64_t base,
                                      const ResourceRef &ref) {
  const std::string field = "selector record";
  if (bytes.size() < 6) {
    Refuse(ref, field, base,
           "holds " + std::to_string(bytes.size()) +
               " bytes; the length and type fields need 6");
  }
  SelectorRecord record;
  record.length = detail::U32LE(bytes, 0);
  if (static_cast<int32_t>(record.length) < 4) {
    Refuse(ref, field + " length", base,
           "is " + std::to_string(static_cast<int32_t>(record.length)) + "; at least 4");
  }
  if (record.length > bytes.size() - 4) {
    Refuse(ref, field + " length", base,
           "says " + std::to_string(record.length) + " bytes follow, the record holds " +
               std::to_string(bytes.size() - 4));
  }
  record.type = static_cast<int16_t>(detail::U16LE(bytes, 4));
  if (record.type == 1) {
    record.colourPaletteId = record.greyPaletteId = detail::U16LE(bytes, 6);
    return record;
  }
  if (record.type != 3) {
    Refuse(ref, field + " type", base + 4,
           "is " + std::to_string(record.type) + "; only 1 and 3 are defined");
  }
  if (record.length < 22) {
    Refuse(ref, field + " length", base,
           "is " + std::to_string(record.length) + "; a type-3 record needs at least 22");
  }
  for (int i = 0; i < 4; ++i) {
    if (bytes[8 + i] != kSelectorSignature[i]) {
      Refuse(ref, field + " signature", base + 8, "is not FB 69 F7 DD");
    }
  }
  record.colourPaletteId = static_cast<int16_t>(detail::U16LE(bytes, 16));
  record.colourAltSelector = static_cast<int16_t>(detail::U16LE(bytes, 18));
  record.greyPaletteId = static_cast<int16_t>(detail::U16LE(bytes, 20));
  record.greyAltSelector = static_cast<int16_t>(detail::U16LE(bytes, 22));
  return record;
}

ColourTable ValidateColourTable(std::span<const uint8_t> bytes, const ResourceRef &ref) {
  ColourTable table;
  RequireBytes(bytes, 0, 76, ref, "header");
  table.format = bytes[15];
  const bool fourInput = table.format == 128;
  if (fourInput) RequireBytes(bytes, 0, 77, ref, "header");

  table.kind = bytes[24];
  table.inkLoadLight = I16BE(bytes, 48);
  table.inkLoadDark = I16BE(bytes, 50);
  RequireInkLoad(table.inkLoadLight, table.inkLoadDark, ref);

  table.gridSize = bytes[72];
  if (table.gridSize < 2 || table.gridSize > static_cast<uint32_t>(kMaxGridSize)) {
    Refuse(ref, "gridSize1", 72,
           "is " + std::to_string(table.gridSize) + "; must lie in 2.." +
               std::to_string(kMaxGridSize));
  }
  for (int axis = 1; axis < (fourInput ? 4 : 3); ++axis) {
    if (bytes[72 + axis] != table.gridSize) {
      Refuse(ref, "gridSize" + std::to_string(axis + 1), 72 + axis,
             "is " + std::to_string(bytes[72 + axis]) + "; the grid must be a cube of " +
                 std::to_string(table.gridSize));
    }
  }
  table.gridSize4 = fourInput ? table.gridSize : 1;
  const uint64_t channelOffset = fourInput ? 76 : 75;
  table.channels = bytes[channelOffset];
  if (table.channels < 1 || table.channels > static_cast<uint32_t>(kMaxChannels)) {
    Refuse(ref, "channelCount", channelOffset,
           "is " + std::to_string(table.channels) + "; must lie in 1.." +
               std::to_string(kMaxChannels));
  }

  const uint64_t g = table.gridSize;
  uint64_t at = channelOffset + 1;
  std::vector<uint8_t> *lists[4] = {&table.nodes1, &table.nodes2, &table.nodes3, &table.nodes4};
  for (int axis = 0; axis < (fourInput ? 4 : 3); ++axis) {
    std::string name = "nodes" + std::to_string(axis + 1);
    RequireBytes(bytes, at, g, ref, name);
    lists[axis]->assign(bytes.begin() + at, bytes.begin() + at + g);
    detail::RequireNodeList(*lists[axis], at, ref, name);
    at += g;
  }

  table.tableOffset = at;
  table.tableBytes = table.channels * g * g * g * table.gridSize4;
  RequireBytes(bytes, at, table.tableBytes, ref, "grid table");
  at += table.tableBytes;
  table.blackOffset = at;
  RequireBytes(bytes, at, g, ref, "neutral black values");
  at += g;
  if (table.format == 50) {
    table.greyBlockOffset = at;
    RequireBytes(bytes, at, g * table.channels, ref, "grey block");
    at += g * table.channels;
  }
  table.endOffset = at;

  table.auxOffset = detail::U32LE(bytes, 16);
  table.auxLength = detail::U32LE(bytes, 20);
  if (table.auxLength != 0) {
    RequireBytes(bytes, table.auxOffset, table.auxLength, ref, "auxiliary record");
    table.selector = ValidateSelectorRecord(bytes.subspan(table.auxOffset, table.auxLength),
                                            table.auxOffset, ref);
  }
  return table;
}

}  // namespace inkdot::host
