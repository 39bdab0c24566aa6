/* SPDX-License-Identifier: Apache-2.0 */
#include "pe_image.h"

#include <asm/ldt.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "boundary.h"
#include "shims.h"

enum {
  kDllProcessDetach = 0,
  kDllProcessAttach = 1,
  kPageBytes = 0x1000,
  kMachineI386 = 0x14C,
  kMagicPe32 = 0x10B,
  kDirExport = 0,
  kDirImport = 1,
  kDirBaseReloc = 5,
  kDirTls = 9,
  kRelAbsolute = 0,
  kRelHighLow = 3,
  kScnExecute = 0x20000000,
  kScnRead = 0x40000000,
  kScnWrite = 0x80000000u,
  kScnUninitialized = 0x80,
};

static int Fail(char *error, size_t errorSize, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
static int Fail(char *error, size_t errorSize, const char *format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(error, errorSize, format, args);
  va_end(args);
  return -1;
}

static uint16_t U16(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }
static uint32_t U32(const uint8_t *p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
static void Put32(uint8_t *p, uint32_t v) { memcpy(p, &v, 4); }

/* The image's data directory `index` (RVA and size). */
typedef struct Directory {
  uint32_t rva, size;
} Directory;

typedef struct Headers {
  const uint8_t *file;
  size_t fileSize;
  uint32_t sectionCount;
  const uint8_t *sections; /* 40 bytes each */
  uint32_t imageBase, imageSize, headerSize, entryRva, dirCount;
  const uint8_t *dirs;
} Headers;

static Directory DirectoryOf(const Headers *h, uint32_t index) {
  Directory d = {0, 0};
  if (index < h->dirCount) {
    d.rva = U32(h->dirs + 8 * index);
    d.size = U32(h->dirs + 8 * index + 4);
  }
  return d;
}

static int ParseHeaders(const uint8_t *file, size_t size, Headers *h, char *error,
                        size_t errorSize) {
  if (size < 0x40 || file[0] != 'M' || file[1] != 'Z') {
    return Fail(error, errorSize, "not an MZ executable");
  }
  const uint32_t pe = U32(file + 0x3C);
  if ((uint64_t)pe + 24 + 96 > size || memcmp(file + pe, "PE\0\0", 4) != 0) {
    return Fail(error, errorSize, "no PE header");
  }
  const uint8_t *coff = file + pe + 4;
  if (U16(coff) != kMachineI386) return Fail(error, errorSize, "not a 32-bit x86 image");
  if ((U16(coff + 18) & 0x2000) == 0) return Fail(error, errorSize, "not a DLL");
  const uint8_t *opt = coff + 20;
  const uint32_t optSize = U16(coff + 16);
  if (U16(opt) != kMagicPe32 || optSize < 96) return Fail(error, errorSize, "not PE32");
  h->file = file;
  h->fileSize = size;
  h->sectionCount = U16(coff + 2);
  h->sections = opt + optSize;
  h->entryRva = U32(opt + 16);
  h->imageBase = U32(opt + 28);
  h->imageSize = U32(opt + 56);
  h->headerSize = U32(opt + 60);
  h->dirCount = U32(opt + 92);
  h->dirs = opt + 96;
  if (h->dirCount > 16 || 96 + 8 * h->dirCount > optSize ||
      (size_t)(h->sections - file) + 40u * h->sectionCount > size ||
      h->headerSize > size || h->headerSize > h->imageSize) {
    return Fail(error, errorSize, "malformed PE headers");
  }
  return 0;
}

/* Maps the image at its preferred base if that is free. With
 * `avoidPreferredBase` a page there is taken first (and kept), so that the
 * image lands elsewhere and must be relocated. */
static uint8_t *MapImage(const Headers *h, int avoidPreferredBase) {
  void *preferred = (void *)(uintptr_t)h->imageBase;
  if (avoidPreferredBase) {
    mmap(preferred, kPageBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  }
  void *base = mmap(avoidPreferredBase ? NULL : preferred, h->imageSize,
                    PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return base == MAP_FAILED ? NULL : base;
}

static int CopySections(const Headers *h, uint8_t *base, char *error, size_t errorSize) {
  memcpy(base, h->file, h->headerSize);
  for (uint32_t i = 0; i < h->sectionCount; ++i) {
    const uint8_t *s = h->sections + 40 * i;
    const uint32_t virtualSize = U32(s + 8), rva = U32(s + 12);
    const uint32_t rawSize = U32(s + 16), rawOffset = U32(s + 20);
    const uint32_t span = virtualSize > rawSize ? virtualSize : rawSize;
    if (rva < h->headerSize || rva > h->imageSize || span > h->imageSize - rva) {
      return Fail(error, errorSize, "section %.8s lies outside the image", (const char *)s);
    }
    const uint32_t copy = rawSize < virtualSize || virtualSize == 0 ? rawSize : virtualSize;
    if (copy != 0) {
      if (rawOffset > h->fileSize || copy > h->fileSize - rawOffset) {
        return Fail(error, errorSize, "section %.8s lies outside the file", (const char *)s);
      }
      memcpy(base + rva, h->file + rawOffset, copy);
    }
  }
  return 0;
}

/* Adds the load bias to every 32-bit address that the relocation blocks
 * list. */
static int Relocate(const Headers *h, uint8_t *base, uint32_t *count, char *error,
                    size_t errorSize) {
  const uint32_t delta = (uint32_t)(uintptr_t)base - h->imageBase;
  *count = 0;
  if (delta == 0) return 0;
  const Directory d = DirectoryOf(h, kDirBaseReloc);
  if (d.size == 0) return Fail(error, errorSize, "cannot sit at its base and has no relocations");
  for (uint32_t at = 0; at + 8 <= d.size;) {
    const uint8_t *block = base + d.rva + at;
    const uint32_t page = U32(block), blockSize = U32(block + 4);
    if (blockSize < 8 || blockSize > d.size - at) {
      return Fail(error, errorSize, "malformed relocation block");
    }
    for (uint32_t e = 8; e + 2 <= blockSize; e += 2) {
      const uint16_t entry = U16(block + e);
      const uint32_t type = entry >> 12, rva = page + (entry & 0xFFF);
      if (type == kRelAbsolute) continue;
      if (type != kRelHighLow || rva > h->imageSize - 4) {
        return Fail(error, errorSize, "relocation of type %u at 0x%x", type, rva);
      }
      Put32(base + rva, U32(base + rva) + delta);
      ++*count;
    }
    at += blockSize;
  }
  return 0;
}

static int InRange(uint32_t rva, uint32_t bytes, uint32_t imageSize) {
  return rva <= imageSize && bytes <= imageSize - rva;
}

/* Points each import address table entry at its shim: a checked stub for
 * a function, the variable itself for data. An import that no shim
 * provides stops the load, named. */
static int BindImports(const Headers *h, uint8_t *base, uint32_t *count, char *error,
                       size_t errorSize) {
  const Directory d = DirectoryOf(h, kDirImport);
  *count = 0;
  for (uint32_t at = d.rva; d.size != 0; at += 20) {
    if (!InRange(at, 20, h->imageSize)) return Fail(error, errorSize, "malformed imports");
    const uint8_t *desc = base + at;
    const uint32_t lookup = U32(desc), nameRva = U32(desc + 12), iat = U32(desc + 16);
    if (nameRva == 0) break;
    if (!InRange(nameRva, 1, h->imageSize)) return Fail(error, errorSize, "malformed imports");
    const char *dll = (const char *)base + nameRva;
    for (uint32_t i = 0;; ++i) {
      const uint32_t slot = (lookup != 0 ? lookup : iat) + 4 * i;
      if (!InRange(slot, 4, h->imageSize) || !InRange(iat + 4 * i, 4, h->imageSize)) {
        return Fail(error, errorSize, "malformed imports of %s", dll);
      }
      const uint32_t entry = U32(base + slot);
      if (entry == 0) break;
      if (entry & 0x80000000u) {
        return Fail(error, errorSize, "imports %s ordinal %u, which the loader does not provide",
                    dll, entry & 0xFFFF);
      }
      if (!InRange(entry, 3, h->imageSize)) {
        return Fail(error, errorSize, "malformed imports of %s", dll);
      }
      const char *name = (const char *)base + entry + 2;
      const Shim *shim = ShimFind(dll, name);
      if (shim == NULL) {
        return Fail(error, errorSize, "imports %s!%s, which the loader does not provide", dll,
                    name);
      }
      const void *target =
          shim->isData ? shim->address
                       : BoundaryImportStub(shim->name, shim->address, shim->cleanupBytes);
      if (target == NULL) return Fail(error, errorSize, "too many imports");
      Put32(base + iat + 4 * i, (uint32_t)(uintptr_t)target);
      ++*count;
    }
  }
  return 0;
}

static uint32_t WindowsProtection(uint32_t characteristics) {
  const int x = (characteristics & kScnExecute) != 0;
  const int w = (characteristics & kScnWrite) != 0;
  if (x) return w ? 0x40 : 0x20;
  return w ? 0x04 : 0x02;
}

/* Gives every section its page protection, as the Windows loader does:
 * code read-only and executable, data writable only where the section says
 * so. */
static int ProtectSections(const Headers *h, uint8_t *base, char *error, size_t errorSize) {
  if (mprotect(base, (h->headerSize + kPageBytes - 1) & ~(uint32_t)(kPageBytes - 1),
               PROT_READ) != 0) {
    return Fail(error, errorSize, "cannot protect the headers");
  }
  for (uint32_t i = 0; i < h->sectionCount; ++i) {
    const uint8_t *s = h->sections + 40 * i;
    const uint32_t virtualSize = U32(s + 8), rva = U32(s + 12), flags = U32(s + 36);
    const uint32_t span = (virtualSize + kPageBytes - 1) & ~(uint32_t)(kPageBytes - 1);
    if (span == 0) continue;
    const int prot = ((flags & kScnRead) ? PROT_READ : 0) |
                     ((flags & kScnWrite) ? PROT_WRITE : 0) |
                     ((flags & kScnExecute) ? PROT_EXEC : 0);
    if (mprotect(base + rva, span, prot) != 0) {
      return Fail(error, errorSize, "cannot protect section %.8s", (const char *)s);
    }
    ShimAddRegion(base + rva, span, WindowsProtection(flags));
  }
  return 0;
}

/* The thread block that Windows code reaches through %fs: the exception
 * list end marker, the stack bounds, the block's own address at 0x18 and
 * the thread-local storage array at 0x2C. */
static uint8_t threadBlock[kPageBytes] __attribute__((aligned(kPageBytes)));
static void *tlsArray[64];

static int InstallThreadBlock(char *error, size_t errorSize) {
  uint8_t marker;
  const uint32_t stackTop = ((uint32_t)(uintptr_t)&marker + 0xFFFF) & ~0xFFFFu;
  Put32(threadBlock + 0x00, 0xFFFFFFFFu);
  Put32(threadBlock + 0x04, stackTop);
  Put32(threadBlock + 0x08, stackTop - 0x100000);
  Put32(threadBlock + 0x18, (uint32_t)(uintptr_t)threadBlock);
  Put32(threadBlock + 0x2C, (uint32_t)(uintptr_t)tlsArray);
  struct user_desc segment = {0};
  segment.entry_number = 0;
  segment.base_addr = (uint32_t)(uintptr_t)threadBlock;
  segment.limit = sizeof threadBlock - 1;
  segment.seg_32bit = 1;
  segment.useable = 1;
  if (syscall(SYS_modify_ldt, 1, &segment, sizeof segment) != 0) {
    return Fail(error, errorSize, "cannot install a thread block (modify_ldt)");
  }
  const uint16_t selector = (0 << 3) | 4 | 3; /* LDT entry 0, privilege 3 */
  __asm__ volatile("mov %0, %%fs" : : "r"(selector));
  return 0;
}

/* The TLS directory: the template copied into this thread's block, its
 * index written where the image asks, and the callbacks. */
static int SetUpTls(const Headers *h, PeImage *image, char *error, size_t errorSize) {
  const Directory d = DirectoryOf(h, kDirTls);
  if (d.size == 0) return 0;
  if (!InRange(d.rva, 24, image->size)) return Fail(error, errorSize, "malformed TLS");
  const uint8_t *tls = image->base + d.rva;
  const uint32_t base = (uint32_t)(uintptr_t)image->base;
  const uint32_t start = U32(tls), end = U32(tls + 4), index = U32(tls + 8);
  const uint32_t zeroFill = U32(tls + 16);
  if (end < start || !InRange(start - base, end - start, image->size) ||
      !InRange(index - base, 4, image->size)) {
    return Fail(error, errorSize, "malformed TLS");
  }
  image->tlsBlock = calloc(1, end - start + zeroFill + 1);
  if (image->tlsBlock == NULL) return Fail(error, errorSize, "out of memory");
  memcpy(image->tlsBlock, (const void *)(uintptr_t)start, end - start);
  tlsArray[0] = image->tlsBlock;
  Put32(image->base + (index - base), 0);
  image->tlsRva = d.rva;
  return 0;
}

int PeLoad(const char *path, int avoidPreferredBase, PeImage *image, char *error,
           size_t errorSize) {
  memset(image, 0, sizeof *image);
  FILE *f = fopen(path, "rb");
  if (f == NULL) return Fail(error, errorSize, "cannot open it");
  uint8_t *file = NULL;
  size_t size = 0, capacity = 0;
  for (;;) {
    if (size == capacity) {
      capacity = capacity != 0 ? 2 * capacity : 1 << 20;
      uint8_t *grown = realloc(file, capacity);
      if (grown == NULL) break;
      file = grown;
    }
    const size_t n = fread(file + size, 1, capacity - size, f);
    if (n == 0) break;
    size += n;
  }
  const int readError = ferror(f);
  fclose(f);
  Headers h;
  int result = readError ? Fail(error, errorSize, "cannot read it")
                         : ParseHeaders(file, size, &h, error, errorSize);
  if (result == 0) {
    image->base = MapImage(&h, avoidPreferredBase);
    if (image->base == NULL) result = Fail(error, errorSize, "cannot map %u bytes", h.imageSize);
  }
  if (result == 0) {
    image->size = h.imageSize;
    image->preferredBase = h.imageBase;
    image->entryRva = h.entryRva;
    image->exportRva = DirectoryOf(&h, kDirExport).rva;
    image->exportSize = DirectoryOf(&h, kDirExport).size;
    result = CopySections(&h, image->base, error, errorSize);
  }
  if (result == 0) result = Relocate(&h, image->base, &image->relocations, error, errorSize);
  if (result == 0) result = BindImports(&h, image->base, &image->importCount, error, errorSize);
  if (result == 0) result = SetUpTls(&h, image, error, errorSize);
  if (result == 0) result = ProtectSections(&h, image->base, error, errorSize);
  if (result == 0) result = InstallThreadBlock(error, errorSize);
  free(file);
  if (result != 0) PeUnload(image);
  return result;
}

/* The TLS callbacks (a null-terminated list of addresses), then the entry
 * point; each is __stdcall (module, reason, reserved). */
static int Notify(PeImage *image, uint32_t reason, char *error, size_t errorSize) {
  const uint32_t module = (uint32_t)(uintptr_t)image->base;
  const uint32_t args[3] = {module, reason, 0};
  if (image->tlsRva != 0) {
    const uint32_t callbacks = U32(image->base + image->tlsRva + 12);
    for (uint32_t at = callbacks; at != 0; at += 4) {
      if (!InRange(at - module, 4, image->size)) return Fail(error, errorSize, "malformed TLS");
      const uint32_t callback = U32((const uint8_t *)(uintptr_t)at);
      if (callback == 0) break;
      BoundaryCallStdcall("a TLS callback", (const void *)(uintptr_t)callback, args, 3);
    }
  }
  if (image->entryRva != 0 &&
      BoundaryCallStdcall("the entry point", image->base + image->entryRva, args, 3) == 0) {
    return Fail(error, errorSize, "the entry point answered FALSE to %s",
                reason == kDllProcessAttach ? "DLL_PROCESS_ATTACH" : "DLL_PROCESS_DETACH");
  }
  return 0;
}

int PeAttach(PeImage *image, char *error, size_t errorSize) {
  const int result = Notify(image, kDllProcessAttach, error, errorSize);
  image->attached = result == 0;
  return result;
}

int PeDetach(PeImage *image, char *error, size_t errorSize) {
  if (!image->attached) return 0;
  image->attached = 0;
  return Notify(image, kDllProcessDetach, error, errorSize);
}

void PeUnload(PeImage *image) {
  if (image->base != NULL) munmap(image->base, image->size);
  free(image->tlsBlock);
  tlsArray[0] = NULL;
  image->base = NULL;
  image->tlsBlock = NULL;
}

/* The export at index `i` of the address table; null when it is forwarded
 * (its address points back into the export directory) or empty. */
static void *ExportAt(const PeImage *image, uint32_t i) {
  const uint8_t *dir = image->base + image->exportRva;
  if (i >= U32(dir + 20)) return NULL;
  const uint32_t rva = U32(image->base + U32(dir + 28) + 4 * i);
  if (rva == 0 || (rva >= image->exportRva && rva < image->exportRva + image->exportSize) ||
      rva >= image->size) {
    return NULL;
  }
  return image->base + rva;
}

void *PeFindByOrdinal(const PeImage *image, uint32_t ordinal) {
  if (image->exportRva == 0) return NULL;
  const uint32_t ordinalBase = U32(image->base + image->exportRva + 16);
  if (ordinal < ordinalBase) return NULL;
  return ExportAt(image, ordinal - ordinalBase);
}

void *PeFindByName(const PeImage *image, const char *name) {
  if (image->exportRva == 0) return NULL;
  const uint8_t *dir = image->base + image->exportRva;
  const uint32_t count = U32(dir + 24);
  const uint8_t *names = image->base + U32(dir + 32);
  const uint8_t *ordinals = image->base + U32(dir + 36);
  for (uint32_t i = 0; i < count; ++i) {
    if (strcmp((const char *)image->base + U32(names + 4 * i), name) == 0) {
      return ExportAt(image, U16(ordinals + 2 * i));
    }
  }
  return NULL;
}
