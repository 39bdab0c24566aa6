// SPDX-License-Identifier: Apache-2.0
// Loads inkdot.dll with the PE loader, checks its exports, and runs the
// scenario pages through the DLL's own machine code. The report goes to
// standard output in the form of the scenario program's, so that its
// digests compare with the reference; what the loader saw (where the image
// sits, the vector path the processor offers, the boundary calls, message
// boxes, memory objects left) goes to standard error. The exit status is 1
// when loading fails, an export is wrong, the shims saw misuse, or memory
// objects outlive the objects that took them.
//
//   inkdot_pe_loader [--relocate] [--fail-alloc N | --fail-lock N] DLL
//   inkdot_pe_loader --check-boundary into|out-of
//
// --relocate takes the DLL's preferred base first, so that it must be
// relocated. --fail-alloc N and --fail-lock N make the N-th GlobalAlloc or
// GlobalLock of the pages fail. --check-boundary makes a call whose callee
// pops too little, into the DLL or out of it, which must end the process
// with status 3.
#include <cpuid.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "boundary.h"
#include "pages.h"
#include "pe_image.h"
#include "shims.h"

namespace {

struct Export {
  const char *name;
  const char *decorated;
  uint32_t ordinal;
  uint32_t decoratedOrdinal;
  uint32_t argumentWords;
};

const Export kExports[] = {
    {"CmNew", "_A_CmNew@20", 1, 11, 5},
    {"CmSetResource", "_A_CmSetResource@12", 2, 12, 3},
    {"CmDelete", "_A_CmDelete@4", 3, 9, 1},
    {"CmGetLut", "_A_CmGetLut@4", 4, 10, 1},
    {"HalftoneNew", "_A_HalftoneNew@20", 5, 15, 5},
    {"HalftoneSetResource", "_A_HalftoneSetResource@12", 6, 16, 3},
    {"Halftone", "_A_Halftone@44", 7, 13, 11},
    {"HalftoneDelete", "_A_HalftoneDelete@4", 8, 14, 1},
};
enum Operation { kCmNew, kCmSetResource, kCmDelete, kCmGetLut, kHalftoneNew,
                 kHalftoneSetResource, kHalftone, kHalftoneDelete };

const void *gAddress[8];
int gProblems = 0;

// Every way of naming an operation leads to the same address; the names
// that a compiler would have made, and ordinals outside 1..16, lead
// nowhere.
void CheckExports(const PeImage &image) {
  for (int i = 0; i < 8; ++i) {
    const Export &e = kExports[i];
    const void *byName = PeFindByName(&image, e.name);
    const void *byDecorated = PeFindByName(&image, e.decorated);
    const void *byOrdinal = PeFindByOrdinal(&image, e.ordinal);
    const void *byDecoratedOrdinal = PeFindByOrdinal(&image, e.decoratedOrdinal);
    if (byName == nullptr || byName != byDecorated || byName != byOrdinal ||
        byName != byDecoratedOrdinal) {
      std::fprintf(stderr, "%s: name %p, %s %p, ordinal %u %p, ordinal %u %p\n", e.name,
                   byName, e.decorated, byDecorated, e.ordinal, byOrdinal,
                   e.decoratedOrdinal, byDecoratedOrdinal);
      ++gProblems;
    }
    gAddress[i] = byName;
    const std::string stray = std::string(e.name) + "@" + std::to_string(4 * e.argumentWords);
    if (PeFindByName(&image, stray.c_str()) != nullptr) {
      std::fprintf(stderr, "stray export %s\n", stray.c_str());
      ++gProblems;
    }
  }
  if (PeFindByOrdinal(&image, 0) != nullptr || PeFindByOrdinal(&image, 17) != nullptr) {
    std::fprintf(stderr, "an ordinal outside 1..16 is exported\n");
    ++gProblems;
  }
}

// Engine objects alive, by the answers of the creating and deleting calls.
int gLiveObjects = 0;
int gLeakingDeletes = 0;

uint32_t Call(Operation op, const uint32_t *args) {
  return BoundaryCallStdcall(kExports[op].name, gAddress[op], args,
                             kExports[op].argumentWords);
}

uint32_t Word(const void *p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// Once the last engine object is gone, no memory object may be left.
void AfterDelete(const char *name, uint32_t result) {
  if (result == 0) --gLiveObjects;
  if (gLiveObjects == 0 && ShimLiveHandles() != 0) {
    std::fprintf(stderr, "%s left %u memory objects behind\n", name, ShimLiveHandles());
    ++gLeakingDeletes;
  }
}

ResultCode DllCmNew(const CmParams *params, const HalftoneParams *page, uint32_t reserved,
                    int32_t *nextId, CmContext **cm) {
  const uint32_t args[] = {Word(params), Word(page), reserved, Word(nextId), Word(cm)};
  const uint32_t result = Call(kCmNew, args);
  if (result == 0) ++gLiveObjects;
  return result;
}

ResultCode DllCmSetResource(CmContext *cm, const void *resource, int32_t *nextId) {
  const uint32_t args[] = {Word(cm), Word(resource), Word(nextId)};
  return Call(kCmSetResource, args);
}

ResultCode DllCmDelete(CmContext *cm) {
  const uint32_t args[] = {Word(cm)};
  const uint32_t result = Call(kCmDelete, args);
  AfterDelete("CmDelete", result);
  return result;
}

CmLut *DllCmGetLut(CmContext *cm) {
  const uint32_t args[] = {Word(cm)};
  return reinterpret_cast<CmLut *>(static_cast<uintptr_t>(Call(kCmGetLut, args)));
}

ResultCode DllHalftoneNew(const HalftoneParams *page, const CmLut *lut, uint32_t reserved,
                          int32_t *nextId, HalftoneContext **ht) {
  const uint32_t args[] = {Word(page), Word(lut), reserved, Word(nextId), Word(ht)};
  const uint32_t result = Call(kHalftoneNew, args);
  if (result == 0) ++gLiveObjects;
  return result;
}

ResultCode DllHalftoneSetResource(HalftoneContext *ht, const void *resource, int32_t *nextId) {
  const uint32_t args[] = {Word(ht), Word(resource), Word(nextId)};
  return Call(kHalftoneSetResource, args);
}

ResultCode DllHalftone(HalftoneContext *ht, const void *source, void *out, uint32_t stride,
                       uint32_t firstBit, uint32_t count, uint32_t startX, uint32_t a,
                       uint32_t row, uint32_t reservedA, uint32_t reservedB) {
  const uint32_t args[] = {Word(ht), Word(source), Word(out), stride,    firstBit, count,
                           startX,   a,            row,       reservedA, reservedB};
  return Call(kHalftone, args);
}

ResultCode DllHalftoneDelete(HalftoneContext *ht) {
  const uint32_t args[] = {Word(ht)};
  const uint32_t result = Call(kHalftoneDelete, args);
  AfterDelete("HalftoneDelete", result);
  return result;
}

// The vector path that the DLL's processor check will choose, by the same
// processor and operating-system features.
const char *VectorPathOffered() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return "portable";
  if ((c & (1u << 27 | 1u << 28)) != (1u << 27 | 1u << 28)) return "portable";
  unsigned xcr0 = 0, high = 0;
  __asm__("xgetbv" : "=a"(xcr0), "=d"(high) : "c"(0));
  if ((xcr0 & 6u) != 6u || __get_cpuid_max(0, nullptr) < 7) return "portable";
  __cpuid_count(7, 0, a, b, c, d);
  if ((b & (1u << 5)) == 0) return "portable";
  const unsigned avx512 = 1u << 16 | 1u << 30 | 1u << 31;
  if ((b & avx512) == avx512 && (c & (1u << 1)) != 0 && (xcr0 & 0xE0u) == 0xE0u) {
    return "avx512";
  }
  return "avx2";
}

// A __cdecl function: it leaves its arguments for the caller to pop.
extern "C" __attribute__((noinline)) uint32_t CdeclSum(uint32_t a, uint32_t b) { return a + b; }

int CheckBoundary(const std::string &direction) {
  const uint32_t args[] = {2, 3};
  const void *callee = reinterpret_cast<const void *>(&CdeclSum);
  if (direction == "out-of") {
    callee = BoundaryImportStub("a __cdecl shim bound as __stdcall", callee, 8);
  } else if (direction != "into") {
    return 2;
  }
  BoundaryCallStdcall("a __cdecl function called as __stdcall", callee, args, 2);
  std::fprintf(stderr, "the wrong cleanup went unnoticed\n");
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: inkdot_pe_loader [--relocate] [--fail-alloc N | --fail-lock N] DLL\n"
               "       inkdot_pe_loader --check-boundary into|out-of\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  bool relocate = false;
  uint32_t failAlloc = 0, failLock = 0;
  const char *path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--check-boundary" && i + 1 < argc) {
      return CheckBoundary(argv[i + 1]);
    } else if (arg == "--relocate") {
      relocate = true;
    } else if ((arg == "--fail-alloc" || arg == "--fail-lock") && i + 1 < argc) {
      (arg == "--fail-alloc" ? failAlloc : failLock) =
          static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (path == nullptr && arg[0] != '-') {
      path = argv[i];
    } else {
      return Usage();
    }
  }
  if (path == nullptr) return Usage();

