/* SPDX-License-Identifier: Apache-2.0 */
// Vectors of eight equal constant lanes that the AVX2 kernels' busiest
// loops read from memory. Where GCC cannot keep such a constant in a
// vector register across a loop, it builds it again at every use from a
// general register (a move, a move to the vector unit and a broadcast:
// three instructions), which in the hybrid kernel's front came to a dozen
// constants for every group of eight pixels. Defined in a file of their
// own, the values are unknown where they are read, so each use is a memory
// operand of the instruction that needs it instead.
#pragma once

#include <cstdint>

namespace inkdot {

enum LaneConstant : int {
  kLanesOne,         // 1
  kLanesTwo,         // 2
  kLanesByte,        // 0xFF
  kLanesEvenByte,    // 0xFE
  kLanesRgb,         // 0xFFFFFF: a pixel's colour bytes
  kLanesLowHalf,     // 0xFFFF
  kLanesChoice,      // 0x3FFF: a packed weight-row choice
  kLanesEachByte,    // 0x01010101
  kLanesByteFields,  // 0x00FF00FF: the low byte of each 16-bit field
  kLanesNeighbour1,  // 0x10401 and 0x20802: the neighbour test's biases
  kLanesNeighbour2,
  kLanesNeighbourMask,  // 0xFFFCF3FC: the bits the biased differences may not set
  kLanesDotValue,       // 255
  kLanesNever,          // kNever and kAlways of the hybrid diffusion
  kLanesAlways,
  kLaneConstantCount
};

// The value of each constant, for the table and for checks where a
// constant must match a kernel's own.
inline constexpr int32_t kLaneValues[kLaneConstantCount] = {
    1, 2, 0xFF, 0xFE, 0xFFFFFF, 0xFFFF, 0x3FFF, 0x01010101, 0x00FF00FF, 0x10401, 0x20802,
    static_cast<int32_t>(0xFFFCF3FCu), 255, 1 << 30, -(1 << 30)};

struct alignas(32) LaneConstants {
  int32_t lanes[kLaneConstantCount][8];
};

// Hidden where the format has visibility (ELF), so that position-independent
// code reads the table at a fixed distance instead of through the GOT.
#if defined(__ELF__)
__attribute__((visibility("hidden")))
#endif
extern const LaneConstants kLaneConstants;


}  // namespace inkdot
