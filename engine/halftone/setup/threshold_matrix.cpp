// SPDX-License-Identifier: Apache-2.0
// The threshold matrix and the tables that screen against it; for dot
// mode 2 also the choice of the dot palette through the selector record.
#include "halftone/setup/colour_table_steps.h"
#include "halftone/setup/resource_phases.h"
#include "halftone/setup/screening_tables.h"

namespace inkdot {

namespace {

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
  const int32_t length = static_cast<int32_t>(ReadU32(record));
  if (length < 4) return kBadResource;
  const int16_t type = static_cast<int16_t>(ReadU16(record + 4));
  if (type == 1) {
    ReportNextId(ht, nextId, ReadU16(record + 6));
    return kOk;
  }
  if (type != 3) return kBadResource;
  // The length is checked before the signature so that nothing past a
  // short record is read.
  if (length < 22) return kBadResource;
  if (record[8] != 0xFB || record[9] != 0x69 || record[10] != 0xF7 || record[11] != 0xDD) {
    return kBadResource;
  }
  const uint8_t *choice = record + (ht->params.colorMode != 0 ? 16 : 20);
  ReportNextId(ht, nextId, static_cast<int16_t>(ReadU16(choice)));
  ht->altSelector = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(ReadU16(choice + 2))));
  return kOk;
}

// Matrix sides are stored in a byte: 255 stands for 256 and 239 for 512.
inline uint32_t MatrixSide(uint8_t coded) {
  if (coded == 255) return 256;
  if (coded == 239) return 512;
  return coded;
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
  const uint32_t width = MatrixSide(matrix[0]);
  const uint32_t height = MatrixSide(matrix[1]);
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
  for (uint32_t i = 0; i < ht->matrixSize; ++i) thresholds[i] = ReadU16(matrix + 4 + 2 * i);

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
  const uint16_t *greyCurve = static_cast<const uint16_t *>(ht->blocks[kColorTableBlock].pointer);
  // The grey remap needs the curve of the grid step; a step that failed
  // left none.
  if (LevelScaleUsesGreyCurve(page) && greyCurve == nullptr) return kBadResource;
  BuildLevelScale(page, ht->matrixSize, tone, greyCurve,
                  static_cast<uint16_t *>(ht->blocks[kLevelScaleBlock].pointer));
  BuildDotCurve(page, tone, static_cast<int16_t *>(ht->blocks[kDotCurveBlock].pointer));
  return kOk;
}

}  // namespace inkdot
