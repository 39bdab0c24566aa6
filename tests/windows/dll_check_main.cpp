// SPDX-License-Identifier: Apache-2.0
// Loads the inkdot DLL as a host does, finds every operation by its plain
// name, its decorated name and both ordinals, and runs the scenario pages
// through it. The report goes to standard output in the same form as the
// Linux scenario program's; problems with the exports go to standard error
// and make the exit status 1.
//
//   inkdot_dll_check [PATH_OF_DLL]
//   inkdot_dll_check --probe      (prints "probe ok": tells that it can run)
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "pages.h"

namespace {

struct Export {
  const char *name;
  const char *decorated;
  WORD ordinal;
  WORD decoratedOrdinal;
};

const Export kExports[] = {
    {"CmNew", "_A_CmNew@20", 1, 11},
    {"CmSetResource", "_A_CmSetResource@12", 2, 12},
    {"CmDelete", "_A_CmDelete@4", 3, 9},
    {"CmGetLut", "_A_CmGetLut@4", 4, 10},
    {"HalftoneNew", "_A_HalftoneNew@20", 5, 15},
    {"HalftoneSetResource", "_A_HalftoneSetResource@12", 6, 16},
    {"Halftone", "_A_Halftone@44", 7, 13},
    {"HalftoneDelete", "_A_HalftoneDelete@4", 8, 14},
};

void *Find(HMODULE library, const char *name) {
  return reinterpret_cast<void *>(GetProcAddress(library, name));
}

void *FindOrdinal(HMODULE library, WORD ordinal) {
  return Find(library, MAKEINTRESOURCEA(ordinal));
}

// Every way of naming an operation leads to the same address; names that
// a compiler would have added on its own, and ordinals past 16, lead
// nowhere. Returns the number of problems found.
int CheckExports(HMODULE library, void *addresses[8]) {
  int problems = 0;
  for (int i = 0; i < 8; ++i) {
    const Export &e = kExports[i];
    void *byName = Find(library, e.name);
    void *byDecorated = Find(library, e.decorated);
    void *byOrdinal = FindOrdinal(library, e.ordinal);
    void *byDecoratedOrdinal = FindOrdinal(library, e.decoratedOrdinal);
    if (byName == nullptr || byName != byDecorated || byName != byOrdinal ||
        byName != byDecoratedOrdinal) {
      std::fprintf(stderr, "%s: name %p, %s %p, ordinal %u %p, ordinal %u %p\n", e.name,
                   byName, e.decorated, byDecorated, e.ordinal, byOrdinal,
                   e.decoratedOrdinal, byDecoratedOrdinal);
      ++problems;
    }
    addresses[i] = byName;
    char stray[64];
    std::snprintf(stray, sizeof stray, "%s@%s", e.name, e.decorated + std::strlen(e.name) + 4);
    if (Find(library, stray) != nullptr) {
      std::fprintf(stderr, "stray export %s\n", stray);
      ++problems;
    }
  }
  if (FindOrdinal(library, 17) != nullptr || FindOrdinal(library, 0) != nullptr) {
    std::fprintf(stderr, "an ordinal outside 1..16 is exported\n");
    ++problems;
  }
  return problems;
}

template <typename Function>
void Assign(Function &slot, void *address) {
  slot = reinterpret_cast<Function>(address);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc > 1 && std::strcmp(argv[1], "--probe") == 0) {
    std::puts("probe ok");
    return 0;
  }
  const char *path = argc > 1 ? argv[1] : "inkdot.dll";
  HMODULE library = LoadLibraryA(path);
  if (library == nullptr) {
    std::fprintf(stderr, "cannot load %s (error %lu)\n", path, GetLastError());
    return 1;
  }
  void *addresses[8];
  const int problems = CheckExports(library, addresses);
  if (problems == 0) {
    std::fprintf(stderr, "16 exports found by name and ordinal\n");
  }
  if (addresses[0] != nullptr && addresses[1] != nullptr && addresses[2] != nullptr &&
      addresses[3] != nullptr && addresses[4] != nullptr && addresses[5] != nullptr &&
      addresses[6] != nullptr && addresses[7] != nullptr) {
    inkdot::scenario::EngineApi api{};
    Assign(api.cmNew, addresses[0]);
    Assign(api.cmSetResource, addresses[1]);
    Assign(api.cmDelete, addresses[2]);
    Assign(api.cmGetLut, addresses[3]);
    Assign(api.halftoneNew, addresses[4]);
    Assign(api.halftoneSetResource, addresses[5]);
    Assign(api.halftone, addresses[6]);
    Assign(api.halftoneDelete, addresses[7]);
    std::fputs(inkdot::scenario::FormatReport(inkdot::scenario::RunPages(api)).c_str(),
               stdout);
  }
  FreeLibrary(library);
  return problems == 0 ? 0 : 1;
}