  char error[256];
  PeImage image;
  if (PeLoad(path, relocate ? 1 : 0, &image, error, sizeof error) != 0) {
    std::fprintf(stderr, "inkdot_pe_loader: %s: %s\n", path, error);
    return 1;
  }
  const char *slash = std::strrchr(path, '/');
  ShimSetModule(slash != nullptr ? slash + 1 : path, image.base);
  std::fprintf(stderr,
               "image at %p, 0x%x bytes (preferred base 0x%08x), %u relocations applied, "
               "%u imports bound\n",
               static_cast<void *>(image.base), image.size, image.preferredBase,
               image.relocations, image.importCount);
  if (PeAttach(&image, error, sizeof error) != 0) {
    std::fprintf(stderr, "inkdot_pe_loader: %s: %s\n", path, error);
    return 1;
  }
  std::fprintf(stderr, "vector path offered: %s\n", VectorPathOffered());

  CheckExports(image);
  if (gProblems == 0) std::fprintf(stderr, "16 exports found by name and ordinal\n");
  bool all = true;
  for (const void *address : gAddress) all = all && address != nullptr;
  if (all) {
    ShimFailGlobalAlloc(failAlloc);
    ShimFailGlobalLock(failLock);
    const inkdot::scenario::EngineApi api = {
        DllCmNew,       DllCmSetResource,       DllCmDelete, DllCmGetLut,
        DllHalftoneNew, DllHalftoneSetResource, DllHalftone, DllHalftoneDelete};
    std::fputs(inkdot::scenario::FormatReport(inkdot::scenario::RunPages(api)).c_str(), stdout);
  }

