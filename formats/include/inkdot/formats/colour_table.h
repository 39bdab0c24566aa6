/* SPDX-License-Identifier: Apache-2.0 */
// The colour-table resource and the dot-mode selector record it may carry:
// their writers, and their validators that check every block's size against
// the file and decode what the engine will read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "inkdot/formats/colour_table_layout.h"

namespace inkdot::formats {

// ---- Writing -------------------------------------------------------------

namespace write {

// A colour-table resource. Format 128 has a fourth input axis; format 50
// carries a grey block after the neutral black values.
struct ColourTable {
  std::string tag;  // free text at the start, up to 15 bytes; zeros after it
  uint8_t format = 0;
  uint8_t kind = 0;
  uint8_t dominantReduction[3] = {0, 0, 0};
  int8_t hueShift[3] = {0, 0, 0};
  int8_t saturationBoost = 0;
  int8_t pairReduction[3] = {0, 0, 0};
  int16_t inkLoadLight = 100;
  int16_t inkLoadDark = 100;
  int16_t inkParams[3] = {0, 0, 0};
  int16_t levelParams[4] = {0, 0, 0, 0};
  uint8_t channelCount = 4;
  std::vector<uint8_t> nodes1, nodes2, nodes3;
  std::vector<uint8_t> nodes4;        // format 128 only
  std::vector<uint8_t> grid;          // channelCount bytes per node, last axis innermost
  std::vector<uint8_t> neutralBlack;  // one per step of the grey diagonal
  std::vector<uint8_t> greyBlock;     // format 50 only: channelCount per step
  std::vector<uint8_t> selector;      // the auxiliary record; empty = none
};

// The resource's bytes. Grid sizes are taken from the node lists.
std::vector<uint8_t> WriteColourTable(const ColourTable &table);

// Node positions 0..255 spread evenly over `count` nodes (count >= 2),
// rounded to nearest.
std::vector<uint8_t> EvenNodes(int count);

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
  std::array<uint8_t, 4> signature = {selector_layout::kSignature[0], selector_layout::kSignature[1],
                                      selector_layout::kSignature[2], selector_layout::kSignature[3]};
  std::optional<int32_t> length{};  // bytes after the length field; 22 by default
  uint32_t padding = 0;             // zero bytes written after the default length
};

// Both records: the length and type, then the type's fields, all numbers
// little-endian and unread bytes zero. A record is as long as its default
// length (plus any padding) says, whatever length is written into it.
std::vector<uint8_t> WriteSelectorRecord(const SinglePaletteSelector &record);
std::vector<uint8_t> WriteSelectorRecord(const InputPaletteSelector &record);

}  // namespace write

// ---- Validating ----------------------------------------------------------

struct SelectorRecord {
  uint32_t length = 0;  // bytes after the length field
  int16_t type = 0;     // 1 or 3
  int32_t colourPaletteId = 0;
  int32_t colourAltSelector = 0;
  int32_t greyPaletteId = 0;
  int32_t greyAltSelector = 0;
};

// `base` is the record's offset inside the file, for messages. Throws
// FormatError.
SelectorRecord ValidateSelectorRecord(std::span<const uint8_t> bytes, uint64_t base);

struct ColourTable {
  uint8_t format = 0;  // 128 four-input, 50 with a grey block, else plain
  uint8_t kind = 0;
  uint32_t gridSize = 0;
  uint32_t gridSize4 = 1;
  uint32_t channels = 0;
  std::vector<uint8_t> nodes1, nodes2, nodes3, nodes4;
  int16_t inkLoadLight = 0;
  int16_t inkLoadDark = 0;
  uint64_t tableOffset = 0;
  uint64_t tableBytes = 0;
  uint64_t blackOffset = 0;
  uint64_t greyBlockOffset = 0;  // 0 when format is not 50
  uint64_t endOffset = 0;        // first byte after the grid data
  uint32_t auxOffset = 0;
  uint32_t auxLength = 0;
  std::optional<SelectorRecord> selector;
};

// Throws FormatError.
ColourTable ValidateColourTable(std::span<const uint8_t> bytes);

}  // namespace inkdot::formats
