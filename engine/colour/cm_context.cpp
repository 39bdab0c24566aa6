// SPDX-License-Identifier: Apache-2.0
#include "colour/cm_context.h"

#include <cstring>

#include "colour/calibration_state.h"
#include "frame/memory_blocks.h"

namespace inkdot {

namespace {

// Picks the selection table's match mode from the settings, rewriting the
// settings where a mode forces another (grey mode 4 turns the colour
// adjustment off).
void ChooseMatchMode(CmContext *cm) {
  CmParams &params = cm->params;
  cm->matchMode = static_cast<int16_t>(params.colorAdjustMode & 0xFFFF);
  if (params.colorAdjustMode == 2) cm->matchMode = 4;
  if (params.grayMode == 1) {
    cm->matchMode = 4;
  } else if (params.grayMode == 4) {
    cm->matchMode = 0;
    params.colorAdjustMode = 0;
  } else if (cm->page.inputFormat == 0) {
    cm->matchMode = 0;
  }
}

}  // namespace

ResultCode NewCmContext(const CmParams *params, const HalftoneParams *page,
                        int32_t *nextId, CmContext **handle) {
  *nextId = 0;

  uintptr_t selfHandle = 0;
  void *selfMemory = nullptr;
  ResultCode result = MemAcquire(kCmContextBytes, 1, &selfHandle, &selfMemory);
  if (result != kOk) return result;

  uintptr_t lutHandle = 0;
  void *lutMemory = nullptr;
  result = MemAcquire(sizeof(CmLut), 1, &lutHandle, &lutMemory);
  if (result != kOk) {
    MemDiscard(selfHandle);
    return result;
  }

  CmContext *cm = static_cast<CmContext *>(selfMemory);
  cm->lut = static_cast<CmLut *>(lutMemory);
  cm->lut->blockHandle = lutHandle;
  cm->lutHandle = lutHandle;
  cm->selfHandle = selfHandle;

  std::memcpy(&cm->params, params, sizeof(CmParams));
  std::memcpy(&cm->page, page, sizeof(HalftoneParams));
  if (cm->page.method == 0) {
    cm->page.method = 3;
    cm->params.colorAdjustMode = 2;
  }
  ChooseMatchMode(cm);

  cm->phase = 1;
  *handle = cm;
  return kOk;
}

ResultCode DeleteCmContext(CmContext *cm) {
  // A calibration state outlives its calls only when the host abandoned the
  // conversation half-way; it is ours to release all the same.
  ReleaseCalibrationState(cm);
  CmLut *lut = cm->lut;
  if (lut->tableHandle != 0) MemDiscard(lut->tableHandle);
  if (lut->selectorHandle != 0) MemDiscard(lut->selectorHandle);
  MemDiscard(cm->lutHandle);
  MemDiscard(cm->selfHandle);
  return kOk;
}

CmLut *GetCmLut(CmContext *cm) { return cm->lut; }

}  // namespace inkdot
