// SPDX-License-Identifier: Apache-2.0
#include "frame/cpu_features.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace inkdot {

uint32_t DetectVectorPath() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return kPortablePath;
  const unsigned osxsave = 1u << 27, avx = 1u << 28;
  if ((ecx & (osxsave | avx)) != (osxsave | avx)) return kPortablePath;
  // The operating system must save the XMM and YMM registers (XCR0 bits 1
  // and 2) for the 256-bit registers to survive a task switch.
  unsigned xcr0 = 0, xcr0High = 0;
  __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
  if ((xcr0 & 6u) != 6u) return kPortablePath;
  if (__get_cpuid_max(0, nullptr) < 7) return kPortablePath;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  const unsigned avx2 = 1u << 5;
  if ((ebx & avx2) == 0) return kPortablePath;
  // AVX-512 needs the opmask and all 512-bit register state saved as well
  // (XCR0 bits 5 to 7).
  const unsigned f = 1u << 16, bw = 1u << 30, vl = 1u << 31, vbmi = 1u << 1;
  const bool avx512 = (ebx & (f | bw | vl)) == (f | bw | vl) && (ecx & vbmi) != 0 &&
                      (xcr0 & 0xE0u) == 0xE0u;
  return avx512 ? kAvx512Path : kAvx2Path;
#else
  return kPortablePath;
#endif
}

}  // namespace inkdot
