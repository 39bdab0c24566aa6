/* SPDX-License-Identifier: Apache-2.0 */
// Tetrahedral interpolation through the colour table.
#pragma once

#include <cstdint>

#include "frame/result_codes.h"

namespace inkdot {

// Converts `count` pixels of 4 bytes (ignored, red, green, blue) into
// channelCount bytes each through the CmLut's three-input table. Always 0.
ResultCode InterpolateRun(const CmLut *lut, uint32_t count, const uint8_t *input,
                          uint8_t *output);

}  // namespace inkdot
