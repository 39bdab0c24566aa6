/* SPDX-License-Identifier: Apache-2.0 */
// Which vector instruction sets the processor (and the operating system)
// can run: the kernels' vector paths are chosen from this once per object.
#pragma once

#include <cstdint>

namespace inkdot {

enum VectorPath : uint32_t {
  kPortablePath = 0,
  kAvx2Path = 1,
  kAvx512Path = 2,  // AVX2 plus AVX-512 F, BW, VL and VBMI
};

// Asks the processor (and, through the saved-state mask, the operating
// system) which of the vector paths can run, the widest first.
uint32_t DetectVectorPath();

}  // namespace inkdot
