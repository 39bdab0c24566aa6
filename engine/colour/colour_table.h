/* SPDX-License-Identifier: Apache-2.0 */
// The colour-table resource: decoding into the CmLut, the ink-load curve
// and the grey-to-black table.
#pragma once

#include <cstdint>

#include "frame/result_codes.h"

struct CmContext;

namespace inkdot {

// Decodes the colour-table resource into the object's CmLut (257, 258).
// A grid that is not a cube of 1..36 nodes per axis with node lists from 0
// to 255 rising strictly, a channel count of 0, or a black-only diagonal
// that needs an unusable ink-load pair, is refused with 768 before anything
// is written or taken.
ResultCode DecodeColourTable(CmContext *cm, const uint8_t *resource);

// Whether the ink-load curve of this pair is defined for every byte: its
// divisor stays above 0 from x = 0 to 255.
bool InkLoadUsable(int32_t inkLoadLight, int32_t inkLoadDark);

// The same for the pair that a colour-table resource carries.
bool ResourceInkLoadUsable(const uint8_t *resource);

// The ink-load curve for a byte x; x itself where the pair's divisor is not
// above 0 (callers refuse such pairs first).
uint8_t InkLoadLevel(int32_t inkLoadLight, int32_t inkLoadDark, uint8_t x);

// Passes every byte of the three-input table through the ink-load curve.
void ApplyInkLoad(CmLut *lut);

// Fills grayToBlack from the current table.
void BuildGrayToBlack(CmLut *lut);

}  // namespace inkdot
