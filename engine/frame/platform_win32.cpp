// SPDX-License-Identifier: Apache-2.0
// Native platform layer for Windows: the global-memory functions, and a
// message box as the channel for the allocation-failure message.
//
// An allocation is locked as soon as it is made and the locked address is
// the handle the engine holds, so PlatformLock is the identity and
// PlatformUnlock a success; PlatformFree finds the memory object again
// through GlobalHandle, ends the lock and frees it.
#include <windows.h>

#include "frame/platform.h"

namespace inkdot {

uintptr_t PlatformAlloc(uint32_t size, uint32_t zeroFill) {
  const UINT flags = zeroFill != 0 ? GMEM_MOVEABLE | GMEM_ZEROINIT : GMEM_MOVEABLE;
  // A zero-byte moveable block is created discarded and cannot be locked;
  // a one-byte block keeps a zero-byte request distinct from failure, as in
  // the POSIX layer.
  HGLOBAL memory = GlobalAlloc(flags, size == 0 ? 1 : size);
  if (memory == nullptr) return 0;
  void *address = GlobalLock(memory);
  if (address == nullptr) {
    GlobalFree(memory);  // nothing is left behind on failure
    return 0;
  }
  return reinterpret_cast<uintptr_t>(address);
}

void *PlatformLock(uintptr_t handle) { return reinterpret_cast<void *>(handle); }

uint32_t PlatformUnlock(uintptr_t) { return 0; }

uint32_t PlatformFree(uintptr_t handle) {
  const void *address = reinterpret_cast<const void *>(handle);
  GlobalUnlock(GlobalHandle(address));
  // GlobalFree answers null on success and the memory object on failure.
  return GlobalFree(GlobalHandle(address)) == nullptr ? 0 : 1;
}

void PlatformShowMessage(const char *text, const char *title) {
  // No owner window, style 0: a modal box with a single OK button.
  MessageBoxA(nullptr, text, title, 0);
}

}  // namespace inkdot
