// SPDX-License-Identifier: Apache-2.0
// The grid resource: resamples the colour-matching table onto the halftone
// grid (colour input), or lays out the grey level curve (grey input).
#include <cstring>

#include "halftone/setup/colour_table_steps.h"
#include "halftone/setup/resource_phases.h"
#include "halftone/setup/screening_tables.h"
#include "inkdot/formats/halftone_layout.h"

namespace inkdot {

namespace {

namespace layout = formats::grid_layout;
inline constexpr int kHalftoneGridPoints = static_cast<int>(layout::kPoints);

// A source table that the resampling can walk: present, with at least one
// channel, on a valid grid.
bool SourceTableUsable(const CmLut &lut) {
  return lut.tableHandle != 0 && lut.tableData != nullptr && lut.channelCount >= 1 &&
         GridPositionsValid(lut.nodes1, lut.gridSize1);
}

void SetTargetGrid(CmLut *lut, const uint8_t *positions, int count) {
  lut->gridSize1 = lut->gridSize2 = lut->gridSize3 = count;
  std::memcpy(lut->nodes1, positions, count);
  std::memcpy(lut->nodes2, positions, count);
  std::memcpy(lut->nodes3, positions, count);
}

ResultCode BuildColourTable(HalftoneContext *ht, const uint8_t *grid) {
  const CmLut source = ht->cmLut;  // the grid description before the rewrite
  if (!SourceTableUsable(source)) return ReleaseBlocks(ht, kBadParams);

  uint32_t points = 0;
  if (ht->params.method != 0) {
    const uint8_t *countBytes = grid + layout::kCountAt;
    const uint32_t count = static_cast<uint32_t>(countBytes[0] | countBytes[1] << 8);
    const uint8_t *positions = grid + layout::kPositionsAt;
    if (count != kHalftoneGridPoints || !GridPositionsValid(positions, kHalftoneGridPoints)) {
      return ReleaseBlocks(ht, kBadTable);
    }
    SetTargetGrid(&ht->cmLut, positions, kHalftoneGridPoints);
    points = kHalftoneGridPoints * kHalftoneGridPoints * kHalftoneGridPoints;
  } else {
    // Method 0 keeps only the corners of the colour cube.
    static constexpr uint8_t kCorners[2] = {0, 255};
    SetTargetGrid(&ht->cmLut, kCorners, 2);
    points = 8;
  }

  // Every entry is a 32-bit word of four channels, whatever the source
  // has; a wider source keeps its own size per point.
  const uint32_t channels = static_cast<uint32_t>(source.channelCount);
  const uint32_t bytes = Round4(points * (channels < 4 ? 4 : channels));
  MemoryBlock *block = &ht->blocks[kColourTableBlock];
  const ResultCode result = MemoryBlockAlloc(block, bytes, 0);
  if (result != kOk) return ReleaseBlocks(ht, result);

  ht->cmLut.tableHandle = 0;
  ht->cmLut.tableData = static_cast<uint8_t *>(block->pointer);
  ResampleColourTable(source, ht->cmLut, static_cast<uint32_t *>(block->pointer));
  return kOk;
}

ResultCode BuildGreyLevelCurve(HalftoneContext *ht) {
  const uint8_t *grey = ht->cmLut.grayToBlack;
  MemoryBlock *block = &ht->blocks[kColourTableBlock];
  if (ht->params.dotMode != 2) {
    const ResultCode result = MemoryBlockAlloc(block, 256 * sizeof(uint16_t), 0);
    if (result != kOk) return ReleaseBlocks(ht, result);
    BuildGreyCurve(grey, static_cast<uint16_t *>(block->pointer));
    return kOk;
  }
  const uint32_t pad = GreyCurvePad(grey);
  const uint32_t bytes = Round4(PaddedGreyCurveEntries(pad) * sizeof(uint16_t));
  const ResultCode result = MemoryBlockAlloc(block, bytes, 0);
  if (result != kOk) return ReleaseBlocks(ht, result);
  BuildPaddedGreyCurve(grey, pad, static_cast<uint16_t *>(block->pointer));
  return kOk;
}

}  // namespace

ResultCode ReadGridResource(HalftoneContext *ht, const uint8_t *grid,
                            int32_t matrixId, int32_t *nextId) {
  ReportNextId(ht, nextId, matrixId);
  if (ht->params.colorMode != 0) return BuildColourTable(ht, grid);
  return BuildGreyLevelCurve(ht);
}

}  // namespace inkdot
