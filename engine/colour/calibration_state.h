/* SPDX-License-Identifier: Apache-2.0 */
// The per-ink calibration state that lives between the calibration calls
// of the colour conversation.
#pragma once

#include <cstdint>

#include "frame/result_codes.h"

struct CmContext;

namespace inkdot {

// Inks the state has room for.
inline constexpr int32_t kMaxCalibratedInks = 20;

struct CalibrationState {
  uintptr_t selfHandle;
  uintptr_t curveHandle;
  uint8_t *curvePlanes;  // one 256-byte curve per table channel
  CmParams savedParams;
  HalftoneParams savedPage;
  int32_t step;  // next calibration step, 1..4
  CmContext *owner;
  uint8_t printerValues[kMaxCalibratedInks];  // the printer's value per ink
  uint8_t channelMap[kMaxCalibratedInks];  // plane that receives each ink's curve
  int32_t referenceMode;                   // 1 or 2 (others act as 1)
  uint8_t referenceValues[kMaxCalibratedInks];  // what each ink's table assumes
};

// Size of the state's allocation: the original state's 188 bytes, or more
// where pointers are wider.
inline constexpr uint32_t kCalibrationStateBytes =
    sizeof(CalibrationState) > 188 ? static_cast<uint32_t>(sizeof(CalibrationState))
                                   : 188;

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(CalibrationState) == 188, "the state is the original 188 bytes");
#endif

// Releases the state's curve planes, then the state, and clears the
// owner's reference to it. Results of unlock and free are not examined:
// the state is released on failure paths that already carry a code.
void ReleaseCalibrationState(CmContext *cm);

}  // namespace inkdot
