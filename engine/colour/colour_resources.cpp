// SPDX-License-Identifier: Apache-2.0
// The colour resource conversation: one resource per call, each call naming
// the next one, until it names -1.
#include "colour/calibration.h"
#include "colour/calibration_state.h"
#include "colour/cm_context.h"
#include "colour/colour_table.h"
#include "colour/rebuild.h"
#include "colour/selection_table.h"
#include "inkdot/formats/colour_table_layout.h"

namespace inkdot {

namespace {

constexpr uint8_t kFourInputFormat = formats::colour_table_layout::kFourInputFormat;

// Phase 1: the selection table picks the colour-table resource.
ResultCode SelectColourTable(CmContext *cm, const uint8_t *text, int32_t *nextId) {
  const int32_t selected = SelectTableLine(cm, text);
  *nextId = selected;
  cm->idBase = (selected / 1000) * 1000;  // truncating: 5123 gives 5000
  if (selected == 0) return kBadResource;
  if (selected < 0) return kAllocFailed;
  return kOk;
}

// Whether the ink-load curve applies to the whole table: screened pages whose
// halftone resources lie in 300..399, in the plain method variants.
bool WholeTableInkLoad(const CmContext *cm) {
  const int32_t halftoneId = cm->matchedNext;  // becomes halftoneResourceId
  return halftoneId >= 300 && halftoneId <= 399 &&
         static_cast<int32_t>(cm->page.methodVariant) < 2 && cm->page.method == 3;
}

// Phase 2: decode and finish the colour table, then start the calibration.
ResultCode FinishColourTable(CmContext *cm, const uint8_t *resource,
                             int32_t *nextId) {
  // An ink-load pair the curve is undefined for is refused before anything
  // is built; the halftone id that decides the pass is known already.
  const bool inkLoad = WholeTableInkLoad(cm);
  if (inkLoad && !ResourceInkLoadUsable(resource)) return kBadResource;

  ResultCode result = DecodeColourTable(cm, resource);
  if (result != kOk) return result;
  CmLut *lut = cm->lut;

  // The user's adjustments; the four-input table is kept as it came.
  if (cm->tableFormat != kFourInputFormat) {
    result = RebuildTable(cm);
    if (result != kOk) return result;
  }
  if (inkLoad) ApplyInkLoad(lut);
  BuildGrayToBlack(lut);

  // Asks for the calibration resources when the option list carries a
  // calibration block; otherwise the table is complete.
  result = CreateCalibrationState(cm, nextId);
  if (result != kOk) return result;
  if (*nextId == -1) ReleaseCalibrationState(cm);
  return kOk;
}

// Phases 3 on: one calibration resource per call.
ResultCode CalibrateTable(CmContext *cm, const uint8_t *resource, int32_t *nextId) {
  const ResultCode result = RunCalibrationStep(cm, resource, nextId);
  if (result != kOk) {
    ReleaseCalibrationState(cm);
    return result;
  }
  if (*nextId != -1) return kOk;
  ApplyCalibrationCurves(cm);
  ReleaseCalibrationState(cm);
  return kOk;
}

}  // namespace

ResultCode SetCmResource(CmContext *cm, const void *resource, int32_t *nextId) {
  const uint8_t *bytes = static_cast<const uint8_t *>(resource);
  const int32_t phase = cm->phase;
  // The phase advances before the work, so a failed step is never repeated.
  cm->phase = phase + 1;

  if (phase == 1) return SelectColourTable(cm, bytes, nextId);

  // A call after the conversation ended or failed: phase 1 succeeded exactly
  // when it selected a positive id, and the calibration calls run only while
  // their state is held. Such a call changes nothing else.
  const bool expected = phase == 2 ? cm->matchedId > 0 : cm->calibration != nullptr;
  if (!expected) {
    *nextId = -1;
    return kBadResource;
  }
  if (phase == 2) return FinishColourTable(cm, bytes, nextId);
  return CalibrateTable(cm, bytes, nextId);
}

}  // namespace inkdot
