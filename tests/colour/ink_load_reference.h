/* SPDX-License-Identifier: Apache-2.0 */
// The ink-load curve written straight from its definition in 64-bit
// arithmetic, for tests to check the engine's 32-bit version against.
#pragma once

#include <cstdint>

namespace inkdot {

inline int InkLoadReference(int64_t light, int64_t dark, int64_t x) {
  const int64_t d = (((light - dark) * (255 - x) * (255 - x) + 1) / 255 + dark * 255) / 100;
  return static_cast<int>(((d / 2 + x * 255) / d) & 0xFF);
}

}  // namespace inkdot
