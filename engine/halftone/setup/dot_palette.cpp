// SPDX-License-Identifier: Apache-2.0
// The dot palette of the multi-size-dot engine: how much of each dot size
// prints at each level, and the tables the kernels screen it with.
#include <cstring>

#include "halftone/setup/resource_phases.h"
#include "halftone/setup/screening_tables.h"
#include "inkdot/formats/halftone_layout.h"

namespace inkdot {

namespace layout = formats::palette_layout;

ResultCode ReadDotPalette(HalftoneContext *ht, const uint8_t *palette,
                          int32_t *nextId) {
  ReportNextId(ht, nextId, -1);
  // The screening tables of the matrix step are remapped here; without
  // them (that step failed) there is nothing to build on.
  int16_t *dot = static_cast<int16_t *>(ht->blocks[kDotCurveBlock].pointer);
  const uint16_t *scale = static_cast<const uint16_t *>(ht->blocks[kLevelScaleBlock].pointer);
  if (dot == nullptr || scale == nullptr) return kBadResource;

  MemoryBlock *block = &ht->blocks[kDotPaletteBlock];
  const ResultCode result = MemoryBlockAlloc(block, layout::kBytes, 0);
  if (result != kOk) return ReleaseBlocks(ht, result);
  uint8_t *copy = static_cast<uint8_t *>(block->pointer);
  for (uint32_t p = 0; p < layout::kLevels; ++p) {
    const uint8_t *amounts = palette + layout::kBytesPerLevel * p;
    std::memcpy(copy + layout::kBytesPerLevel * p, amounts, layout::kBytesPerLevel);
    if (static_cast<uint32_t>(amounts[0] + amounts[1] + amounts[2]) > layout::kMaxLevelSum) {
      return kBadPalette;
    }
  }

  RemapDotCurve(ht->params, copy, dot);
  BuildPaletteTables(copy, scale, ht);
  return kOk;
}

}  // namespace inkdot
