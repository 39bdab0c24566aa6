// SPDX-License-Identifier: Apache-2.0
#include "colour/calibration_state.h"

#include "colour/cm_context.h"
#include "frame/memory_blocks.h"

namespace inkdot {

void ReleaseCalibrationState(CmContext *cm) {
  CalibrationState *state = cm->calibration;
  if (state == nullptr) return;
  if (state->curveHandle != 0) MemDiscard(state->curveHandle);
  MemDiscard(state->selfHandle);
  cm->calibration = nullptr;
}

}  // namespace inkdot
