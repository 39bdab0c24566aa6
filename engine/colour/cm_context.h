/* SPDX-License-Identifier: Apache-2.0 */
// The colour-matching object and the operations on it.
#pragma once

#include <cstdint>

#include "frame/result_codes.h"

namespace inkdot {
struct CalibrationState;
}

// The colour-matching object. The host's handle is its address.
struct CmContext {
  uintptr_t selfHandle;
  CmParams params;      // words 9 and 10 possibly rewritten by CmNew
  HalftoneParams page;  // method possibly rewritten by CmNew
  int32_t phase;        // number of the next CmSetResource step
  CmLut *lut;
  uintptr_t lutHandle;
  inkdot::CalibrationState *calibration;  // while the calibration runs
  int16_t matchMode;           // mode a selection-table line must carry
  int16_t tableFormat;         // 128 four-input table, 50 grey block
  uint16_t dominantReduction[3];
  int16_t pairReduction[3];
  int16_t hueShift[3];
  int16_t saturationBoost;
  int16_t tableVersion;        // version of the selection table
  int32_t idBase;              // colour-table id rounded down to 1000s
  int32_t matchedId;           // first number of the last selected line
  int32_t matchedNext;         // second number of the last selected line
};

namespace inkdot {

// Size of the object's allocation: the original object's 196 bytes, or more
// where pointers are wider.
inline constexpr uint32_t kCmContextBytes =
    sizeof(CmContext) > 196 ? static_cast<uint32_t>(sizeof(CmContext)) : 196;

ResultCode NewCmContext(const CmParams *params, const HalftoneParams *page,
                        int32_t *nextId, CmContext **handle);
ResultCode DeleteCmContext(CmContext *cm);
CmLut *GetCmLut(CmContext *cm);

// The colour resource conversation.
ResultCode SetCmResource(CmContext *cm, const void *resource, int32_t *nextId);

}  // namespace inkdot

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(CmContext) <= 196, "the object fits the original 196 bytes");
#endif
