// SPDX-License-Identifier: Apache-2.0
// The shims against the Windows contracts that the DLL relies on, called
// as the DLL calls them: through the import table entry, as __stdcall.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "boundary.h"
#include "shims.h"

namespace {

#define WINAPI __attribute__((stdcall))
using GlobalAllocFn = void *(WINAPI *)(uint32_t, uint32_t);
using HandleFn = void *(WINAPI *)(const void *);
using LockFn = void *(WINAPI *)(void *);
using UnlockFn = int32_t(WINAPI *)(void *);
using FreeFn = void *(WINAPI *)(void *);
using LastErrorFn = uint32_t(WINAPI *)();
using MessageBoxFn = int32_t(WINAPI *)(void *, const char *, const char *, uint32_t);

template <typename Function>
Function Import(const char *dll, const char *name) {
  const Shim *shim = ShimFind(dll, name);
  EXPECT_NE(shim, nullptr) << name;
  // Through a checked stub, so that a wrong cleanup ends the test.
  return reinterpret_cast<Function>(
      BoundaryImportStub(name, shim != nullptr ? shim->address : nullptr,
                         shim != nullptr ? shim->cleanupBytes : 0));
}

struct Kernel32 {
  GlobalAllocFn alloc = Import<GlobalAllocFn>("KERNEL32.dll", "GlobalAlloc");
  HandleFn handle = Import<HandleFn>("KERNEL32.dll", "GlobalHandle");
  LockFn lock = Import<LockFn>("KERNEL32.dll", "GlobalLock");
  UnlockFn unlock = Import<UnlockFn>("KERNEL32.dll", "GlobalUnlock");
  FreeFn free = Import<FreeFn>("KERNEL32.dll", "GlobalFree");
  LastErrorFn lastError = Import<LastErrorFn>("KERNEL32.dll", "GetLastError");
};

const Kernel32 &K() {
  static const Kernel32 k;
  return k;
}

constexpr uint32_t kMoveable = 0x2, kZeroInit = 0x40, kErrorNotLocked = 158;

TEST(ShimGlobalMemory, MoveableObjectsHaveHandlesApartFromTheirAddresses) {
  const uint32_t live = ShimLiveHandles();
  void *h = K().alloc(kMoveable | kZeroInit, 100);
  ASSERT_NE(h, nullptr);
  auto *p = static_cast<uint8_t *>(K().lock(h));
  ASSERT_NE(p, nullptr);
  EXPECT_NE(static_cast<void *>(p), h);
  EXPECT_EQ(K().handle(p), h);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0) << "GMEM_ZEROINIT byte " << i;
  EXPECT_EQ(ShimLiveHandles(), live + 1);
  EXPECT_EQ(K().unlock(h), 0);
  EXPECT_EQ(K().lastError(), 0u);  // the last lock ended, not a failure
  EXPECT_EQ(K().free(h), nullptr);
  EXPECT_EQ(ShimLiveHandles(), live);
}

TEST(ShimGlobalMemory, LockCountsNestAndUnderflowIsAnError) {
  void *h = K().alloc(kMoveable, 8);
  ASSERT_NE(h, nullptr);
  void *first = K().lock(h);
  EXPECT_EQ(K().lock(h), first);
  EXPECT_NE(K().unlock(h), 0);  // still locked once
  EXPECT_EQ(K().unlock(h), 0);
  EXPECT_EQ(K().lastError(), 0u);
  EXPECT_EQ(K().unlock(h), 0);
  EXPECT_EQ(K().lastError(), kErrorNotLocked);
  EXPECT_EQ(K().free(h), nullptr);
  // The misuse is on record for the loader to report.
  bool recorded = false;
  for (const char *const *p = ShimProblems(); *p != nullptr; ++p) {
    recorded = recorded || std::strstr(*p, "not locked") != nullptr;
  }
  EXPECT_TRUE(recorded);
}

TEST(ShimGlobalMemory, FailuresAnswerAsWindowsDoes) {
  const uint32_t live = ShimLiveHandles();
  ShimFailGlobalAlloc(1);
  EXPECT_EQ(K().alloc(kMoveable, 321), nullptr);
  EXPECT_EQ(ShimRefusedSize(), 321u);
  void *h = K().alloc(kMoveable, 654);  // only the one call fails
  ASSERT_NE(h, nullptr);
  ShimFailGlobalLock(1);
  EXPECT_EQ(K().lock(h), nullptr);
  EXPECT_EQ(ShimRefusedSize(), 654u);
  EXPECT_NE(K().lock(h), nullptr);
  EXPECT_EQ(K().unlock(h), 0);
  EXPECT_EQ(K().free(h), nullptr);
  // A zero-byte moveable object exists but cannot be locked.
  void *empty = K().alloc(kMoveable, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(K().lock(empty), nullptr);
  EXPECT_EQ(K().free(empty), nullptr);
  // Freeing what is no memory object answers the handle back.
  int stranger = 0;
  EXPECT_EQ(K().free(&stranger), &stranger);
  EXPECT_EQ(ShimLiveHandles(), live);
}

TEST(ShimMessageBox, RecordsOwnerStyleCaptionAndText) {
  const auto box = Import<MessageBoxFn>("USER32.dll", "MessageBoxA");
  const uint32_t before = ShimMessageBoxCount();
  EXPECT_EQ(box(nullptr, "size = 42", "Alloc", 0), 1);  // IDOK
  ASSERT_EQ(ShimMessageBoxCount(), before + 1);
  const ShimMessageBox *shown = ShimMessageBoxAt(before);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->owner, 0u);
  EXPECT_EQ(shown->style, 0u);
  EXPECT_EQ(std::string(shown->caption), "Alloc");
  EXPECT_EQ(std::string(shown->text), "size = 42");
}

TEST(ShimTable, ProvidesEveryImportOfTheDllAndNothingUnasked) {
  // The DLL's import list, as its import table names it.
  const char *const kernel32[] = {
      "DeleteCriticalSection", "EnterCriticalSection", "FreeLibrary",  "GetLastError",
      "GetModuleHandleA",      "GetProcAddress",       "GlobalAlloc",  "GlobalFree",
      "GlobalHandle",          "GlobalLock",           "GlobalUnlock", "InitializeCriticalSection",
      "LeaveCriticalSection",  "LoadLibraryA",         "Sleep",        "TlsGetValue",
      "VirtualProtect",        "VirtualQuery"};
  for (const char *name : kernel32) {
    const Shim *shim = ShimFind("KERNEL32.dll", name);
    ASSERT_NE(shim, nullptr) << name;
    EXPECT_EQ(shim->cleanupBytes % 4, 0u) << name;
  }
  // The C runtime's functions are __cdecl: the caller pops.
  for (const char *name : {"memcpy", "vfprintf", "_initterm", "calloc"}) {
    const Shim *shim = ShimFind("msvcrt.dll", name);
    ASSERT_NE(shim, nullptr) << name;
    EXPECT_EQ(shim->cleanupBytes, 0u) << name;
  }
  EXPECT_EQ(ShimFind("KERNEL32.dll", "HeapAlloc"), nullptr);
  EXPECT_EQ(ShimFind("USER32.dll", "GlobalAlloc"), nullptr);  // right name, wrong DLL
  EXPECT_NE(ShimFind("kernel32.DLL", "GlobalAlloc"), nullptr);  // DLL names ignore case
}

}  // namespace
