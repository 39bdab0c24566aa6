/* SPDX-License-Identifier: Apache-2.0 */
// The AVX-512 kernels' target, and a 256-entry byte table held in four
// registers and read 64 entries at a time by byte permutes (VBMI): the
// lookups that take eight plain loads a vector on the AVX2 paths. Include
// only from a file whose functions using it are compiled for that target.
#pragma once

#include <immintrin.h>

#define INKDOT_AVX512_TARGET "avx2,avx512f,avx512bw,avx512vl,avx512vbmi"
#define INKDOT_AVX512 __attribute__((target(INKDOT_AVX512_TARGET), always_inline))
#define INKDOT_AVX512_CALL __attribute__((target(INKDOT_AVX512_TARGET)))

namespace inkdot {

struct ByteTable {
  __m512i part[4];

  // Byte i of each lane-byte of `at`.
  INKDOT_AVX512 __m512i operator()(__m512i at) const {
    const __m512i low = _mm512_permutex2var_epi8(part[0], at, part[1]);
    const __m512i high = _mm512_permutex2var_epi8(part[2], at, part[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(at), low, high);
  }
};

}  // namespace inkdot
