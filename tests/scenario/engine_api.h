/* SPDX-License-Identifier: Apache-2.0 */
// The eight operations as a table of function pointers, so that the same
// pages run against the library linked into a program or against one
// loaded at run time.
#pragma once

#include "inkdot/inkdot.h"

namespace inkdot::scenario {

struct EngineApi {
  ResultCode(INKDOT_CALL *cmNew)(const CmParams *, const HalftoneParams *,
                                 uint32_t, int32_t *, CmContext **);
  ResultCode(INKDOT_CALL *cmSetResource)(CmContext *, const void *, int32_t *);
  ResultCode(INKDOT_CALL *cmDelete)(CmContext *);
  CmLut *(INKDOT_CALL *cmGetLut)(CmContext *);
  ResultCode(INKDOT_CALL *halftoneNew)(const HalftoneParams *, const CmLut *,
                                       uint32_t, int32_t *, HalftoneContext **);
  ResultCode(INKDOT_CALL *halftoneSetResource)(HalftoneContext *, const void *,
                                               int32_t *);
  ResultCode(INKDOT_CALL *halftone)(HalftoneContext *, const void *, void *,
                                    uint32_t, uint32_t, uint32_t, uint32_t,
                                    uint32_t, uint32_t, uint32_t, uint32_t);
  ResultCode(INKDOT_CALL *halftoneDelete)(HalftoneContext *);
};

}  // namespace inkdot::scenario
