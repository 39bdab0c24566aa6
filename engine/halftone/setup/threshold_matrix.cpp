// SPDX-License-Identifier: Apache-2.0
// The threshold matrix and the tables that screen against it; for dot
// mode 2 also the choice of the dot palette through the selector record.
#include "halftone/setup/colour_table_steps.h"
#include "halftone/setup/resource_phases.h"
#include "halftone/setup/screening_tables.h"
#include "inkdot/formats/colour_table_layout.h"
#include "inkdot/formats/halftone_layout.h"

namespace inkdot {

namespace {

namespace selector = formats::selector_layout;

inline uint32_t ReadU32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline uint16_t ReadU16(const uint8_t *p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Takes the palette id (and the alternative-path flag) from the dot-mode
// selector record. Records too short for their type, of another type or
// without the signature are refused with 768.
ResultCode ReadSelectorRecord(HalftoneContext *ht, int32_t *nextId) {
  ReportNextId(ht, nextId, -1);
  ht->altSelector = 0;
  const uint8_t *record = ht->cmLut.selectorRecord;
  if (record == nullptr) return kBadResource;
  const int32_t length = static_cast<int32_t>(ReadU32(record + selector::kLengthAt));
  if (length < selector::kMinLength) return kBadResource;
  const int16_t type = static_cast<int16_t>(ReadU16(record + selector::kTypeAt));
  if (type == selector::kSinglePaletteType) {
    ReportNextId(ht, nextId, ReadU16(record + selector::kSinglePaletteIdAt));
    return kOk;
  }
  if (type != selector::kInputPaletteType) return kBadResource;
  // The length is checked before the signature so that nothing past a
  // short record is read.
  if (length < selector::kInputPaletteLength) return kBadResource;
  const uint8_t *signature = record + selector::kSignatureAt;
  for (int n = 0; n < 4; ++n) {
    if (signature[n] != selector::kSignature[n]) return kBadResource;
  }
  // Each choice is a palette id followed by its alternative-selector value.
  const uint8_t *choice =
      record + (ht->params.colorMode != 0 ? selector::kColourPaletteIdAt : selector::kGreyPaletteIdAt);
  ReportNextId(ht, nextId, static_cast<int16_t>(ReadU16(choice)));
  ht->altSelector = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(ReadU16(choice + 2))));
  return kOk;
}


inline bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

}  // namespace

ResultCode ReadThresholdMatrix(HalftoneContext *ht, const uint8_t *matrix,
                               int32_t *nextId) {
  const HalftoneParams &page = ht->params;
  if (page.dotMode == 2) {
    const ResultCode result = ReadSelectorRecord(ht, nextId);
    if (result != kOk) return result;
  } else {
    ReportNextId(ht, nextId, -1);
  }

  // Kernels mask the column with width - 1 and take the row modulo height.
  const uint32_t width = formats::matrix_layout::DecodeSide(matrix[formats::matrix_layout::kWidthAt]);
  const uint32_t height = formats::matrix_layout::DecodeSide(matrix[formats::matrix_layout::kHeightAt]);
  if (!IsPowerOfTwo(width) || height == 0) return kBadResource;
  ht->matrixWidth = width;
  ht->matrixHeight = height;
  ht->matrixSize = width * height;

  // The level scale lives in the tail of the matrix's allocation; with grey
  // screening it has a scratch half for the grey remap.
  const bool greyScreen = IsScreenMethod(page.method) && page.colorMode == 0;
  const uint32_t tail = greyScreen ? 1024 : 512;
  const uint32_t thresholdBytes = Round4(ht->matrixSize * 2);
  MemoryBlock *matrixBlock = &ht->blocks[kThresholdMatrixBlock];
  ResultCode result = MemoryBlockAlloc(matrixBlock, thresholdBytes + tail, 0);
  if (result != kOk) return ReleaseBlocks(ht, result);
  uint8_t *matrixMemory = static_cast<uint8_t *>(matrixBlock->pointer);
  MemoryBlockSet(&ht->blocks[kLevelScaleBlock], matrixMemory + thresholdBytes, 0, tail);
  uint16_t *thresholds = static_cast<uint16_t *>(matrixBlock->pointer);
  for (uint32_t i = 0; i < ht->matrixSize; ++i) thresholds[i] = ReadU16(matrix + formats::matrix_layout::kThresholdsAt + 2 * i);

  // Tone curve, dot curve and grid steps share one zero-filled allocation;
  // colour mode 3 widens the tone curve's area, and dot mode 2 leaves room
  // after the dot curve for the palette remap's scratch half.
  const uint32_t toneBytes = page.colorMode == 3 ? 1024 : 512;
  const uint32_t dotBytes = page.dotMode == 2 ? 1024 : 512;
  MemoryBlock *toneBlock = &ht->blocks[kToneCurveBlock];
  result = MemoryBlockAlloc(toneBlock, toneBytes + dotBytes + 512, 1);
  if (result != kOk) return ReleaseBlocks(ht, result);
  uint8_t *shared = static_cast<uint8_t *>(toneBlock->pointer);
  MemoryBlockSet(&ht->blocks[kDotCurveBlock], shared + toneBytes, 0, toneBytes);
  MemoryBlockSet(&ht->blocks[kGridIndexBlock], shared + toneBytes + dotBytes, 0, 512);

  const int32_t gridPoints = ht->cmLut.gridSize1;
  BuildGridSteps(ht->cmLut.nodes1,
                 gridPoints < 0 ? 0 : (gridPoints > kMaxGridPoints ? kMaxGridPoints : gridPoints),
                 static_cast<uint8_t *>(ht->blocks[kGridIndexBlock].pointer));

  result = ChooseDotParams(page, ht->cmLut.inkLoadLight, ht->dotParams);
  if (result != kOk) return result;

  uint16_t *tone = static_cast<uint16_t *>(toneBlock->pointer);
  BuildToneCurve(page, ht->cmLut.inkLoadLight, ht->cmLut.inkLoadDark, tone);
  // Loads that give a tone entry of 0 leave no level scale to compute.
  for (int i = 0; i < 256; ++i) {
    if (tone[i] == 0) return kBadResource;
  }
  const uint16_t *greyCurve = static_cast<const uint16_t *>(ht->blocks[kColourTableBlock].pointer);
  // The grey remap needs the curve of the grid step; a step that failed
  // left none.
  if (LevelScaleUsesGreyCurve(page) && greyCurve == nullptr) return kBadResource;
  BuildLevelScale(page, ht->matrixSize, tone, greyCurve,
                  static_cast<uint16_t *>(ht->blocks[kLevelScaleBlock].pointer));
  BuildDotCurve(page, tone, static_cast<int16_t *>(ht->blocks[kDotCurveBlock].pointer));
  return kOk;
}

}  // namespace inkdot
