/* SPDX-License-Identifier: Apache-2.0 */
/* Stand-ins for the Windows functions that the DLL imports, each doing
 * what its Windows namesake promises for the way the DLL uses it, and
 * recording what the tests look at: global-memory handles and their lock
 * counts, the message boxes shown, and any misuse. */
#ifndef PE_LOADER_SHIMS_H
#define PE_LOADER_SHIMS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Shim {
  const char *dll;  /* as the import table names it, compared ignoring case */
  const char *name;
  const void *address;
  uint32_t cleanupBytes; /* argument bytes a __stdcall function pops; 0 for __cdecl */
  int isData;            /* the import is a variable, bound to its address */
} Shim;

/* The shim for an import, or null when there is none. */
const Shim *ShimFind(const char *dll, const char *name);

/* The module that GetModuleHandleA and FreeLibrary know (the DLL itself). */
void ShimSetModule(const char *name, void *base);

/* The regions that VirtualQuery and VirtualProtect describe and change:
 * the mapped image, one region per section. */
void ShimAddRegion(void *base, uint32_t size, uint32_t protect);

/* Failure injection: the n-th GlobalAlloc or GlobalLock call from now on
 * (1 = the next) fails, as Windows fails them: null and a last error. */
void ShimFailGlobalAlloc(uint32_t n);
void ShimFailGlobalLock(uint32_t n);
/* Size of the memory object whose GlobalAlloc or GlobalLock was made to
 * fail (0: none yet). */
uint32_t ShimRefusedSize(void);

/* Memory objects of GlobalAlloc not yet freed, and those freed while still
 * locked. */
uint32_t ShimLiveHandles(void);
uint32_t ShimFreedWhileLocked(void);
uint32_t ShimGlobalAllocCalls(void);

typedef struct ShimMessageBox {
  uint32_t owner;
  uint32_t style;
  char caption[64];
  char text[208];
} ShimMessageBox;
uint32_t ShimMessageBoxCount(void);
const ShimMessageBox *ShimMessageBoxAt(uint32_t i);

/* Misuse seen by the shims (a lock count going below zero, leaving a
 * critical section not entered, an unknown handle, unsupported flags...),
 * one line each; null-terminated. */
const char *const *ShimProblems(void);

#ifdef __cplusplus
}
#endif

#endif
