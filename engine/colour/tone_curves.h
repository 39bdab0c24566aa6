/* SPDX-License-Identifier: Apache-2.0 */
// Tone curves: the user's brightness, contrast, gamma and offsets and the
// host's own curves folded into one 256-entry curve per colour.
#pragma once

#include <cstdint>

#include "frame/result_codes.h"

namespace inkdot {

struct ToneCurves {
  int32_t saturation;
  int32_t curveRed[256];
  int32_t curveGreen[256];
  int32_t curveBlue[256];
  uintptr_t selfHandle;
};

// Size of the record's allocation: the original record's 3164 bytes, or
// more should the fields ever outgrow them.
inline constexpr uint32_t kToneCurvesBytes =
    sizeof(ToneCurves) > 3164 ? static_cast<uint32_t>(sizeof(ToneCurves)) : 3164;

// Builds the curves from `params` and the option list into a record taken
// through the memory layer (257, 258; 513 and 514 for settings out of
// range, with the record released). On success *curves is the record.
ResultCode BuildToneCurves(const CmParams *params, const CmOptionList *options,
                           ToneCurves **curves);

// The shared shape of the three curves: the identity passed through the
// brightness and then the contrast setting (each -50..50, 0 = unchanged),
// every entry clamped to 0..255.
void ShapeTone(int32_t brightness, int32_t contrast, int32_t tone[256]);

// Unlocks (259) and frees (260) the record.
ResultCode ReleaseToneCurves(ToneCurves *curves);

// 255 * (v / 255)^(gamma / 100), rounded to nearest, in integers.
int32_t GammaLevel(int32_t v, int32_t gamma);

// 5000 * ln(n), summed over the prime factors of n, for 1 <= n <= 511.
int32_t Log5000(int32_t n);

}  // namespace inkdot
