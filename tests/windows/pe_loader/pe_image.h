/* SPDX-License-Identifier: Apache-2.0 */
/* Maps a 32-bit Windows DLL into this (32-bit Linux) process the way the
 * Windows loader does for the parts that a self-contained DLL relies on:
 * sections at their virtual addresses with their page protections, base
 * relocations when the preferred base is taken, imports bound to the shims,
 * a thread block reachable through %fs, the TLS slot and callbacks, and the
 * entry point. Exports are found by name and by ordinal. */
#ifndef PE_LOADER_PE_IMAGE_H
#define PE_LOADER_PE_IMAGE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PeImage {
  uint8_t *base;
  uint32_t size;
  uint32_t preferredBase;
  uint32_t relocations; /* fixups applied (0 at the preferred base) */
  uint32_t entryRva;
  uint32_t exportRva, exportSize;
  uint32_t tlsRva;
  uint32_t importCount; /* functions and data bound */
  uint8_t *tlsBlock;    /* this thread's copy of the TLS template */
  int attached;
} PeImage;

/* Reads and maps the DLL at `path`. With `avoidPreferredBase` the
 * preferred base is occupied first, so that the image must be relocated.
 * Returns 0, or -1 with a message in `error`. */
int PeLoad(const char *path, int avoidPreferredBase, PeImage *image, char *error,
           size_t errorSize);

/* Runs the TLS callbacks and the entry point with DLL_PROCESS_ATTACH
 * (PeAttach) or DLL_PROCESS_DETACH (PeDetach). Returns 0, or -1 with a
 * message in `error`. */
int PeAttach(PeImage *image, char *error, size_t errorSize);
int PeDetach(PeImage *image, char *error, size_t errorSize);

/* Unmaps the image. */
void PeUnload(PeImage *image);

/* The address of an export, by name or by ordinal; null when the DLL does
 * not export it (or forwards it to another DLL, which this loader cannot
 * follow). */
void *PeFindByName(const PeImage *image, const char *name);
void *PeFindByOrdinal(const PeImage *image, uint32_t ordinal);

#ifdef __cplusplus
}
#endif

#endif
