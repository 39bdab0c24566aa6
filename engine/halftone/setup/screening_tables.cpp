// SPDX-License-Identifier: Apache-2.0
#include "halftone/setup/screening_tables.h"

#include <cstring>

namespace inkdot {

void BuildGreyCurve(const uint8_t *grey, uint16_t *curve) {
  for (int i = 0; i < 256; ++i) curve[i] = grey[i];
}

uint32_t GreyCurvePad(const uint8_t *grey) {
  int drop = 0;  // last level where the curve falls below 4
  for (int i = 1; i < 256; ++i) {
    if (grey[i] < 4 && grey[i - 1] >= 4) drop = i;
  }
  if (drop == 0) return 1;
  // grey[drop - 1] >= 4, so the divisor is never 0.
  const int32_t q = (256 - drop) * 2 / (grey[drop] + grey[drop - 1]) + 1;
  const int32_t pad = q & ~1;  // q >= 1: toward zero to an even number
  return pad < 1 ? 1u : static_cast<uint32_t>(pad);
}

void BuildPaddedGreyCurve(const uint8_t *grey, uint32_t pad, uint16_t *curve) {
  const uint32_t half = pad / 2;
  curve[0] = static_cast<uint16_t>(pad);
  for (uint32_t e = 1; e <= half; ++e) curve[e] = grey[0];
  for (uint32_t i = 0; i < 256; ++i) curve[1 + half + i] = grey[i];
  for (uint32_t e = half + 257; e <= pad + 255; ++e) curve[e] = grey[255];
  // A curve that ends at 0 prints nothing over its whole padded top.
  if (grey[255] == 0) {
    for (uint32_t e = 256; e <= pad + 255; ++e) curve[e] = 0;
  }
  // Entry pad + 256 is never read.
}

namespace {

// Dot parameters outside dot mode 2, by resolution row and then by ink
// load 250, 350, 500.
constexpr uint32_t kSingleSizeDotParams[4][3][4] = {
    {{32, 9, 4, 2}, {37, 20, 5, 2}, {55, 22, 8, 3}},      // x = y
    {{30, 8, 5, 2}, {35, 18, 6, 3}, {52, 20, 9, 4}},      // 1440 x 720, method 1
    {{56, 22, 11, 4}, {59, 27, 12, 5}, {60, 32, 14, 7}},  // other x != y, 2x != y
    {{40, 23, 6, 1}, {47, 30, 13, 2}, {63, 39, 14, 3}},   // 2x = y
};

void SetParams(uint32_t dotParams[4], uint32_t a, uint32_t b, uint32_t c,
               uint32_t d) {
  dotParams[0] = a;
  dotParams[1] = b;
  dotParams[2] = c;
  dotParams[3] = d;
}

}  // namespace

ResultCode ChooseDotParams(const HalftoneParams &page, int32_t inkLoad,
                           uint32_t dotParams[4]) {
  const uint32_t x = page.xResolution;
  const uint32_t y = page.yResolution;
  // 2x and 2y are 32-bit products and wrap as the original's did.
  if (page.dotMode == 2) {
    if (x == 2 * y) {
      SetParams(dotParams, 14, 3, 0, 0);
    } else if (x == y) {
      SetParams(dotParams, 15, 3, 1, 0);
    } else if (2 * x == y) {
      SetParams(dotParams, 111, 8, 2, 0);
    } else if (x == 2880 && y == 720) {
      SetParams(dotParams, 0, 0, 0, 0);
    } else {
      return kBadParams;
    }
    return kOk;
  }

  int load = 0;
  switch (inkLoad) {
    case 250: load = 0; break;
    case 350: load = 1; break;
    case 500: load = 2; break;
    default: return kBadResource;
  }
  int row = 0;
  if (x == y) {
    row = 0;
  } else if (x == 1440 && y == 720 && page.method == 1) {
    row = 1;
  } else if (2 * x != y) {
    row = 2;
  } else {
    row = 3;
  }
  std::memcpy(dotParams, kSingleSizeDotParams[row][load], 4 * sizeof(uint32_t));
  return kOk;
}

void BuildToneCurve(const HalftoneParams &page, int32_t inkLoad,
                    int32_t baseLoad, uint16_t *tone) {
  if (page.dotMode == 2) {
    for (int i = 0; i < 256; ++i) tone[i] = 255;
    return;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    const uint32_t rest = 255 - i;
    // The products are 32-bit and wrap for loads far outside 250..500,
    // as the original's did; the divisions are signed.
    const int32_t curve = static_cast<int32_t>(
        static_cast<uint32_t>(inkLoad - baseLoad) * rest * rest + 1);
    const int32_t base = static_cast<int32_t>(static_cast<uint32_t>(baseLoad) * 255);
    const int32_t t = static_cast<int32_t>(
        static_cast<uint32_t>(curve / 255) + static_cast<uint32_t>(base));
    // A 16-bit entry: keeps the low 16 bits.
    tone[i] = static_cast<uint16_t>(t / 100);
  }
}

bool LevelScaleUsesGreyCurve(const HalftoneParams &page) {
  return page.dotMode == 1 && IsScreenMethod(page.method) && page.colorMode == 0;
}

void BuildLevelScale(const HalftoneParams &page, uint32_t matrixSize,
                     const uint16_t *tone, const uint16_t *greyCurve,
                     uint16_t *scale) {
  // At 2880 dpi across each level covers half as many ranks.
  const uint32_t shift = static_cast<int32_t>(page.xResolution) >= 2880 ? 1 : 0;
  const uint32_t perLevel = matrixSize >> 8;
  // Unsigned 32-bit arithmetic; a 16-bit entry keeps the low 16 bits (the
  // top level of a 256 x 256 matrix, 65536, is stored as 0).
  for (uint32_t i = 0; i < 255; ++i) {
    scale[i] = static_cast<uint16_t>((i * perLevel * 255 / tone[i]) >> shift);
  }
  scale[255] = static_cast<uint16_t>(((matrixSize - 1) * 255 / tone[255] + 1) >> shift);

  if (greyCurve != nullptr && LevelScaleUsesGreyCurve(page)) {
    uint16_t *scratch = scale + 256;
    for (int i = 0; i < 256; ++i) scratch[i] = scale[greyCurve[i]];
    std::memcpy(scale, scratch, 256 * sizeof(uint16_t));
  }
}

void BuildDotCurve(const HalftoneParams &page, const uint16_t *tone,
                   int16_t *dot) {
  int32_t e[256];
  for (int32_t v = 1; v <= 254; ++v) e[v] = (2 * v + 128) / 3;
  // The ends of the curve rise faster.
  for (int32_t v = 1; v <= 9; ++v) {
    e[v] = v * 29 / 10 + 20;
    e[255 - v] = 255 - e[v];
  }
  // Follow the tone curve, leaning towards larger dots in the light half.
  for (int32_t v = 1; v <= 254; ++v) {
    const int32_t t = tone[v];
    e[v] = ((t - 255) / 3 + 255) * e[v] / 255 + (128 - v) * 20 / 128;
  }
  e[0] = 128;
  e[255] = 128;
  if (page.dotMode == 2) {
    if (page.xResolution == 1440) {
      e[1] = 26;
      e[2] = 36;
    } else {
      e[1] = 30;
      e[2] = 38;
    }
  }
  // 16-bit entries: the low 16 bits, read back as signed.
  for (int v = 0; v < 256; ++v) dot[v] = static_cast<int16_t>(e[v]);
}

namespace {

// The dot curve used at 2880 dpi across with the palette, by palette entry.
constexpr int16_t kDotCurve2880[256] = {
    128, 25,  32,  34,  36,  39,  41,  43,  46,  48,  51,  53,  55,  58,  60,  63,
    65,  67,  70,  72,  74,  77,  79,  82,  84,  86,  89,  91,  94,  96,  97,  100,
    101, 103, 105, 106, 109, 110, 112, 113, 115, 117, 118, 121, 122, 124, 127, 130,
    130, 130, 131, 131, 133, 135, 135, 137, 137, 138, 138, 140, 140, 142, 142, 144,
    145, 145, 147, 147, 149, 150, 150, 152, 152, 153, 155, 155, 157, 158, 158, 160,
    161, 161, 163, 165, 165, 166, 168, 168, 169, 171, 173, 173, 174, 176, 178, 178,
    179, 181, 182, 184, 184, 186, 187, 189, 190, 192, 192, 194, 195, 197, 198, 200,
    202, 203, 203, 204, 206, 207, 209, 210, 212, 213, 214, 216, 217, 219, 220, 222,
    223, 224, 225, 227, 228, 229, 230, 232, 233, 234, 235, 238, 239, 240, 241, 242,
    244, 245, 246, 248, 249, 250, 251, 250, 251, 253, 253, 253, 253, 253, 253, 255,
    255, 255, 255, 256, 257, 256, 258, 258, 258, 259, 260, 260, 260, 261, 261, 261,
    262, 263, 263, 263, 264, 265, 265, 266, 266, 266, 267, 267, 267, 268, 270, 269,
    270, 271, 272, 272, 272, 273, 273, 274, 275, 275, 276, 277, 275, 276, 277, 277,
    277, 279, 279, 279, 281, 281, 281, 282, 283, 282, 282, 283, 283, 284, 284, 285,
    285, 287, 287, 286, 287, 288, 289, 288, 289, 290, 289, 290, 290, 291, 291, 291,
    292, 293, 293, 293, 294, 295, 295, 295, 296, 297, 297, 297, 297, 298, 298, 298,
};

}  // namespace

void RemapDotCurve(const HalftoneParams &page, const uint8_t *palette,
                   int16_t *dot) {
  int16_t *scratch = dot + 256;
  for (int p = 0; p < 256; ++p) {
    const uint8_t *amounts = palette + 3 * p;
    scratch[p] = dot[amounts[0] + amounts[1] + amounts[2]];
  }
  std::memcpy(dot, scratch, 256 * sizeof(int16_t));
  if (page.xResolution == 2880) std::memcpy(dot, kDotCurve2880, sizeof kDotCurve2880);
}

void BuildPaletteTables(const uint8_t *palette, const uint16_t *scale,
                        HalftoneContext *ht) {
  for (int p = 0; p < 256; ++p) {
    const uint32_t s = palette[3 * p];
    const uint32_t m = palette[3 * p + 1];
    const uint32_t l = palette[3 * p + 2];
    // 32-bit words: a sum above 16 bits loses its top bits in the shift.
    ht->paletteLimits[p] = scale[l] | (static_cast<uint32_t>(scale[m]) + scale[l]) << 16;
    ht->paletteAmounts[p] = s | (s + m + l) << 16;
    ht->paletteTotals[p] = static_cast<uint32_t>(scale[s]) + scale[m] + scale[l];
  }
}

}  // namespace inkdot
