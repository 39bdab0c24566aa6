/* SPDX-License-Identifier: Apache-2.0 */
/*
 * inkdot: colour matching and halftoning for inkjet printer drivers.
 *
 * The public C interface of the engine: eight operations, the records
 * they exchange and the result codes they return.
 *
 * A host drives the engine on one thread, in this order:
 *   1. CmNew, then CmSetResource with each resource asked for through
 *      *nextId until it reads -1 (or a call fails).
 *   2. CmGetLut.
 *   3. HalftoneNew with that CmLut, then HalftoneSetResource with each
 *      resource asked for until *nextId reads -1.
 *   4. Halftone once per run of output pixels, for every row of every band.
 *   5. HalftoneDelete, then CmDelete. The colour-matching object must outlive
 *      the halftone set-up of step 3: that set-up reads a colour table and a
 *      selector record that the colour-matching object owns.
 *
 * The host is trusted: resource lengths are not passed and not checked, and
 * the engine reads exactly what each resource format says. Hosts that read
 * resources from files must validate them first.
 *
 * Records use the compiler's natural alignment. On a 32-bit target every
 * record has the exact word layout of the original 32-bit library; on a
 * 64-bit target the address and handle fields are 64 bits wide, and bytes
 * 0..467 of the CmLut still sit at the same offsets.
 */
#ifndef INKDOT_INKDOT_H
#define INKDOT_INKDOT_H

#include <stddef.h>
#include <stdint.h>

/* Version of this interface and of the library that implements it. */
#define INKDOT_VERSION_MAJOR 0
#define INKDOT_VERSION_MINOR 1
#define INKDOT_VERSION_PATCH 0
/* One number that rises with every release: 0x00MMmmpp. */
#define INKDOT_VERSION                                                    \
  ((INKDOT_VERSION_MAJOR << 16) | (INKDOT_VERSION_MINOR << 8) |           \
   INKDOT_VERSION_PATCH)

