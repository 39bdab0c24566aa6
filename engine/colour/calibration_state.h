// The per-ink calibration state that lives between the calibration calls
// of the colour conversation.
#pragma once

#include <cstdint>

#include "frame/result_codes.h"

struct CmContext;

namespace inkdot {

struct CalibrationState {
  uintptr_t selfHandle;
  uintptr_t curveHandle;
  uint8_t *curvePlanes;  // one 256-byte curve per table channel
  CmParams savedParams;
  HalftoneParams savedPage;
  int32_t step;          // next calibration step, 1..4
  CmContext *owner;
  uint8_t printerValues[20];
  uint8_t channelMap[20];  // curve plane that receives each ink's curve
  int32_t referenceMode;   // 1 or 2
  uint8_t referenceValues[20];
};

// Releases the state's curve planes, then the state, and clears the
// owner's reference to it. Results of unlock and free are not examined:
// the state is released on failure paths that already carry a code.
void ReleaseCalibrationState(CmContext *cm);

}  // namespace inkdot