  if (PeDetach(&image, error, sizeof error) != 0) {
    std::fprintf(stderr, "inkdot_pe_loader: %s: %s\n", path, error);
    ++gProblems;
  }
  std::fprintf(stderr, "%u calls into the DLL and %u out of it, each returning the stack as "
               "its calling convention requires\n",
               BoundaryExportCalls(), BoundaryImportCalls());
  std::fprintf(stderr, "GlobalAlloc calls: %u; memory objects live at the end: %u\n",
               ShimGlobalAllocCalls(), ShimLiveHandles());
  if (ShimRefusedSize() != 0) std::fprintf(stderr, "refused: %u bytes\n", ShimRefusedSize());
  for (uint32_t i = 0; i < ShimMessageBoxCount(); ++i) {
    const ShimMessageBox *box = ShimMessageBoxAt(i);
    if (box == nullptr) break;
    std::fprintf(stderr, "message box: owner %u, style %u, caption '%s', text '%s'\n",
                 box->owner, box->style, box->caption, box->text);
  }
  for (const char *const *p = ShimProblems(); *p != nullptr; ++p) {
    std::fprintf(stderr, "misuse: %s\n", *p);
    ++gProblems;
  }
  if (ShimFreedWhileLocked() != 0) {
    std::fprintf(stderr, "%u memory objects were freed while locked\n", ShimFreedWhileLocked());
    ++gProblems;
  }
  PeUnload(&image);
  const bool leaks = gLeakingDeletes != 0 || ShimLiveHandles() != 0;
  return gProblems == 0 && !leaks ? 0 : 1;
}
