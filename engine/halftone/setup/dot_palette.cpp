// SPDX-License-Identifier: Apache-2.0
// The dot palette of the multi-size-dot engine: how much of each dot size
// prints at each level, and the tables the kernels screen it with.
#include <cstring>

#include "halftone/setup/resource_phases.h"
#include "halftone/setup/screening_tables.h"

namespace inkdot {

ResultCode ReadDotPalette(HalftoneContext *ht, const uint8_t *palette,
                          int32_t *nextId) {
  ReportNextId(ht, nextId, -1);
  // The screening tables of the matrix step are remapped here; without
  // them (that step failed) there is nothing to build on.
  int16_t *dot = static_cast<int16_t *>(ht->blocks[kDotCurveBlock].pointer);
  const uint16_t *scale = static_cast<const uint16_t *>(ht->blocks[kLevelScaleBlock].pointer);
  if (dot == nullptr || scale == nullptr) return kBadResource;

  MemoryBlock *block = &ht->blocks[kDotPaletteBlock];
  const ResultCode result = MemoryBlockAlloc(block, 768, 0);
  if (result != kOk) return ReleaseBlocks(ht, result);
  uint8_t *copy = static_cast<uint8_t *>(block->pointer);
  for (int p = 0; p < 256; ++p) {
    const uint8_t *amounts = palette + 3 * p;
    std::memcpy(copy + 3 * p, amounts, 3);
    if (amounts[0] + amounts[1] + amounts[2] > 255) return kBadPalette;
  }

  RemapDotCurve(ht->params, copy, dot);
  BuildPaletteTables(copy, scale, ht);
  return kOk;
}

}  // namespace inkdot
