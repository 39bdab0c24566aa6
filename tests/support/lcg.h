/* SPDX-License-Identifier: Apache-2.0 */
// A small linear congruential generator for tests that draw random cases:
// the same seed draws the same cases on every platform and compiler.
#pragma once

#include <cstdint>

namespace inkdot {

struct Lcg {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<uint32_t>(state >> 32);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }
};

}  // namespace inkdot
