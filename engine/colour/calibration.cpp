#include "colour/calibration.h"

#include "colour/cm_context.h"

namespace inkdot {

// Not yet available: no calibration is asked for until it lands.
ResultCode CreateCalibrationState(CmContext *, int32_t *nextId) {
  *nextId = -1;
  return kOk;
}

ResultCode RunCalibrationStep(CmContext *, const uint8_t *, int32_t *nextId) {
  *nextId = -1;
  return kNoKernel;
}

void ApplyCalibrationCurves(CmContext *) {}

}  // namespace inkdot
