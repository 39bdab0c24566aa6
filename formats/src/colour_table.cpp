// SPDX-License-Identifier: Apache-2.0
// The colour-table resource and the dot-mode selector record. The writer
// lays both out field by field; the validator checks the header, the cube
// grid sizes, the node lists, every block's size against the file length,
// the ink-load divisor that later steps divide by, and the selector record.
#include "inkdot/formats/colour_table.h"

#include <algorithm>
#include <stdexcept>

#include "byte_fields.h"

namespace inkdot::formats {

namespace layout = colour_table_layout;
namespace selector = selector_layout;

namespace write {

std::vector<uint8_t> WriteColourTable(const ColourTable &table) {
  const bool fourInputs = table.format == layout::kFourInputFormat;
  if (table.tag.size() > layout::kTagBytes) throw std::invalid_argument("colour-table tag longer than 15 bytes");
  std::vector<uint8_t> out(fourInputs ? layout::kFourInputHeaderBytes : layout::kHeaderBytes, 0);
  for (size_t n = 0; n < table.tag.size(); ++n) out[layout::kTagAt + n] = static_cast<uint8_t>(table.tag[n]);
  out[layout::kFormatAt] = table.format;
  out[layout::kKindAt] = table.kind;
  for (uint32_t n = 0; n < 3; ++n) {
    out[layout::kDominantReductionAt + n] = table.dominantReduction[n];
    out[layout::kHueShiftAt + n] = static_cast<uint8_t>(table.hueShift[n]);
    out[layout::kPairReductionAt + n] = static_cast<uint8_t>(table.pairReduction[n]);
  }
  out[layout::kSaturationBoostAt] = static_cast<uint8_t>(table.saturationBoost);
  detail::PutU16BE(out, layout::kInkLoadLightAt, static_cast<uint16_t>(table.inkLoadLight));
  detail::PutU16BE(out, layout::kInkLoadDarkAt, static_cast<uint16_t>(table.inkLoadDark));
  for (uint32_t n = 0; n < 3; ++n) {
    detail::PutU16BE(out, layout::kInkParamsAt + 2 * n, static_cast<uint16_t>(table.inkParams[n]));
  }
  for (uint32_t n = 0; n < 4; ++n) {
    detail::PutU16BE(out, layout::kLevelParamsAt + 2 * n, static_cast<uint16_t>(table.levelParams[n]));
  }
  uint32_t at = layout::kGridSizesAt;
  for (const std::vector<uint8_t> *nodes : {&table.nodes1, &table.nodes2, &table.nodes3}) {
    out[at++] = static_cast<uint8_t>(nodes->size());
  }
  if (fourInputs) out[at++] = static_cast<uint8_t>(table.nodes4.size());
  out[at] = table.channelCount;
  detail::Append(out, table.nodes1);
  detail::Append(out, table.nodes2);
  detail::Append(out, table.nodes3);
  if (fourInputs) detail::Append(out, table.nodes4);
  detail::Append(out, table.grid);
  detail::Append(out, table.neutralBlack);
  detail::Append(out, table.greyBlock);
  if (!table.selector.empty()) {
    detail::PutU32LE(out, layout::kAuxOffsetAt, static_cast<uint32_t>(out.size()));
    detail::PutU32LE(out, layout::kAuxLengthAt, static_cast<uint32_t>(table.selector.size()));
    detail::Append(out, table.selector);
  }
  return out;
}

std::vector<uint8_t> EvenNodes(int count) {
  std::vector<uint8_t> nodes;
  for (int n = 0; n < count; ++n) {
    nodes.push_back(static_cast<uint8_t>((255 * n + (count - 1) / 2) / (count - 1)));
  }
  return nodes;
}

namespace {

std::vector<uint8_t> SelectorHeader(int32_t defaultLength, std::optional<int32_t> length,
                                    int16_t type, uint32_t padding = 0) {
  std::vector<uint8_t> out(selector::kLengthFieldBytes + static_cast<size_t>(defaultLength) + padding, 0);
  detail::PutU32LE(out, selector::kLengthAt, static_cast<uint32_t>(length.value_or(defaultLength)));
  detail::PutU16LE(out, selector::kTypeAt, static_cast<uint16_t>(type));
  return out;
}

}  // namespace

std::vector<uint8_t> WriteSelectorRecord(const SinglePaletteSelector &record) {
  std::vector<uint8_t> out =
      SelectorHeader(selector::kSinglePaletteLength, record.length, selector::kSinglePaletteType);
  detail::PutU16LE(out, selector::kSinglePaletteIdAt, record.paletteId);
  return out;
}

std::vector<uint8_t> WriteSelectorRecord(const InputPaletteSelector &record) {
  std::vector<uint8_t> out = SelectorHeader(selector::kInputPaletteLength, record.length,
                                            selector::kInputPaletteType, record.padding);
  for (size_t n = 0; n < record.signature.size(); ++n) out[selector::kSignatureAt + n] = record.signature[n];
  detail::PutU16LE(out, selector::kColourPaletteIdAt, static_cast<uint16_t>(record.colourPaletteId));
  detail::PutU16LE(out, selector::kColourAltSelectorAt, static_cast<uint16_t>(record.colourAltSelector));
  detail::PutU16LE(out, selector::kGreyPaletteIdAt, static_cast<uint16_t>(record.greyPaletteId));
  detail::PutU16LE(out, selector::kGreyAltSelectorAt, static_cast<uint16_t>(record.greyAltSelector));
  return out;
}

}  // namespace write

namespace {

using detail::Refuse;
using detail::RequireBytes;

constexpr int64_t kMaxInkLoadDivisor = 65535;

int16_t I16BE(std::span<const uint8_t> b, size_t at) {
  return static_cast<int16_t>(detail::U16BE(b, at));
}

// The ink-load curve and the halftone tone curve both divide by
// D(x) = (((L - K) * (255 - x)^2 + 1) / 255 + K * 255) / 100 in signed 32-bit
// arithmetic. D(x) must stay in range and between x and 65535 for every x:
// below x the ink-load curve's byte overflows (K under 100 turns a full ink
// into almost none) and a dot removes less error than a pixel of that level
// brings, so the diffusion's error grows without bound; above 65535 the
// 16-bit tone entry wraps.
void RequireInkLoad(int32_t light, int32_t dark) {
  const auto loads = [&] {
    return " (light " + std::to_string(light) + ", dark " + std::to_string(dark) + ")";
  };
  for (int64_t x = 0; x <= 255; ++x) {
    int64_t blend = static_cast<int64_t>(light - dark) * (255 - x) * (255 - x) + 1;
    if (blend > INT32_MAX || blend < INT32_MIN) {
      Refuse("inkLoadLight/inkLoadDark", layout::kInkLoadLightAt,
             "the ink-load blend overflows 32 bits" + loads());
    }
    int64_t divisor = (blend / 255 + static_cast<int64_t>(dark) * 255) / 100;
    const int64_t least = std::max<int64_t>(x, 1);
    if (divisor < least || divisor > kMaxInkLoadDivisor) {
      Refuse("inkLoadLight/inkLoadDark", layout::kInkLoadLightAt,
             "the ink-load divisor is " + std::to_string(divisor) + " at level " +
                 std::to_string(x) + loads() + "; it must be at least " +
                 std::to_string(least) + " and at most " + std::to_string(kMaxInkLoadDivisor));
    }
  }
}

}  // namespace

SelectorRecord ValidateSelectorRecord(std::span<const uint8_t> bytes, uint64_t base) {
  const std::string field = "selector record";
  if (bytes.size() < selector::kFixedFieldBytes) {
    Refuse(field, base,
           "holds " + std::to_string(bytes.size()) +
               " bytes; the length and type fields need " + std::to_string(selector::kFixedFieldBytes));
  }
  SelectorRecord record;
  record.length = detail::U32LE(bytes, selector::kLengthAt);
  if (static_cast<int32_t>(record.length) < selector::kMinLength) {
    Refuse(field + " length", base,
           "is " + std::to_string(static_cast<int32_t>(record.length)) + "; at least " +
               std::to_string(selector::kMinLength));
  }
  if (record.length > bytes.size() - selector::kLengthFieldBytes) {
    Refuse(field + " length", base,
           "says " + std::to_string(record.length) + " bytes follow, the record holds " +
               std::to_string(bytes.size() - selector::kLengthFieldBytes));
  }
  record.type = static_cast<int16_t>(detail::U16LE(bytes, selector::kTypeAt));
  if (record.type == selector::kSinglePaletteType) {
    record.colourPaletteId = record.greyPaletteId = detail::U16LE(bytes, selector::kSinglePaletteIdAt);
    return record;
  }
  if (record.type != selector::kInputPaletteType) {
    Refuse(field + " type", base + selector::kTypeAt,
           "is " + std::to_string(record.type) + "; only 1 and 3 are defined");
  }
  if (record.length < static_cast<uint32_t>(selector::kInputPaletteLength)) {
    Refuse(field + " length", base,
           "is " + std::to_string(record.length) + "; a type-3 record needs at least " +
               std::to_string(selector::kInputPaletteLength));
  }
  for (uint32_t i = 0; i < 4; ++i) {
    if (bytes[selector::kSignatureAt + i] != selector::kSignature[i]) {
      Refuse(field + " signature", base + selector::kSignatureAt, "is not FB 69 F7 DD");
    }
  }
  auto i16 = [&](uint32_t at) { return static_cast<int16_t>(detail::U16LE(bytes, at)); };
  record.colourPaletteId = i16(selector::kColourPaletteIdAt);
  record.colourAltSelector = i16(selector::kColourAltSelectorAt);
  record.greyPaletteId = i16(selector::kGreyPaletteIdAt);
  record.greyAltSelector = i16(selector::kGreyAltSelectorAt);
  return record;
}

ColourTable ValidateColourTable(std::span<const uint8_t> bytes) {
  ColourTable table;
  RequireBytes(bytes, 0, layout::kHeaderBytes, "header");
  table.format = bytes[layout::kFormatAt];
  const bool fourInput = table.format == layout::kFourInputFormat;
  if (fourInput) RequireBytes(bytes, 0, layout::kFourInputHeaderBytes, "header");

  table.kind = bytes[layout::kKindAt];
  table.inkLoadLight = I16BE(bytes, layout::kInkLoadLightAt);
  table.inkLoadDark = I16BE(bytes, layout::kInkLoadDarkAt);
  RequireInkLoad(table.inkLoadLight, table.inkLoadDark);

  const uint32_t sizesAt = layout::kGridSizesAt;
  table.gridSize = bytes[sizesAt];
  if (table.gridSize < layout::kMinGridSize || table.gridSize > layout::kMaxGridSize) {
    Refuse("gridSize1", sizesAt,
           "is " + std::to_string(table.gridSize) + "; must lie in " +
               std::to_string(layout::kMinGridSize) + ".." + std::to_string(layout::kMaxGridSize));
  }
  const int axes = fourInput ? 4 : 3;
  for (int axis = 1; axis < axes; ++axis) {
    if (bytes[sizesAt + axis] != table.gridSize) {
      Refuse("gridSize" + std::to_string(axis + 1), sizesAt + axis,
             "is " + std::to_string(bytes[sizesAt + axis]) + "; the grid must be a cube of " +
                 std::to_string(table.gridSize));
    }
  }
  table.gridSize4 = fourInput ? table.gridSize : 1;
  const uint64_t channelOffset = sizesAt + axes;
  table.channels = bytes[channelOffset];
  if (table.channels < 1 || table.channels > layout::kMaxChannels) {
    Refuse("channelCount", channelOffset,
           "is " + std::to_string(table.channels) + "; must lie in 1.." +
               std::to_string(layout::kMaxChannels));
  }

  const uint64_t g = table.gridSize;
  uint64_t at = channelOffset + 1;
  std::vector<uint8_t> *lists[4] = {&table.nodes1, &table.nodes2, &table.nodes3, &table.nodes4};
  for (int axis = 0; axis < axes; ++axis) {
    std::string name = "nodes" + std::to_string(axis + 1);
    RequireBytes(bytes, at, g, name);
    lists[axis]->assign(bytes.begin() + at, bytes.begin() + at + g);
    detail::RequireNodeList(*lists[axis], at, name);
    at += g;
  }

  table.tableOffset = at;
  table.tableBytes = table.channels * g * g * g * table.gridSize4;
  RequireBytes(bytes, at, table.tableBytes, "grid table");
  at += table.tableBytes;
  table.blackOffset = at;
  RequireBytes(bytes, at, g, "neutral black values");
  at += g;
  if (table.format == layout::kGreyBlockFormat) {
    table.greyBlockOffset = at;
    RequireBytes(bytes, at, g * table.channels, "grey block");
    at += g * table.channels;
  }
  table.endOffset = at;

  table.auxOffset = detail::U32LE(bytes, layout::kAuxOffsetAt);
  table.auxLength = detail::U32LE(bytes, layout::kAuxLengthAt);
  if (table.auxLength != 0) {
    RequireBytes(bytes, table.auxOffset, table.auxLength, "auxiliary record");
    table.selector = ValidateSelectorRecord(bytes.subspan(table.auxOffset, table.auxLength),
                                            table.auxOffset);
  }
  return table;
}

}  // namespace inkdot::formats
