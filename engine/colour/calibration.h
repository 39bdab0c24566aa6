/* SPDX-License-Identifier: Apache-2.0 */
// Per-ink calibration: the extra calls of the colour conversation that
// pick one correction curve per ink and apply them to the table.
#pragma once

#include <cstdint>

#include "colour/calibration_state.h"

namespace inkdot {

// Makes the calibration state and writes 980 to *nextId when the option
// list holds a valid calibration block, else -1 (257, 258).
ResultCode CreateCalibrationState(CmContext *cm, int32_t *nextId);

// Runs the calibration step that the state names on `resource`.
ResultCode RunCalibrationStep(CmContext *cm, const uint8_t *resource,
                              int32_t *nextId);

// Passes every table byte through its channel's curve.
void ApplyCalibrationCurves(CmContext *cm);

}  // namespace inkdot
