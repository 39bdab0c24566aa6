/* SPDX-License-Identifier: Apache-2.0 */
/*
 * Drives the eight operations of the inkdot engine the way a printer driver
 * does, through the public header alone: a colour-matching object and its
 * resource conversation, a halftone object and its set-up, one band of
 * rows, then both objects released. The resources are built in memory: a
 * selection table, a 2-point colour cube (RGB to cyan, magenta, yellow,
 * black), a resource-id list, a grid, a 16 x 16 threshold matrix and a dot
 * palette. Prints the dots each ink received and exits 0 on success.
 */
#include <inkdot/inkdot.h>
#include <stdio.h>
#include <string.h>

enum { kWidth = 64, kRows = 8, kInks = 4 };

static const char kSelectionTable[] =
    "example //\n"
    "table next method key x y mode number dots\n"
    "5000 400 diffusion key 720 720 normal 0 2\n"
    "/\n"
    "dither diffusion midpoint screen\n"
    "0 key\n"
    "normal\n"
    "0\n";

static uint8_t colour_table[128];
static uint8_t id_list[12];
static uint8_t grid[34];
/* At least 256 thresholds: a level covers level / 256 of the matrix ranks. */
static uint8_t matrix[4 + 16 * 16 * 2];
static uint8_t palette[768];

static void build_colour_table(void) {
  size_t at = 76;
  int r, g, b;
  colour_table[48] = 250 >> 8; /* ink load, light end: 250 % (big-endian) */
  colour_table[49] = 250 & 0xFF;
  colour_table[51] = 100; /* ink load, dark end: 100 % */
  colour_table[72] = colour_table[73] = colour_table[74] = 2; /* 2 x 2 x 2 grid */
  colour_table[75] = kInks;
  for (r = 0; r < 3; ++r) { /* node lists 0, 255 for each axis */
    colour_table[at++] = 0;
    colour_table[at++] = 255;
  }
  for (r = 0; r < 2; ++r)
    for (g = 0; g < 2; ++g)
      for (b = 0; b < 2; ++b) {
        int c = r ? 0 : 255, m = g ? 0 : 255, y = b ? 0 : 255;
        int k = c < m ? (c < y ? c : y) : (m < y ? m : y);
        colour_table[at++] = (uint8_t)(c - k);
        colour_table[at++] = (uint8_t)(m - k);
        colour_table[at++] = (uint8_t)(y - k);
        colour_table[at++] = (uint8_t)k;
      }
  colour_table[at++] = 255; /* neutral black values */
  colour_table[at++] = 0;
  /* The dot-mode selector record: type 1, palette 420 (little-endian). */
  colour_table[16] = (uint8_t)at; /* its offset */
  colour_table[20] = 8;           /* its length */
  colour_table[at] = 4;           /* four bytes follow the length */
  colour_table[at + 4] = 1;
  colour_table[at + 6] = 420 & 0xFF;
  colour_table[at + 7] = 420 >> 8;
}

static void build_halftone_resources(void) {
  /* Grid 410 then matrix 411 for every resolution class, big-endian. */
  static const uint16_t ids[5] = {410, 411, 411, 411, 411};
  int i, x, y;
  for (i = 0; i < 5; ++i) {
    id_list[2 * i] = (uint8_t)(ids[i] >> 8);
    id_list[2 * i + 1] = (uint8_t)ids[i];
  }
  id_list[10] = id_list[11] = 0xFF;
  grid[0] = 32; /* 32 points, little-endian */
  for (i = 0; i < 31; ++i) grid[2 + i] = (uint8_t)(i * 8);
  grid[33] = 255;
  matrix[0] = matrix[1] = 16;
  for (y = 0; y < 16; ++y)
    for (x = 0; x < 16; ++x) {
      /* 16 x 16 ordered-dither ranks from interleaved, reversed bits. */
      int v = x ^ y, rank = 0;
      for (i = 0; i < 4; ++i)
        rank |= (((v >> i) & 1) << (7 - 2 * i)) | (((y >> i) & 1) << (6 - 2 * i));
      matrix[4 + 2 * (y * 16 + x)] = (uint8_t)rank; /* ranks below 256: high byte 0 */
    }
  for (i = 0; i < 256; ++i) { /* small, medium, large: a third each */
    palette[3 * i] = (uint8_t)(i - 2 * (i / 3));
    palette[3 * i + 1] = (uint8_t)(i / 3);
    palette[3 * i + 2] = (uint8_t)(i / 3);
  }
}