#ifdef __cplusplus
extern "C" {
#endif

/* Calling convention of the eight operations. On 32-bit Windows the
 * library is inkdot.dll (also the name in its export directory); it exports
 * the operations at ordinals 1..8 and each again under a decorated alias
 * _A_<name>@<argument bytes> (such as _A_CmNew@20) at ordinals 9..16. */
#if defined(_WIN32) && !defined(_WIN64)
#define INKDOT_CALL __stdcall
#else
#define INKDOT_CALL
#endif

/* Visibility of the eight operations in the shared library. */
#if defined(_WIN32)
#define INKDOT_API
#elif defined(__GNUC__)
#define INKDOT_API __attribute__((visibility("default")))
#else
#define INKDOT_API
#endif

/* ------------------------------------------------------------------------
 * Result codes. 0 is success; everything else names a failure.
 * ------------------------------------------------------------------------ */
typedef uint32_t ResultCode;

enum {
  INKDOT_OK = 0,
  /* An allocation failed; the memory layer has reported "size = N" under
   * the title "Alloc". CmSetResource also answers this when the selected
   * line of a selection table carries a negative id. */
  INKDOT_ALLOC_FAILED = 257,
  INKDOT_LOCK_FAILED = 258,   /* locking a new allocation failed */
  INKDOT_UNLOCK_FAILED = 259, /* unlocking an allocation failed */
  INKDOT_FREE_FAILED = 260,   /* freeing an allocation failed */
  /* Halftone: the page parameters select no kernel. */
  INKDOT_NO_KERNEL = 512,
  /* CmSetResource: a user setting out of range, or CmParams.reserved not 0.
   * HalftoneNew: params null, or inputFormat/colorMode refused.
   * HalftoneSetResource: no colour table to resample, or no dot parameters
   * for the resolution. */
  INKDOT_BAD_PARAMS = 513,
  /* CmSetResource: gamma outside 100..300. HalftoneNew: cmLut null.
   * HalftoneSetResource: the grid resource is not 32 points per axis. */
  INKDOT_BAD_TABLE = 514,
  INKDOT_BAD_RESERVED = 515, /* HalftoneNew: reserved not 0 */
  INKDOT_RUN_TOO_LONG = 518, /* Halftone: startX + count above maxPixels */
  INKDOT_BAD_RESERVED_A = 522, /* Halftone: reservedA not 0 */
  INKDOT_BAD_RESERVED_B = 523, /* Halftone: reservedB not 0 (grey kernels) */
  /* No selection-table line matched; an unusable halftone resource; a call
   * after the last phase; a matrix that a kernel cannot use; Halftone on an
   * object whose set-up is incomplete or failed. */
  INKDOT_BAD_RESOURCE = 768,
  INKDOT_BAD_PALETTE = 784 /* a dot palette entry sums above 255 */
};

#if defined(__cplusplus) || \
    (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define INKDOT_INLINE static inline
#elif defined(__GNUC__)
#define INKDOT_INLINE static __inline__
#else
#define INKDOT_INLINE static
#endif

/* A short English sentence for a result code, or "unknown result code" for
 * a value the library never returns. The text is static, never null. Defined
 * here, not exported, so that every host words the codes alike. */
INKDOT_INLINE const char *InkdotResultText(ResultCode code) {
  switch (code) {
    case INKDOT_OK:
      return "success";
    case INKDOT_ALLOC_FAILED:
      return "an allocation failed, or a selection table selected a negative "
             "resource id";
    case INKDOT_LOCK_FAILED:
      return "locking a new allocation failed";
    case INKDOT_UNLOCK_FAILED:
      return "unlocking an allocation failed";
    case INKDOT_FREE_FAILED:
      return "freeing an allocation failed";
    case INKDOT_NO_KERNEL:
      return "no halftone kernel exists for this combination of method, "
             "input, resolution and dot mode";
    case INKDOT_BAD_PARAMS:
      return "parameters refused: a colour setting outside -50..50, a "
             "refused input format, a missing colour table, or no dot "
             "parameters for the resolution";
    case INKDOT_BAD_TABLE:
      return "refused: gamma outside 1.00..3.00, a missing colour-matching "
             "result, or a grid resource without 32 points per axis";
    case INKDOT_BAD_RESERVED:
      return "a reserved argument of HalftoneNew is not 0";
    case INKDOT_RUN_TOO_LONG:
      return "a run ends beyond the page width the halftone object was "
             "made for";
    case INKDOT_BAD_RESERVED_A:
      return "the first reserved argument of Halftone is not 0";
    case INKDOT_BAD_RESERVED_B:
      return "the second reserved argument of Halftone is not 0";
    case INKDOT_BAD_RESOURCE:
      return "no selection-table line matches the page, or a halftone "
             "resource, call or threshold matrix is unusable";
    case INKDOT_BAD_PALETTE:
      return "a dot palette entry adds up to more than 255";
    default:
      return "unknown result code";
  }
}

/* ------------------------------------------------------------------------
 * Named values of the mode fields.
 * ------------------------------------------------------------------------ */

/* HalftoneParams.method. */
enum {
  /* Single-size dots: two-level midpoint dither (colour pages snap to the
   * corners of the colour cube). No multi-size-dot kernel. */
  INKDOT_METHOD_MIDPOINT = 0,
  /* Error diffusion, one error line per plane. */
  INKDOT_METHOD_DIFFUSION = 1,
  /* Set up as a screening method (no error lines for grey input) but run
   * by the diffusion kernels, which then answer 512. No multi-size-dot
   * kernel. */
  INKDOT_METHOD_UNBUFFERED_DIFFUSION = 2,
  /* Screening against the threshold matrix; with single-size dots and
   * colour input, methodVariant 0 or 2 adds diffusion, others dither. */
  INKDOT_METHOD_SCREEN = 3
};

/* HalftoneParams.inputFormat: the layout of one source pixel. Values 1 and
 * 3 are refused by HalftoneNew; values not listed take four bytes. */
enum {
  INKDOT_INPUT_GREY = 0,      /* one byte: the grey level */
  INKDOT_INPUT_RGB = 2,       /* red, green, blue */
  INKDOT_INPUT_INKS = 4,      /* four bytes: the ink levels themselves */
  INKDOT_INPUT_RGB_ALT = 5,   /* three bytes, read as INKDOT_INPUT_RGB */
  INKDOT_INPUT_SIX_BYTES = 6  /* six bytes per pixel */
};

/* HalftoneParams.colorMode. */
enum {
  INKDOT_COLOR_GREY = 0,       /* one channel, used directly */
  INKDOT_COLOR_TABLE = 1,      /* colour through the 3-D colour table */
  INKDOT_COLOR_TABLE_WIDE = 3  /* as 1, and a wider area before the dot curve */
};

/* HalftoneParams.dotMode. */
enum {
  INKDOT_DOTS_SINGLE = 0,       /* one bit per pixel per ink */
  INKDOT_DOTS_SINGLE_CURVE = 1, /* as 0, with the grey-curve remap of levels */
  INKDOT_DOTS_MULTI = 2         /* small, medium, large: two bits per pixel */
};

/* CmParams.grayMode. */
enum {
  INKDOT_GRAY_NORMAL = 0,
  INKDOT_GRAY_COMPOSITE = 1, /* grey built from the colour inks, match mode 4 */
  INKDOT_GRAY_PLAIN = 4      /* match mode 0, colorAdjustMode taken as 0 */
};

/* ------------------------------------------------------------------------
 * Records.
 * ------------------------------------------------------------------------ */

/* One (key, value) pair of the host's option list. Keys in use:
 *   1   address of a signed 32-bit gamma in hundredths (0 or a null
 *       address means 150)
 *   256 address of 768 bytes: red, green and blue tone curves
 *   512 address of the calibration block
 * Calibration: a block for a table of more than 20 inks counts as invalid
 * (the calibration is skipped). In the channel-map resource a record of
 * more than 20 bytes before its 0xFE, or a record of this head that names a
 * plane of channelCount or more (or lacks a plane number), is refused with
 * 768 and the calibration state released. */
typedef struct CmOption {
  int32_t key;
  const void *value;
} CmOption;

/* The host's option list: `count` pairs follow the count. The flexible
 * array member is standard C99; C89 and C++ compilers take it as an
 * extension, which the guards below keep quiet under -pedantic. */
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wunknown-warning-option"
#pragma clang diagnostic ignored "-Wc99-extensions"
#pragma clang diagnostic ignored "-Wflexible-array-extensions"
#endif
typedef struct CmOptionList {
  int32_t count;
#if defined(__GNUC__)
  __extension__ CmOption pairs[]; /* `count` entries */
#else
  CmOption pairs[]; /* `count` entries */
#endif
} CmOptionList;
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

/* The user's colour settings, copied by CmNew. */
typedef struct CmParams {
  int32_t reserved;        /* must be 0 */
  int32_t brightness;      /* -50..50 */
  int32_t contrast;        /* -50..50 */
  int32_t saturation;      /* -50..50 */
  int32_t redOffset;       /* -50..50 */
  int32_t greenOffset;     /* -50..50 */
  int32_t blueOffset;      /* -50..50 */
  int32_t tableKeyNumber;  /* must equal column 8 of the selected line */
  int32_t tableKeyName;    /* must equal the key named by column 4 */
  int32_t grayMode;        /* INKDOT_GRAY_*: 0 normal, 1 composite, 4 plain */
  int32_t colorAdjustMode; /* low 16 bits: match mode; 2 = enhanced */
  int32_t neutralBalance;  /* 50 = neutral */
  int32_t unused12;
  int32_t unused13;
  const CmOptionList *options; /* or null */
} CmParams;

/* The page parameters, copied by CmNew and HalftoneNew. */
typedef struct HalftoneParams {
  uint32_t method;        /* INKDOT_METHOD_* */
  uint32_t methodVariant; /* with method 3: 0 screening with diffusion, 1 dither */
  uint32_t inputFormat;   /* INKDOT_INPUT_* */
  uint32_t colorMode;     /* INKDOT_COLOR_*; 0 exactly when inputFormat is 0 */
  uint32_t xResolution;
  uint32_t yResolution;
  uint32_t dotMode;       /* INKDOT_DOTS_*; 2 = multi-size dots */
  int32_t magnification;  /* each source pixel covers n + 1 output pixels */
  uint32_t spareWord1;
  uint32_t maxPixels;     /* largest startX + count of a band call */
  uint32_t spareWord2;
} HalftoneParams;

/* The colour-matching results that the halftone side reads. The block and
 * everything it points to belong to the colour-matching object. */
typedef struct CmLut {
  int32_t unused0;
  int32_t tableKind;      /* 1 and 3 rewrite the neutral axis */
  int32_t channelCount;   /* output bytes per grid node */
  int32_t compositeGray;  /* 1 = the grey axis keeps its colour inks */
  int32_t levelParams[4]; /* carried for the halftone side */
  int32_t inkLoadLight;   /* ink-load divisor in percent, light end */
  int32_t inkLoadDark;    /* ink-load divisor in percent, dark end */
  int32_t inkParams[3];   /* carried for the halftone side */
  int32_t gridSize1;      /* nodes on the red axis */
  int32_t gridSize2;      /* nodes on the green axis */
  int32_t gridSize3;      /* nodes on the blue axis */
  int32_t gridSize4;      /* nodes on a fourth axis, else 1 */
  uint8_t nodes1[36];     /* node positions on the red axis */
  uint8_t nodes2[36];     /* node positions on the green axis */
  uint8_t nodes3[36];     /* node positions on the blue (or fourth) axis */
  int32_t unused44[9];
  uint8_t grayToBlack[256]; /* black amount of the grey level v */
  uint8_t *tableData;       /* channelCount bytes per node, blue innermost */
  uintptr_t tableHandle;    /* non-zero while a table is held */
  int32_t tableResourceId;
  int32_t halftoneResourceId; /* first resource the halftone side asks for */
  int32_t unused121;
  int32_t unused122;
  const uint8_t *selectorRecord; /* dot-mode selector record, or null */
  uintptr_t selectorHandle;
  int32_t unused125;
  int32_t unused126;
  uintptr_t blockHandle; /* allocation handle of this block */
} CmLut;

/* Opaque objects; the handle is the object's address. */
typedef struct CmContext CmContext;
typedef struct HalftoneContext HalftoneContext;

/* ------------------------------------------------------------------------
 * Operations.
 * ------------------------------------------------------------------------ */

/* Creates a colour-matching object from the colour settings and the page
 * parameters. Writes 0 to *nextId (the first resource wanted is the
 * selection table, id 0) also on failure, and the object to *handle.
 * `ignored` is not read. Returns 0, 257 or 258. */
INKDOT_API ResultCode INKDOT_CALL CmNew(const CmParams *params,
                                        const HalftoneParams *page,
                                        uint32_t ignored, int32_t *nextId,
                                        CmContext **handle);

/* Hands the colour-matching object the resource whose id it asked for last;
 * writes the next id wanted, or -1 when the colour conversation is over.
 * The option list must stay valid until then.
 *
 * Refused with 768:
 * - a call after the conversation has ended (-1 written) or failed; it
 *   writes -1 and changes nothing else;
 * - a selection table without "//", or beyond the format's limits (more than
 *   200 entry lines, a name over 11 characters, more than 12 method, 32 key
 *   or 12 mode names, a field or list/entry line over 255 characters): read
 *   as if no line matched, *nextId 0;
 * - a colour-table resource whose grid is not a cube of at most 36 nodes per
 *   axis, whose node lists do not run from 0 to 255 rising strictly, whose
 *   channel count is 0, or whose ink-load pair leaves the curve's divisor at
 *   or below 0 where the curve is applied; nothing is built, and the object
 *   stays as deletable as after any other failure.
 * The colour table's auxiliary record (the dot-mode selector) is copied into
 * a block of at least 24 bytes: bytes past the record's stored length read
 * as 0 when HalftoneSetResource reads the record. */
INKDOT_API ResultCode INKDOT_CALL CmSetResource(CmContext *handle,
                                                const void *resource,
                                                int32_t *nextId);

/* Releases the object and everything it holds, including a calibration
 * state left behind by a conversation that stopped half-way. Returns 0. */
INKDOT_API ResultCode INKDOT_CALL CmDelete(CmContext *handle);

/* Returns the object's CmLut; complete once CmSetResource has written -1. */
INKDOT_API CmLut *INKDOT_CALL CmGetLut(CmContext *handle);

/* Creates a halftone object from the page parameters and a CmLut. Checks
 * `reserved` (515), `params` (513) and `cmLut` (514) first, then writes the
 * CmLut's halftoneResourceId to *firstResourceId. A refused
 * inputFormat/colorMode combination answers 513 with a live object in
 * *handle, which the caller releases with HalftoneDelete. */
INKDOT_API ResultCode INKDOT_CALL HalftoneNew(const HalftoneParams *params,
                                              const CmLut *cmLut,
                                              uint32_t reserved,
                                              int32_t *firstResourceId,
                                              HalftoneContext **handle);

/* Hands the halftone object the resource whose id it asked for last; writes
 * the next id wanted, or -1 when the set-up is complete. Beyond the formats:
 * once -1 was written every further call answers 768 and changes nothing
 * but the call count. Grid positions that do not start at 0, rise strictly
 * and end at 255 answer 514, and a source colour table on such a grid or
 * without channels 513 (all blocks freed); channels the source lacks are 0
 * in the halftone table. A matrix whose width is not a power of two or
 * whose height is 0, ink loads that give a tone entry of 0, and a step
 * whose earlier tables a failed call left missing answer 768 (blocks
 * kept). A grey curve that never falls below 4 is padded by 1. */
INKDOT_API ResultCode INKDOT_CALL HalftoneSetResource(HalftoneContext *handle,
                                                      const void *resource,
                                                      int32_t *nextId);

/* Converts one run of `count` pixels of row `row`, starting at column
 * `startX`, into dot data: plane k at dst + k * planeStride, the first
 * `firstBit` pixel positions of the first byte kept. `spareArg` is not
 * read; `reservedA` and `reservedB` must be 0.
 * Multi-size-dot kernels: the tall colour kernel's 2:1 reduction of colour
 * pixels needs a matrix width that divides 256 (else 768), and when exactly
 * one pixel of a pair is black its small dot of ink 3 does not mark ink 3's
 * activity lane (the lanes shift as for any other pixel); a channel lying
 * on the last grid point never steps past it; a grey curve pad of 0 counts
 * as 1.
 * Choices of this library: a call on an object whose set-up is not complete
 * answers 768 after the run checks (518, 522) and writes nothing; the set-up
 * is complete once the last resource the page needs (the threshold matrix,
 * or for dotMode 2 the dot palette) has been taken with no call of the
 * set-up failing before, and HalftoneNew accepted the parameters. So an
 * empty resource-id list, a selector record whose palette id is -1, or any
 * failed HalftoneSetResource call leave an object that only refuses band
 * calls. A run whose startX + count does not fit in 32 bits answers 518,
 * as does a replicated run (magnification 2 or more) of an input format
 * with 3 bytes a pixel that prepares more than three quarters of maxPixels
 * pixels, which the colour kernels, reading 4 bytes a pixel, would read
 * past the row buffer with;
 * one-bit output takes `firstBit` modulo 8; error diffusion
 * whose error lines the set-up did not allocate (method 2) answers 512; with
 * inputFormat 4, one-bit colour error diffusion (methods other than 0 and 3)
 * takes the four source bytes as the ink levels of every pixel (no white
 * test, no averaging). */
INKDOT_API ResultCode INKDOT_CALL Halftone(HalftoneContext *handle,
                                           const void *src, void *dst,
                                           uint32_t planeStride,
                                           uint32_t firstBit, uint32_t count,
                                           uint32_t startX, uint32_t spareArg,
                                           uint32_t row, uint32_t reservedA,
                                           uint32_t reservedB);

/* Releases the halftone object. Returns 0, 259 or 260; on failure the
 * object itself is kept. */
INKDOT_API ResultCode INKDOT_CALL HalftoneDelete(HalftoneContext *handle);

/* ------------------------------------------------------------------------
 * Layout checks.
 * ------------------------------------------------------------------------ */
#if (defined(__cplusplus) && __cplusplus >= 201103L) || \
    (defined(_MSVC_LANG) && _MSVC_LANG >= 201103L)
#define INKDOT_STATIC_ASSERT(c, m) static_assert(c, m)
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && \
    __STDC_VERSION__ >= 201112L
#define INKDOT_STATIC_ASSERT(c, m) _Static_assert(c, m)
#else
/* Older languages: an array type of negative size stops the build. */
#define INKDOT_ASSERT_NAME2(line) inkdot_layout_check_##line
#define INKDOT_ASSERT_NAME(line) INKDOT_ASSERT_NAME2(line)
#define INKDOT_STATIC_ASSERT(c, m) \
  typedef char INKDOT_ASSERT_NAME(__LINE__)[(c) ? 1 : -1]
#endif

INKDOT_STATIC_ASSERT(offsetof(CmLut, tableKind) == 4, "CmLut word 1");
INKDOT_STATIC_ASSERT(offsetof(CmLut, levelParams) == 16, "CmLut word 4");
INKDOT_STATIC_ASSERT(offsetof(CmLut, inkLoadLight) == 32, "CmLut word 8");
INKDOT_STATIC_ASSERT(offsetof(CmLut, inkParams) == 40, "CmLut word 10");
INKDOT_STATIC_ASSERT(offsetof(CmLut, gridSize1) == 52, "CmLut word 13");
INKDOT_STATIC_ASSERT(offsetof(CmLut, gridSize4) == 64, "CmLut word 16");
INKDOT_STATIC_ASSERT(offsetof(CmLut, nodes1) == 68, "CmLut byte 68");
INKDOT_STATIC_ASSERT(offsetof(CmLut, nodes2) == 104, "CmLut byte 104");
INKDOT_STATIC_ASSERT(offsetof(CmLut, nodes3) == 140, "CmLut byte 140");
INKDOT_STATIC_ASSERT(offsetof(CmLut, grayToBlack) == 212, "CmLut byte 212");
INKDOT_STATIC_ASSERT(offsetof(HalftoneParams, magnification) == 28,
                     "HalftoneParams word 7");
INKDOT_STATIC_ASSERT(offsetof(HalftoneParams, maxPixels) == 36,
                     "HalftoneParams word 9");
INKDOT_STATIC_ASSERT(sizeof(HalftoneParams) == 44, "HalftoneParams size");
INKDOT_STATIC_ASSERT(offsetof(CmParams, neutralBalance) == 44,
                     "CmParams word 11");

#if UINTPTR_MAX == 0xFFFFFFFFu
/* On a 32-bit target the records are exactly the original words. */
INKDOT_STATIC_ASSERT(sizeof(CmParams) == 60, "CmParams size");
INKDOT_STATIC_ASSERT(offsetof(CmParams, options) == 56, "CmParams word 14");
INKDOT_STATIC_ASSERT(sizeof(CmOption) == 8, "CmOption size");
INKDOT_STATIC_ASSERT(offsetof(CmOptionList, pairs) == 4, "option pairs");
INKDOT_STATIC_ASSERT(sizeof(CmLut) == 512, "CmLut size");
INKDOT_STATIC_ASSERT(offsetof(CmLut, tableData) == 468, "CmLut word 117");
INKDOT_STATIC_ASSERT(offsetof(CmLut, tableHandle) == 472, "CmLut word 118");
INKDOT_STATIC_ASSERT(offsetof(CmLut, tableResourceId) == 476,
                     "CmLut word 119");
INKDOT_STATIC_ASSERT(offsetof(CmLut, halftoneResourceId) == 480,
                     "CmLut word 120");
INKDOT_STATIC_ASSERT(offsetof(CmLut, selectorRecord) == 492,
                     "CmLut word 123");
INKDOT_STATIC_ASSERT(offsetof(CmLut, selectorHandle) == 496,
                     "CmLut word 124");
INKDOT_STATIC_ASSERT(offsetof(CmLut, blockHandle) == 508, "CmLut word 127");
#endif

#undef INKDOT_STATIC_ASSERT
#undef INKDOT_ASSERT_NAME
#undef INKDOT_ASSERT_NAME2

#ifdef __cplusplus
}
#endif

#endif /* INKDOT_INKDOT_H */
