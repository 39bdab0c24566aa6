/* SPDX-License-Identifier: Apache-2.0 */
// The colour-table resource: a three-input, four-channel grid of ink levels
// over the RGB cube, with a black-only value for each step of the grey
// diagonal and an optional dot-mode selector record.
#pragma once

#include <cstdint>
#include <vector>

#include "byte_writer.h"

namespace inkdot::profile {

struct ColourTable {
  std::vector<uint8_t> nodes;         // node positions, the same on each axis
  std::vector<uint8_t> levels;        // nodes^3 x 4, red outermost, blue innermost
  std::vector<uint8_t> neutralBlack;  // black-only level per diagonal step
  uint8_t kind = 1;                   // 1: the grey axis may be rewritten to black only
  Bytes selector;                     // dot-mode selector record, or empty
};

// Node positions 0..255 spread evenly over `count` nodes (2..36).
std::vector<uint8_t> NodePositions(int count);

// The resource bytes (plain three-input format; ink-load divisors of
// ink_levels.h; neutral colour corrections).
Bytes EncodeColourTable(const ColourTable &table);

}  // namespace inkdot::profile