static const void *colour_resource(int32_t id) {
  if (id == 0) return kSelectionTable;
  if (id == 5000) return colour_table;
  return NULL;
}

static const void *halftone_resource(int32_t id) {
  switch (id) {
    case 400: return id_list;
    case 410: return grid;
    case 411: return matrix;
    case 420: return palette;
    default: return NULL;
  }
}

static int check(const char *operation, ResultCode code) {
  if (code != INKDOT_OK) fprintf(stderr, "%s failed with %u: %s\n", operation, (unsigned)code,
            InkdotResultText(code));
  return code == INKDOT_OK;
}

int main(void) {
  CmParams params;
  HalftoneParams page;
  CmContext *cm = NULL;
  HalftoneContext *ht = NULL;
  int32_t next = 0;
  uint8_t pixels[kWidth * 4];
  uint8_t planes[kInks][kWidth / 4];
  long dots[kInks] = {0, 0, 0, 0};
  int ok = 0, x, row, ink;

  build_colour_table();
  build_halftone_resources();
  memset(&params, 0, sizeof params);
  params.neutralBalance = 50;
  memset(&page, 0, sizeof page);
  page.method = INKDOT_METHOD_DIFFUSION;
  page.inputFormat = INKDOT_INPUT_RGB; /* handed over as R, G, B, 0 */
  page.colorMode = INKDOT_COLOR_TABLE;
  page.xResolution = page.yResolution = 720;
  page.dotMode = INKDOT_DOTS_MULTI; /* small, medium and large dots */
  page.maxPixels = kWidth;

  /* 1. The colour conversation, following nextId until -1. */
  if (!check("CmNew", CmNew(&params, &page, 0, &next, &cm))) return 1;
  while (next != -1) {
    const void *resource = colour_resource(next);
    if (!resource) {
      fprintf(stderr, "no colour resource %d\n", (int)next);
      goto done;
    }
    if (!check("CmSetResource", CmSetResource(cm, resource, &next))) goto done;
  }

  /* 2, 3. The halftone set-up, while the colour object still lives. */
  if (!check("HalftoneNew", HalftoneNew(&page, CmGetLut(cm), 0, &next, &ht))) goto done;
  while (next != -1) {
    const void *resource = halftone_resource(next);
    if (!resource) {
      fprintf(stderr, "no halftone resource %d\n", (int)next);
      goto done;
    }
    if (!check("HalftoneSetResource", HalftoneSetResource(ht, resource, &next))) goto done;
  }

  /* 4. One band: a ramp from white to a dark orange, one call per row. */
  for (row = 0; row < kRows; ++row) {
    for (x = 0; x < kWidth; ++x) {
      pixels[4 * x] = (uint8_t)(255 - x);
      pixels[4 * x + 1] = (uint8_t)(255 - 3 * x);
      pixels[4 * x + 2] = (uint8_t)(255 - 4 * x);
      pixels[4 * x + 3] = 0;
    }
    memset(planes, 0, sizeof planes);
    if (!check("Halftone", Halftone(ht, pixels, planes, sizeof planes[0], 0, kWidth, 0, 0,
                                    (uint32_t)row, 0, 0)))
      goto done;
    for (ink = 0; ink < kInks; ++ink)
      for (x = 0; x < kWidth; ++x) dots[ink] += (planes[ink][x / 4] >> (6 - 2 * (x % 4))) & 3;
  }
  printf("dot sizes summed per ink: cyan %ld, magenta %ld, yellow %ld, black %ld\n", dots[0],
         dots[1], dots[2], dots[3]);
  /* The ramp runs from white through orange: magenta and yellow carry it. */
  ok = dots[1] > 0 && dots[2] > dots[1];

done:
  /* 5. Release: the halftone object first, then the colour object. */
  if (ht && !check("HalftoneDelete", HalftoneDelete(ht))) ok = 0;
  if (cm) CmDelete(cm);
  return ok ? 0 : 1;
}
