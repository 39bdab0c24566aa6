/* SPDX-License-Identifier: Apache-2.0 */
// A typed view of the tables that the set-up built in the object's memory
// blocks: the kernels read them through these, never through the blocks'
// untyped pointers.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"

namespace inkdot {

// Block 0, colour input: one 32-bit entry per grid point.
inline const uint32_t *ColourTable(const HalftoneContext *ht) {
  return static_cast<const uint32_t *>(ht->blocks[kColourTableBlock].pointer);
}
// Block 0, grey input: the grey level curve, and the same entries read as
// signed by the kernels that subtract from them.
inline const uint16_t *GreyCurve(const HalftoneContext *ht) {
  return static_cast<const uint16_t *>(ht->blocks[kColourTableBlock].pointer);
}
inline const int16_t *SignedGreyCurve(const HalftoneContext *ht) {
  return static_cast<const int16_t *>(ht->blocks[kColourTableBlock].pointer);
}
inline const uint16_t *ThresholdMatrix(const HalftoneContext *ht) {
  return static_cast<const uint16_t *>(ht->blocks[kThresholdMatrixBlock].pointer);
}
// The matrix row of `row`, located once per run.
inline const uint16_t *MatrixRow(const HalftoneContext *ht, uint32_t row) {
  const uintptr_t first = static_cast<uintptr_t>(row % ht->matrixHeight) * ht->matrixWidth;
  return ThresholdMatrix(ht) + first;
}
// The top of the threshold range: matrixSize - 1, kept to 16 bits.
inline int32_t ThresholdTop(const HalftoneContext *ht) {
  return static_cast<int32_t>((ht->matrixSize - 1) & 0xFFFF);
}
// The level scale as u16 entries, and as the bytes that the table
// shuffles of the widest vector path split into low and high halves.
inline const uint16_t *LevelScale(const HalftoneContext *ht) {
  return static_cast<const uint16_t *>(ht->blocks[kLevelScaleBlock].pointer);
}
inline const uint8_t *LevelScaleBytes(const HalftoneContext *ht) {
  return static_cast<const uint8_t *>(ht->blocks[kLevelScaleBlock].pointer);
}
inline const uint16_t *ToneCurve(const HalftoneContext *ht) {
  return static_cast<const uint16_t *>(ht->blocks[kToneCurveBlock].pointer);
}
inline const int16_t *DotCurve(const HalftoneContext *ht) {
  return static_cast<const int16_t *>(ht->blocks[kDotCurveBlock].pointer);
}
// 256 pairs of bytes: the grid point at or below a value, and its weight.
inline const uint8_t *GridIndex(const HalftoneContext *ht) {
  return static_cast<const uint8_t *>(ht->blocks[kGridIndexBlock].pointer);
}
// 256 triplets of bytes: small, medium and large amounts.
inline const uint8_t *DotPalette(const HalftoneContext *ht) {
  return static_cast<const uint8_t *>(ht->blocks[kDotPaletteBlock].pointer);
}
// The state the band calls write: error line `line` (0..3) from its first
// cell, and the row buffer of row preparation.
inline int32_t *ErrorLine(HalftoneContext *ht, int line) {
  return static_cast<int32_t *>(ht->blocks[kErrorLineBlock + line].pointer);
}
inline uint8_t *RowBuffer(HalftoneContext *ht) {
  return static_cast<uint8_t *>(ht->blocks[kRowBufferBlock].pointer);
}

}  // namespace inkdot
