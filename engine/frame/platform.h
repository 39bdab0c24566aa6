/* SPDX-License-Identifier: Apache-2.0 */
// The platform layer: the only code that talks to the operating system.
//
// The engine takes all dynamic memory through these five calls and shows
// its single user-visible message through the last one. Each build links
// exactly one implementation: the native one for the shipped library, or
// the test one, which counts allocations and injects failures.
#pragma once

#include <cstdint>

namespace inkdot {

// Allocates `size` bytes at a stable address, zero-filled when `zeroFill`
// is non-zero. Returns the allocation handle, 0 on failure.
uintptr_t PlatformAlloc(uint32_t size, uint32_t zeroFill);

// Returns the address of the allocation `handle`; null on failure.
void *PlatformLock(uintptr_t handle);

// Ends a lock taken by PlatformLock. Returns 0 on success.
uint32_t PlatformUnlock(uintptr_t handle);

// Releases the allocation `handle`. Returns 0 on success.
uint32_t PlatformFree(uintptr_t handle);

// Shows `text` under `title` to the user.
void PlatformShowMessage(const char *text, const char *title);

}  // namespace inkdot
