// SPDX-License-Identifier: Apache-2.0
#include "colour/rebuild.h"

#include "colour/cm_context.h"
#include "colour/interpolate.h"
#include "colour/pixel_adjust.h"
#include "colour/tone_curves.h"
#include "frame/memory_blocks.h"

namespace inkdot {

namespace {

// Node lists hold at most this many positions.
constexpr int32_t kMaxNodes = 36;

void AdjustPixel(const ToneCurves &curves, uint8_t *pixel) {
  int32_t rgb[3] = {pixel[1], pixel[2], pixel[3]};
  SaturateColour(curves.saturation, rgb);
  pixel[1] = static_cast<uint8_t>(curves.curveRed[rgb[0]]);
  pixel[2] = static_cast<uint8_t>(curves.curveGreen[rgb[1]]);
  pixel[3] = static_cast<uint8_t>(curves.curveBlue[rgb[2]]);
}

void CorrectPixel(const CmContext &cm, uint8_t *pixel) {
  int32_t rgb[3] = {pixel[1], pixel[2], pixel[3]};
  CorrectInks(cm.dominantReduction, cm.pairReduction, cm.hueShift, rgb);
  for (int c = 0; c < 3; ++c) pixel[1 + c] = static_cast<uint8_t>(rgb[c]);
}

}  // namespace

ResultCode RebuildTable(CmContext *cm) {
  CmLut *lut = cm->lut;
  const int32_t size1 = lut->gridSize1;
  const int32_t size2 = lut->gridSize2;
  const int32_t size3 = lut->gridSize3;
  const uint32_t channels = static_cast<uint32_t>(lut->channelCount);
  // The decoder refuses grids beyond the node lists; the row buffer below
  // relies on it.
  if (size3 > kMaxNodes || size1 < 1 || size2 < 1 || size3 < 1) return kBadResource;

  CmParams settings = cm->params;
  const bool enhanced = settings.colorAdjustMode == 2 && settings.grayMode == 0;
  if (enhanced) {
    // The table's own boost may take the setting above 50 but no further;
    // a sum below -50 is left for the range check to refuse.
    settings.saturation += cm->saturationBoost;
    if (settings.saturation > 50) settings.saturation = 50;
  }

  const uint32_t rowBytes = static_cast<uint32_t>(size3) * channels;
  uintptr_t newHandle = 0;
  void *newMemory = nullptr;
  ResultCode result = MemAcquire(
      static_cast<uint32_t>(size1) * static_cast<uint32_t>(size2) * rowBytes, 1,
      &newHandle, &newMemory);
  if (result != kOk) return result;

  ToneCurves *curves = nullptr;
  result = BuildToneCurves(&settings, settings.options, &curves);
  if (result != kOk) {
    MemDiscard(newHandle);
    return result;
  }

  uint8_t row[kMaxNodes * 4] = {};
  uint8_t *out = static_cast<uint8_t *>(newMemory);
  for (int32_t a = 0; a < size1; ++a) {
    for (int32_t b = 0; b < size2; ++b) {
      for (int32_t k = 0; k < size3; ++k) {
        uint8_t *pixel = row + 4 * k;
        pixel[1] = lut->nodes1[a];
        pixel[2] = lut->nodes2[b];
        pixel[3] = lut->nodes3[k];
        // Black and white keep their own ink amounts whatever the
        // settings, so the full range of the printer stays reachable.
        const bool black = a == 0 && b == 0 && k == 0;
        const bool white = a == size1 - 1 && b == size2 - 1 && k == size3 - 1;
        if (!black && !white) AdjustPixel(*curves, pixel);
        if (enhanced) CorrectPixel(*cm, pixel);
      }
      // The old table is still installed: the row reads it while the new
      // table fills node by node in the table's own order.
      InterpolateRun(lut, static_cast<uint32_t>(size3), row, out);
      out += rowBytes;
    }
  }

  // The curves have served; a failure to release them does not undo the
  // rebuild.
  ReleaseToneCurves(curves);
  MemDiscard(lut->tableHandle);
  lut->tableHandle = newHandle;
  lut->tableData = static_cast<uint8_t *>(newMemory);
  return kOk;
}

}  // namespace inkdot
