/* SPDX-License-Identifier: Apache-2.0 */
// The memory layer and the MemoryBlock record.
//
// Every allocation goes allocate, then lock; every release unlock, then
// free. Handles and addresses are kept apart even though on every platform
// we support the handle is the address: code that keeps to the pattern
// stays correct on an allocator whose blocks move.
#pragma once

#include <cstdint>

#include "frame/result_codes.h"

namespace inkdot {

// Allocates `size` bytes (zero-filled when `zeroFill` is non-zero) and
// returns its handle. On failure shows "size = N" under the title "Alloc"
// and returns 0.
uintptr_t MemAlloc(uint32_t size, uint32_t zeroFill);

// Address of the allocation `handle`; null only for handle 0 or a failed
// lock.
void *MemLock(uintptr_t handle);

// Returns 0 on success.
uint32_t MemUnlock(uintptr_t handle);

// Returns 0 on success, non-zero on failure.
uint32_t MemFree(uintptr_t handle);

// One block of memory: its size, the address it is locked at (null while
// unlocked or absent) and its allocation handle (0 when the record holds no
// allocation of its own, such as a block carved out of another).
struct MemoryBlock {
  uint32_t size;
  void *pointer;
  uintptr_t handle;
};

inline constexpr int kMemoryBlockCount = 20;

// Allocates and locks a block into `block`: 257 when the allocation fails,
// 258 when the lock fails (the allocation is then freed and `handle` is 0).
ResultCode MemoryBlockAlloc(MemoryBlock *block, uint32_t size, uint32_t zeroFill);

// Records memory that the caller already holds. Always 0.
ResultCode MemoryBlockSet(MemoryBlock *block, void *pointer, uintptr_t handle,
                          uint32_t size);

// Unlocks every record that holds a locked allocation of its own and clears
// its pointer. The first failed unlock stops the walk with 259.
ResultCode MemoryBlocksUnlock(MemoryBlock blocks[kMemoryBlockCount]);

// Unlocks all records (259 and nothing freed if that fails), then frees
// every allocation and clears every handle, even after a failed free; 260
// when any free failed.
ResultCode MemoryBlocksFree(MemoryBlock blocks[kMemoryBlockCount]);

// The common release of one allocation: unlock (259, and the allocation is
// kept), then free (260).
ResultCode MemRelease(uintptr_t handle);

// Unlocks and frees one allocation without examining either result, for
// releases on paths that already carry their own result.
void MemDiscard(uintptr_t handle);

// Allocates and locks one block the way every creator does: 257 when the
// allocation fails, 258 when the lock fails (the allocation is then freed).
// On success *handle and *pointer hold the block.
ResultCode MemAcquire(uint32_t size, uint32_t zeroFill, uintptr_t *handle,
                      void **pointer);

}  // namespace inkdot
