// SPDX-License-Identifier: Apache-2.0
// Native platform layer for POSIX systems: the C allocator, and standard
// error as the channel for the allocation-failure message.
#include <cstdio>
#include <cstdlib>

#include "frame/platform.h"

namespace inkdot {

uintptr_t PlatformAlloc(uint32_t size, uint32_t zeroFill) {
  // A zero-byte request still gets a distinct, non-null block, so that its
  // handle can be told apart from failure.
  const size_t bytes = size == 0 ? 1 : size;
  void *block = zeroFill != 0 ? std::calloc(bytes, 1) : std::malloc(bytes);
  return reinterpret_cast<uintptr_t>(block);
}

// Blocks never move, so a lock is the identity and an unlock a no-op.
void *PlatformLock(uintptr_t handle) { return reinterpret_cast<void *>(handle); }

uint32_t PlatformUnlock(uintptr_t) { return 0; }

uint32_t PlatformFree(uintptr_t handle) {
  std::free(reinterpret_cast<void *>(handle));
  return 0;
}

void PlatformShowMessage(const char *text, const char *title) {
  std::fprintf(stderr, "%s: %s\n", title, text);
}

}  // namespace inkdot
