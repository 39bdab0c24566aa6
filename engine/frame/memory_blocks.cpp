// SPDX-License-Identifier: Apache-2.0
#include "frame/memory_blocks.h"

#include "frame/platform.h"

namespace inkdot {

namespace {

// Writes "size = N" with N in unsigned decimal into `text`, which holds at
// least 200 bytes.
void FormatSizeMessage(char *text, uint32_t size) {
  static constexpr char kPrefix[] = "size = ";
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + size % 10);
    size /= 10;
  } while (size != 0);
  char *out = text;
  for (const char *p = kPrefix; *p != '\0'; ++p) *out++ = *p;
  while (count > 0) *out++ = digits[--count];
  *out = '\0';
}

}  // namespace

uintptr_t MemAlloc(uint32_t size, uint32_t zeroFill) {
  const uintptr_t handle = PlatformAlloc(size, zeroFill);
  if (handle == 0) {
    char text[200];
    FormatSizeMessage(text, size);
    PlatformShowMessage(text, "Alloc");
  }
  return handle;
}

void *MemLock(uintptr_t handle) {
  return handle == 0 ? nullptr : PlatformLock(handle);
}

uint32_t MemUnlock(uintptr_t handle) { return PlatformUnlock(handle); }

uint32_t MemFree(uintptr_t handle) { return PlatformFree(handle); }

ResultCode MemRelease(uintptr_t handle) {
  if (MemUnlock(handle) != 0) return kUnlockFailed;
  if (MemFree(handle) != 0) return kFreeFailed;
  return kOk;
}

void MemDiscard(uintptr_t handle) {
  MemUnlock(handle);
  MemFree(handle);
}

ResultCode MemAcquire(uint32_t size, uint32_t zeroFill, uintptr_t *handle,
                      void **pointer) {
  const uintptr_t h = MemAlloc(size, zeroFill);
  if (h == 0) return kAllocFailed;
  void *p = MemLock(h);
  if (p == nullptr) {
    MemFree(h);
    return kLockFailed;
  }
  *handle = h;
  *pointer = p;
  return kOk;
}

ResultCode MemoryBlockAlloc(MemoryBlock *block, uint32_t size, uint32_t zeroFill) {
  block->handle = MemAlloc(size, zeroFill);
  if (block->handle == 0) return kAllocFailed;
  block->pointer = MemLock(block->handle);
  if (block->pointer == nullptr) {
    MemFree(block->handle);
    block->handle = 0;
    return kLockFailed;
  }
  block->size = size;
  return kOk;
}

ResultCode MemoryBlockSet(MemoryBlock *block, void *pointer, uintptr_t handle,
                          uint32_t size) {
  block->pointer = pointer;
  block->handle = handle;
  block->size = size;
  return kOk;
}

ResultCode MemoryBlocksUnlock(MemoryBlock blocks[kMemoryBlockCount]) {
  for (int i = 0; i < kMemoryBlockCount; ++i) {
    MemoryBlock &block = blocks[i];
    if (block.handle == 0 || block.pointer == nullptr) continue;
    if (MemUnlock(block.handle) != 0) return kUnlockFailed;
    block.pointer = nullptr;
  }
  return kOk;
}

ResultCode MemoryBlocksFree(MemoryBlock blocks[kMemoryBlockCount]) {
  if (MemoryBlocksUnlock(blocks) != kOk) return kUnlockFailed;
  ResultCode result = kOk;
  for (int i = 0; i < kMemoryBlockCount; ++i) {
    MemoryBlock &block = blocks[i];
    if (block.handle == 0) continue;
    if (MemFree(block.handle) != 0) result = kFreeFailed;
    block.handle = 0;
  }
  return result;
}

}  // namespace inkdot
