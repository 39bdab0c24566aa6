// The colour-table resource: decoding into the CmLut, the ink-load curve
// and the grey-to-black table.
#pragma once

#include <cstdint>

#include "frame/result_codes.h"

struct CmContext;

namespace inkdot {

// Decodes the colour-table resource into the object's CmLut (257, 258).
ResultCode DecodeColourTable(CmContext *cm, const uint8_t *resource);

// The ink-load curve for a byte x.
uint8_t InkLoadLevel(int32_t inkLoadLight, int32_t inkLoadDark, uint8_t x);

// Passes every byte of the three-input table through the ink-load curve.
void ApplyInkLoad(CmLut *lut);

// Fills grayToBlack from the current table.
void BuildGrayToBlack(CmLut *lut);

}  // namespace inkdot
