/* SPDX-License-Identifier: Apache-2.0 */
#include "shims.h"

#include "boundary.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/mman.h>

#define WINAPI __attribute__((stdcall))

typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef void *HANDLE;

enum {
  kGmemMoveable = 0x0002,
  kGmemZeroInit = 0x0040,
  kErrorNotEnoughMemory = 8,
  kErrorInvalidHandle = 6,
  kErrorNotLocked = 158,
  kErrorModNotFound = 126,
  kErrorProcNotFound = 127,
  kErrorInvalidAddress = 487,
  kPageNoAccess = 0x01,
  kPageReadOnly = 0x02,
  kPageReadWrite = 0x04,
  kPageExecute = 0x10,
  kPageExecuteRead = 0x20,
  kPageExecuteReadWrite = 0x40,
  kMemCommit = 0x1000,
  kMemImage = 0x1000000,
};

static DWORD lastError;

/* ---- problems ---------------------------------------------------------- */

enum { kMaxProblems = 32 };
static char problemText[kMaxProblems][160];
static const char *problems[kMaxProblems + 1];
static uint32_t problemCount;

static void Problem(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void Problem(const char *format, ...) {
  if (problemCount == kMaxProblems) return;
  va_list args;
  va_start(args, format);
  vsnprintf(problemText[problemCount], sizeof problemText[0], format, args);
  va_end(args);
  problems[problemCount] = problemText[problemCount];
  ++problemCount;
}

const char *const *ShimProblems(void) { return problems; }

/* ---- global memory ----------------------------------------------------- */

/* A moveable memory object's handle is the address of its entry here, as a
 * Windows handle points into the handle table: never the block's address.
 * A fixed object's handle is its address. */
typedef struct MemoryObject {
  void *block; /* first member: the handle points at the block's address */
  uint32_t size;
  uint32_t lockCount;
  int moveable;
  int live;
} MemoryObject;

enum { kMaxObjects = 4096 };
static MemoryObject objects[kMaxObjects];
static uint32_t liveObjects, freedWhileLocked, allocCalls, lockCalls;
static uint32_t failAllocAt, failLockAt, refusedSize;

void ShimFailGlobalAlloc(uint32_t n) { failAllocAt = n == 0 ? 0 : allocCalls + n; }
void ShimFailGlobalLock(uint32_t n) { failLockAt = n == 0 ? 0 : lockCalls + n; }
uint32_t ShimRefusedSize(void) { return refusedSize; }
uint32_t ShimLiveHandles(void) { return liveObjects; }
uint32_t ShimFreedWhileLocked(void) { return freedWhileLocked; }
uint32_t ShimGlobalAllocCalls(void) { return allocCalls; }

static MemoryObject *ObjectOfHandle(HANDLE handle) {
  for (uint32_t i = 0; i < kMaxObjects; ++i) {
    MemoryObject *o = &objects[i];
    if (!o->live) continue;
    if (o->moveable ? (HANDLE)o == handle : o->block == handle) return o;
  }
  return NULL;
}

static HANDLE HandleOf(MemoryObject *o) { return o->moveable ? (HANDLE)o : o->block; }

static HANDLE WINAPI ShimGlobalAlloc(uint32_t flags, uint32_t size) {
  ++allocCalls;
  if ((flags & ~(uint32_t)(kGmemMoveable | kGmemZeroInit)) != 0) {
    Problem("GlobalAlloc with flags 0x%x, which the loader does not provide", flags);
  }
  if (allocCalls == failAllocAt) {
    refusedSize = size;
    lastError = kErrorNotEnoughMemory;
    return NULL;
  }
  MemoryObject *o = NULL;
  for (uint32_t i = 0; i < kMaxObjects && o == NULL; ++i) {
    if (!objects[i].live) o = &objects[i];
  }
  /* A zero-byte moveable object is created discarded: it has a handle but
   * no memory, and cannot be locked. */
  void *block = NULL;
  if (o != NULL && size != 0) {
    block = malloc(size);
    /* Memory without GMEM_ZEROINIT holds whatever was there before:
     * never zeros that code might come to rely on. */
    if (block != NULL) memset(block, (flags & kGmemZeroInit) != 0 ? 0 : 0xA5, size);
  }
  if (o == NULL || (size != 0 && block == NULL) || (size == 0 && !(flags & kGmemMoveable))) {
    free(block);
    lastError = kErrorNotEnoughMemory;
    return NULL;
  }
  *o = (MemoryObject){block, size, 0, (flags & kGmemMoveable) != 0, 1};
  ++liveObjects;
  return HandleOf(o);
}

static void *WINAPI ShimGlobalLock(HANDLE handle) {
  ++lockCalls;
  MemoryObject *o = ObjectOfHandle(handle);
  if (o == NULL) {
    Problem("GlobalLock of %p, which is no memory object", handle);
    lastError = kErrorInvalidHandle;
    return NULL;
  }
  if (lockCalls == failLockAt) refusedSize = o->size;
  if (lockCalls == failLockAt || o->block == NULL) {
    lastError = kErrorNotEnoughMemory;
    return NULL;
  }
  if (o->moveable) ++o->lockCount;
  return o->block;
}

static HANDLE WINAPI ShimGlobalHandle(const void *address) {
  for (uint32_t i = 0; i < kMaxObjects; ++i) {
    if (objects[i].live && objects[i].block == address && address != NULL) {
      return HandleOf(&objects[i]);
    }
  }
  Problem("GlobalHandle of %p, which is no locked memory", address);
  lastError = kErrorInvalidHandle;
  return NULL;
}

/* Non-zero while the object stays locked; 0 with last error 0 when this
 * call ended the last lock; 0 with ERROR_NOT_LOCKED when none was held. */
static BOOL WINAPI ShimGlobalUnlock(HANDLE handle) {
  MemoryObject *o = ObjectOfHandle(handle);
  if (o == NULL) {
    Problem("GlobalUnlock of %p, which is no memory object", handle);
    lastError = kErrorInvalidHandle;
    return 0;
  }
  if (!o->moveable) return 1;
  if (o->lockCount == 0) {
    Problem("GlobalUnlock of %p, which is not locked", handle);
    lastError = kErrorNotLocked;
    return 0;
  }
  --o->lockCount;
  lastError = 0;
  return o->lockCount != 0;
}

/* Null on success; the handle itself on failure. */
static HANDLE WINAPI ShimGlobalFree(HANDLE handle) {
  MemoryObject *o = ObjectOfHandle(handle);
  if (o == NULL) {
    Problem("GlobalFree of %p, which is no memory object", handle);
    lastError = kErrorInvalidHandle;
    return handle;
  }
  if (o->lockCount != 0) ++freedWhileLocked;
  free(o->block);
  *o = (MemoryObject){0};
  --liveObjects;
  return NULL;
}

/* ---- message box --------------------------------------------------------- */

enum { kMaxBoxes = 16 };
static ShimMessageBox boxes[kMaxBoxes];
static uint32_t boxCount;

uint32_t ShimMessageBoxCount(void) { return boxCount; }
const ShimMessageBox *ShimMessageBoxAt(uint32_t i) { return i < boxCount ? &boxes[i] : NULL; }

/* The user presses OK at once (IDOK). */
static int32_t WINAPI ShimMessageBoxA(HANDLE owner, const char *text, const char *caption,
                                      uint32_t style) {
  if (boxCount < kMaxBoxes) {
    ShimMessageBox *b = &boxes[boxCount];
    b->owner = (uint32_t)(uintptr_t)owner;
    b->style = style;
    snprintf(b->caption, sizeof b->caption, "%s", caption != NULL ? caption : "Error");
    snprintf(b->text, sizeof b->text, "%s", text != NULL ? text : "");
  }
  ++boxCount;
  return 1;
}

/* ---- critical sections (one thread: they count, never wait) ---------- */

typedef struct CriticalSection {
  void *debugInfo;
  int32_t lockCount;
  int32_t recursionCount;
  HANDLE owningThread;
  HANDLE lockSemaphore;
  uint32_t spinCount;
} CriticalSection;

static void WINAPI ShimInitializeCriticalSection(CriticalSection *cs) {
  memset(cs, 0, sizeof *cs);
  cs->lockCount = -1;
}

static void WINAPI ShimEnterCriticalSection(CriticalSection *cs) {
  ++cs->lockCount;
  ++cs->recursionCount;
  cs->owningThread = (HANDLE)1;
}

static void WINAPI ShimLeaveCriticalSection(CriticalSection *cs) {
  if (cs->recursionCount <= 0) {
    Problem("LeaveCriticalSection of a section not entered");
    return;
  }
  --cs->lockCount;
  if (--cs->recursionCount == 0) cs->owningThread = NULL;
}

static void WINAPI ShimDeleteCriticalSection(CriticalSection *cs) {
  if (cs->recursionCount != 0) Problem("DeleteCriticalSection of a section still entered");
  memset(cs, 0, sizeof *cs);
}

/* ---- modules ----------------------------------------------------------- */

static const char *moduleName;
static void *moduleBase;

void ShimSetModule(const char *name, void *base) {
  moduleName = name;
  moduleBase = base;
}

/* Only the DLL itself is loaded: other modules (such as a shared unwinder
 * that the runtime looks for) are not found, and the DLL then uses its
 * own. */
static void *WINAPI ShimGetModuleHandleA(const char *name) {
  if (name != NULL && moduleName != NULL && strcasecmp(name, moduleName) == 0) {
    return moduleBase;
  }
  lastError = kErrorModNotFound;
  return NULL;
}

static void *WINAPI ShimLoadLibraryA(const char *name) {
  (void)name;
  lastError = kErrorModNotFound;
  return NULL;
}

static void *WINAPI ShimGetProcAddress(void *module, const char *name) {
  (void)module;
  (void)name;
  lastError = kErrorProcNotFound;
  return NULL;
}

static BOOL WINAPI ShimFreeLibrary(void *module) {
  if (module == NULL || module != moduleBase) {
    Problem("FreeLibrary of %p, which was not loaded", module);
    lastError = kErrorInvalidHandle;
    return 0;
  }
  return 1;
}

static DWORD WINAPI ShimGetLastError(void) { return lastError; }

static void WINAPI ShimSleep(DWORD milliseconds) { (void)milliseconds; }

/* No thread-local slot is ever set: every value reads null (and a
 * successful read sets the last error to 0). */
static void *WINAPI ShimTlsGetValue(DWORD index) {
  (void)index;
  lastError = 0;
  return NULL;
}

/* ---- virtual memory ---------------------------------------------------- */

typedef struct Region {
  uint8_t *base;
  uint32_t size;
  uint32_t protect;
} Region;

enum { kMaxRegions = 32 };
static Region regions[kMaxRegions];
static uint32_t regionCount;

void ShimAddRegion(void *base, uint32_t size, uint32_t protect) {
  if (regionCount < kMaxRegions) regions[regionCount++] = (Region){base, size, protect};
}

static Region *RegionOf(const void *address) {
  for (uint32_t i = 0; i < regionCount; ++i) {
    const uint8_t *p = address;
    if (p >= regions[i].base && p < regions[i].base + regions[i].size) return &regions[i];
  }
  return NULL;
}

typedef struct MemoryBasicInformation {
  void *baseAddress;
  void *allocationBase;
  DWORD allocationProtect;
  uint32_t regionSize;
  DWORD state;
  DWORD protect;
  DWORD type;
} MemoryBasicInformation;

static uint32_t WINAPI ShimVirtualQuery(const void *address, MemoryBasicInformation *info,
                                        uint32_t length) {
  const Region *r = RegionOf(address);
  if (r == NULL || length < sizeof *info) {
    lastError = kErrorInvalidAddress;
    return 0;
  }
  const uintptr_t page = (uintptr_t)address & ~(uintptr_t)0xFFF;
  *info = (MemoryBasicInformation){(void *)page,
                                   regions[0].base,
                                   kPageExecuteReadWrite,
                                   (uint32_t)((uintptr_t)(r->base + r->size) - page),
                                   kMemCommit,
                                   r->protect,
                                   kMemImage};
  return sizeof *info;
}

static int PosixProtection(uint32_t protect) {
  switch (protect & 0xFF) {
    case kPageNoAccess: return PROT_NONE;
    case kPageReadOnly: return PROT_READ;
    case kPageReadWrite: return PROT_READ | PROT_WRITE;
    case kPageExecute: return PROT_EXEC;
    case kPageExecuteRead: return PROT_READ | PROT_EXEC;
    case kPageExecuteReadWrite: return PROT_READ | PROT_WRITE | PROT_EXEC;
    default: return -1;
  }
}

static BOOL WINAPI ShimVirtualProtect(void *address, uint32_t size, DWORD protect,
                                      DWORD *oldProtect) {
  Region *r = RegionOf(address);
  const int prot = PosixProtection(protect);
  const uintptr_t page = (uintptr_t)address & ~(uintptr_t)0xFFF;
  const uintptr_t end = ((uintptr_t)address + size + 0xFFF) & ~(uintptr_t)0xFFF;
  if (r == NULL || prot < 0 || oldProtect == NULL ||
      mprotect((void *)page, end - page, prot) != 0) {
    lastError = kErrorInvalidAddress;
    return 0;
  }
  *oldProtect = r->protect;
  r->protect = protect;
  return 1;
}

/* ---- the C runtime (msvcrt, __cdecl) --------------------------------- */

/* msvcrt's FILE is 32 bytes on 32-bit Windows; _iob holds stdin, stdout
 * and stderr in that order. */
enum { kFileBytes = 32 };
static uint8_t iob[3 * kFileBytes];

static FILE *StreamOf(const void *file) {
  const uint8_t *p = file;
  if (p == iob + kFileBytes) return stdout;
  if (p == iob + 2 * kFileBytes) return stderr;
  Problem("a C runtime stream other than stdout or stderr was used");
  return stderr;
}

typedef void (*Initializer)(void);

/* Calls each non-null function of the table, in order. The functions are
 * the DLL's own, so the calls go through the checked boundary. */
static void ShimInitTerm(Initializer *begin, Initializer *end) {
  for (Initializer *f = begin; f < end; ++f) {
    if (*f != NULL) BoundaryCallStdcall("an initializer of _initterm", (const void *)*f, NULL, 0);
  }
}

static void ShimAmsgExit(int code) {
  fprintf(stderr, "pe_loader: the DLL's runtime stopped with error R60%02d\n", code);
  exit(255);
}

static void ShimAbort(void) {
  fprintf(stderr, "pe_loader: the DLL called abort\n");
  abort();
}

static void ShimLock(int which) { (void)which; }
static void ShimUnlock(int which) { (void)which; }
static void *ShimCalloc(size_t count, size_t size) { return calloc(count, size); }
static void ShimFree(void *p) { free(p); }
static void *ShimRealloc(void *p, size_t size) { return realloc(p, size); }
static void *ShimMemcpy(void *d, const void *s, size_t n) { return memcpy(d, s, n); }
static void *ShimMemset(void *d, int c, size_t n) { return memset(d, c, n); }
static int ShimStrcmp(const char *a, const char *b) { return strcmp(a, b); }
static size_t ShimStrlen(const char *s) { return strlen(s); }
static int ShimStrncmp(const char *a, const char *b, size_t n) { return strncmp(a, b, n); }

static size_t ShimFwrite(const void *data, size_t size, size_t count, void *file) {
  return fwrite(data, size, count, StreamOf(file));
}

/* A va_list on 32-bit x86 is a pointer to the arguments on the stack, the
 * same for both systems. */
static int ShimVfprintf(void *file, const char *format, va_list args) {
  return vfprintf(StreamOf(file), format, args);
}

/* ---- the table --------------------------------------------------------- */

#define STDCALL(dll, name, bytes) {dll, #name, (const void *)Shim##name, bytes, 0}
#define CDECL(name, function) {"msvcrt.dll", name, (const void *)function, 0, 0}

static const Shim shims[] = {
    STDCALL("kernel32.dll", DeleteCriticalSection, 4),
    STDCALL("kernel32.dll", EnterCriticalSection, 4),
    STDCALL("kernel32.dll", FreeLibrary, 4),
    STDCALL("kernel32.dll", GetLastError, 0),
    STDCALL("kernel32.dll", GetModuleHandleA, 4),
    STDCALL("kernel32.dll", GetProcAddress, 8),
    STDCALL("kernel32.dll", GlobalAlloc, 8),
    STDCALL("kernel32.dll", GlobalFree, 4),
    STDCALL("kernel32.dll", GlobalHandle, 4),
    STDCALL("kernel32.dll", GlobalLock, 4),
    STDCALL("kernel32.dll", GlobalUnlock, 4),
    STDCALL("kernel32.dll", InitializeCriticalSection, 4),
    STDCALL("kernel32.dll", LeaveCriticalSection, 4),
    STDCALL("kernel32.dll", LoadLibraryA, 4),
    STDCALL("kernel32.dll", Sleep, 4),
    STDCALL("kernel32.dll", TlsGetValue, 4),
    STDCALL("kernel32.dll", VirtualProtect, 16),
    STDCALL("kernel32.dll", VirtualQuery, 12),
    STDCALL("user32.dll", MessageBoxA, 16),
    CDECL("_amsg_exit", ShimAmsgExit),
    CDECL("_initterm", ShimInitTerm),
    {"msvcrt.dll", "_iob", iob, 0, 1},
    CDECL("_lock", ShimLock),
    CDECL("_unlock", ShimUnlock),
    CDECL("abort", ShimAbort),
    CDECL("calloc", ShimCalloc),
    CDECL("free", ShimFree),
    CDECL("fwrite", ShimFwrite),
    CDECL("memcpy", ShimMemcpy),
    CDECL("memset", ShimMemset),
    CDECL("realloc", ShimRealloc),
    CDECL("strcmp", ShimStrcmp),
    CDECL("strlen", ShimStrlen),
    CDECL("strncmp", ShimStrncmp),
    CDECL("vfprintf", ShimVfprintf),
};

const Shim *ShimFind(const char *dll, const char *name) {
  for (size_t i = 0; i < sizeof shims / sizeof shims[0]; ++i) {
    if (strcasecmp(shims[i].dll, dll) == 0 && strcmp(shims[i].name, name) == 0) {
      return &shims[i];
    }
  }
  return NULL;
}
