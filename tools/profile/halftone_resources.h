/* SPDX-License-Identifier: Apache-2.0 */
// The small halftone resources: the resource-id list, the grid resource and
// the dot-mode selector record carried inside colour tables.
#pragma once

#include <cstdint>
#include <vector>

#include "byte_writer.h"

namespace inkdot::profile {

// Resource-id list: big-endian u16 ids ended by 0xFFFF (at most 15 ids).
// Entry 0 names the grid; entries 1..5 the threshold matrices for the
// resolution classes x = y, x = 2y, 1440 x 720, 2x = y and x >= 4y.
Bytes EncodeIdList(const std::vector<uint16_t> &ids);

// Grid positions: `count` values spread evenly from 0 to 255.
std::vector<uint8_t> GridPositions(int count);

// Grid resource: little-endian count, then the positions.
Bytes EncodeGrid(const std::vector<uint8_t> &positions);

// Selector record of type 3: palette id and alternate-kernel flag for
// colour input, then for grey input. The alternate flag selects the
// 2880 x 720 diffusion kernels.
struct SelectorChoice {
  int16_t paletteId = 0;
  int16_t alternate = 0;
};
Bytes EncodeSelectorRecord(SelectorChoice colour, SelectorChoice grey);

}  // namespace inkdot::profile
