/* SPDX-License-Identifier: Apache-2.0 */
/* The calls between the loader and the DLL's machine code, with the stack
 * pointer checked on every return. Windows functions (and the DLL's eight
 * operations) are __stdcall: the callee pops its arguments. C runtime
 * functions are __cdecl: the caller pops them. A callee that pops the wrong
 * number of bytes is caught at the call that returned, not crashes later. */
#ifndef PE_LOADER_BOUNDARY_H
#define PE_LOADER_BOUNDARY_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calls the DLL function `fn` with `count` 32-bit arguments (args[0]
 * first), as a __stdcall function. Returns what it answered in %eax. A
 * wrong stack pointer on return ends the process with a message naming
 * `what`. */
uint32_t BoundaryCallStdcall(const char *what, const void *fn, const uint32_t *args,
                             uint32_t count);

/* An entry for the DLL's import address table that leads to `target` and
 * checks that `target` left the stack `cleanupBytes` higher than it found
 * it (the argument bytes for __stdcall, 0 for __cdecl). Returns null when
 * the stubs are used up. */
void *BoundaryImportStub(const char *name, const void *target, uint32_t cleanupBytes);

/* Calls from the DLL through the import stubs, and from the loader into
 * the DLL, so far. */
uint32_t BoundaryImportCalls(void);
uint32_t BoundaryExportCalls(void);

#ifdef __cplusplus
}
#endif

#endif
