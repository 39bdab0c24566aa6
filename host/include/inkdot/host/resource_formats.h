/* SPDX-License-Identifier: Apache-2.0 */
// Validation and decoding of every resource a profile hands the engine.
//
// The engine trusts its host and reads exactly what each format says, with
// no length argument. These functions check a resource file against its
// format before the engine ever sees it, so that no engine read can go past
// the buffer. Each refuses with a ValidationError naming the file, the
// resource id, the field and the byte offset; on success each returns what
// the resource holds, decoded (inspect prints it).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace inkdot::host {

// Which file and resource id a validation is about.
struct ResourceRef {
  std::string file;
  int32_t id = 0;
};

// ---- Selection table (text) ---------------------------------------------

inline constexpr int kMaxSelectionEntries = 200;
inline constexpr int kMaxNameLength = 11;
inline constexpr int kMaxFieldLength = 255;
inline constexpr int kMaxMethodNames = 12;
inline constexpr int kMaxKeyNames = 32;
inline constexpr int kMaxModeNames = 12;

struct SelectionEntry {
  int32_t tableId = 0;
  int32_t halftoneId = 0;
  std::string method;
  std::string key;
  int32_t xResolution = 0;
  int32_t yResolution = 0;
  std::string mode;
  int32_t keyNumber = 0;
  int32_t dotMode = 0;
  uint64_t offset = 0;  // byte offset of the line
};

struct SelectionTable {
  int32_t version = 200;
  std::vector<SelectionEntry> entries;
  std::vector<std::string> methods;
  int32_t keyBase = 0;
  std::vector<std::string> keys;
  std::vector<std::string> modes;
};

SelectionTable ValidateSelectionTable(std::span<const uint8_t> bytes, const ResourceRef &ref);

// Position of `name` in `list` as the engine resolves it: the last equal
// entry counts, a missing name resolves to 0.
int32_t ResolveName(const std::vector<std::string> &list, const std::string &name);

// ---- Dot-mode selector record (inside a colour table) -------------------

struct SelectorRecord {
  uint32_t length = 0;  // bytes after the length field
  int16_t type = 0;     // 1 or 3
  int32_t colourPaletteId = 0;
  int32_t colourAltSelector = 0;
  int32_t greyPaletteId = 0;
  int32_t greyAltSelector = 0;
};

inline constexpr uint8_t kSelectorSignature[4] = {0xFB, 0x69, 0xF7, 0xDD};

// `base` is the record's offset inside the file, for messages.
SelectorRecord ValidateSelectorRecord(std::span<const uint8_t> bytes, uint64_t base,
                                      const ResourceRef &ref);

// ---- Colour table --------------------------------------------------------

inline constexpr int kMaxGridSize = 36;
inline constexpr int kMaxChannels = 20;

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

ColourTable ValidateColourTable(std::span<const uint8_t> bytes, const ResourceRef &ref);

// ---- Calibration resources ----------------------------------------------

struct ChannelMapRecord {
  uint8_t headId = 0;
  std::vector<uint8_t> planes;
  uint64_t offset = 0;
};

// `channels` is the colour tables' channel count.
std::vector<ChannelMapRecord> ValidateChannelMap(std::span<const uint8_t> bytes,
                                                 uint32_t channels, const ResourceRef &ref);

struct ReferenceValues {
  int32_t mode = 1;  // 2, or 1 for every other value
  int32_t storedMode = 1;
  std::vector<uint8_t> values;
};

inline constexpr uint8_t kMinCalibrationValue = 30;
inline constexpr uint8_t kMaxCalibrationValue = 70;

ReferenceValues ValidateReferenceValues(std::span<const uint8_t> bytes, uint32_t channels,
                                        const ResourceRef &ref);

// Curves needed: 21 for reference mode 1, 37 for mode 2.
inline constexpr uint32_t CurvesForMode(int32_t mode) { return mode == 2 ? 37 : 21; }

// Returns the number of 256-byte curves the file holds.
uint32_t ValidateCalibrationCurves(std::span<const uint8_t> bytes, uint32_t curvesNeeded,
                                   const ResourceRef &ref);

// ---- Halftone resources --------------------------------------------------

inline constexpr int kMaxHalftoneIds = 15;

std::vector<uint16_t> ValidateIdList(std::span<const uint8_t> bytes, const ResourceRef &ref);

inline constexpr int kGridPoints = 32;

std::vector<uint8_t> ValidateGrid(std::span<const uint8_t> bytes, const ResourceRef &ref);

struct ThresholdMatrix {
  uint32_t width = 0;
  uint32_t height = 0;
  bool isPermutation = false;  // every rank 0..size-1 exactly once
  uint16_t minThreshold = 0;
  uint16_t maxThreshold = 0;
};

// Width and height as the header byte codes them (255 → 256, 239 → 512).
uint32_t DecodeMatrixSide(uint8_t code);

ThresholdMatrix ValidateMatrix(std::span<const uint8_t> bytes, const ResourceRef &ref);

struct PaletteEntry {
  uint8_t small = 0, medium = 0, large = 0;
};

std::vector<PaletteEntry> ValidatePalette(std::span<const uint8_t> bytes, const ResourceRef &ref);

}  // namespace inkdot::host
