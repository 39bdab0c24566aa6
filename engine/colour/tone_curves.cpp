// SPDX-License-Identifier: Apache-2.0
// Tone curves from the user's brightness, contrast, gamma and offsets and
// the host's own curves.
#include "colour/tone_curves.h"

#include "colour/option_list.h"
#include "frame/memory_blocks.h"

namespace inkdot {

namespace {

constexpr int32_t kDefaultGamma = 150;
// The cubic pieces carry a * T^3 with a scaled by 65536 / 100.
constexpr int64_t kCubicScale = 6553600;

bool OutOfRange(int32_t setting) { return setting < -50 || setting > 50; }

int32_t Clamp255(int64_t value) {
  if (value < 0) return 0;
  if (value > 255) return 255;
  return static_cast<int32_t>(value);
}

int64_t Cube(int64_t x) { return x * x * x; }

// Brightness below 0: a line of slope k/100 through 256 with a cubic toe;
// above 0: a line of slope k/100 through 0 with a cubic shoulder. The
// comparisons are on the index, the formulas on the current value.
void ApplyBrightness(int32_t brightness, int32_t *tone) {
  if (brightness < 0) {
    const int64_t k = 10000 / (brightness + 100);
    const int64_t t = ((k - 100) * 768) / (2 * k);
    const int64_t a = (k * 65536) / (3 * t * t);
    for (int i = 0; i < 256; ++i) {
      const int64_t v = tone[i];
      tone[i] = static_cast<int32_t>(i >= t ? (k * v + (100 - k) * 256) / 100
                                            : (a * Cube(v)) / kCubicScale);
    }
  } else {
    const int64_t k = 10000 / (100 - brightness);
    const int64_t t = ((300 - k) * 256) / (2 * k);
    const int64_t a = (k * 65536) / (3 * (t - 256) * (t - 256));
    for (int i = 0; i < 256; ++i) {
      const int64_t v = tone[i];
      tone[i] = static_cast<int32_t>(
          i >= t ? (a * Cube(v - 256)) / kCubicScale + 256 : (k * v) / 100);
    }
  }
  for (int i = 0; i < 256; ++i) tone[i] = Clamp255(tone[i]);
}

// Contrast below 0: a flatter line through 128; above 0: a steeper line
// through 128 with a cubic toe and a cubic shoulder.
void ApplyContrast(int32_t contrast, int32_t *tone) {
  if (contrast < 0) {
    const int64_t k = contrast + 100;
    for (int i = 0; i < 256; ++i) {
      tone[i] = static_cast<int32_t>((k * tone[i] + (100 - k) * 128) / 100);
    }
  } else {
    const int64_t k = 10000 / (100 - contrast);
    const int64_t t1 = ((k - 100) * 384) / (2 * k);
    const int64_t a1 = (k * 65536) / (3 * t1 * t1);
    const int64_t t2 = ((k + 300) * 128) / (2 * k);
    const int64_t a2 = (k * 65536) / (3 * (t2 - 256) * (t2 - 256));
    for (int i = 0; i < 256; ++i) {
      const int64_t v = tone[i];
      if (i < t1) {
        tone[i] = static_cast<int32_t>((a1 * Cube(v)) / kCubicScale);
      } else if (i >= t2) {
        tone[i] = static_cast<int32_t>((a2 * Cube(v - 256)) / kCubicScale + 256);
      } else {
        tone[i] = static_cast<int32_t>((k * v + (100 - k) * 128) / 100);
      }
    }
  }
  for (int i = 0; i < 256; ++i) tone[i] = Clamp255(tone[i]);
}

// Three-tap smoothing in place, left to right, so each entry sees its
// already smoothed left neighbour. Entries 0, 254 and 255 stay.
void Smooth(int32_t *curve) {
  for (int i = 1; i <= 253; ++i) {
    curve[i] = (curve[i - 1] + curve[i] + curve[i + 1]) / 3;
  }
}

void ApplyHostCurve(const uint8_t *host, int32_t *curve) {
  for (int i = 0; i < 256; ++i) curve[i] = host[curve[i]];
}

}  // namespace

void ShapeTone(int32_t brightness, int32_t contrast, int32_t tone[256]) {
  for (int i = 0; i < 256; ++i) tone[i] = i;
  if (brightness != 0) ApplyBrightness(brightness, tone);
  if (contrast != 0) ApplyContrast(contrast, tone);
}

ResultCode BuildToneCurves(const CmParams *params, const CmOptionList *options,
                           ToneCurves **curves) {
  uintptr_t handle = 0;
  void *memory = nullptr;
  ResultCode result = MemAcquire(kToneCurvesBytes, 0, &handle, &memory);
  if (result != kOk) return result;
  ToneCurves *record = static_cast<ToneCurves *>(memory);
  record->selfHandle = handle;

  int32_t gamma = kDefaultGamma;
  const auto *stored = static_cast<const int32_t *>(FindOption(options, kOptionGamma));
  if (stored != nullptr && *stored != 0) gamma = *stored;
  const auto *host = static_cast<const uint8_t *>(FindOption(options, kOptionHostCurves));

  if (params->reserved != 0 || OutOfRange(params->brightness) ||
      OutOfRange(params->contrast) || OutOfRange(params->saturation) ||
      OutOfRange(params->redOffset) || OutOfRange(params->greenOffset) ||
      OutOfRange(params->blueOffset)) {
    result = kBadParams;
  } else if (gamma < 100 || gamma > 300) {
    result = kBadTable;
  }
  if (result != kOk) {
    MemDiscard(handle);
    return result;
  }

  int32_t tone[256];
  ShapeTone(params->brightness, params->contrast, tone);

  for (int i = 0; i < 256; ++i) {
    const int32_t g =
        gamma != kDefaultGamma ? GammaLevel(i, gamma) - GammaLevel(i, kDefaultGamma) : 0;
    record->curveRed[i] = Clamp255(tone[i] + params->redOffset + g);
    record->curveGreen[i] = Clamp255(tone[i] + params->greenOffset + g);
    record->curveBlue[i] = Clamp255(tone[i] + params->blueOffset + g);
  }
  Smooth(record->curveRed);
  Smooth(record->curveGreen);
  Smooth(record->curveBlue);

  if (host != nullptr) {
    ApplyHostCurve(host, record->curveRed);
    ApplyHostCurve(host + 256, record->curveGreen);
    ApplyHostCurve(host + 512, record->curveBlue);
  }

  record->saturation = params->saturation;
  *curves = record;
  return kOk;
}

ResultCode ReleaseToneCurves(ToneCurves *curves) { return MemRelease(curves->selfHandle); }

}  // namespace inkdot
