// SPDX-License-Identifier: Apache-2.0
// The eight exported operations. Each forwards to the operation that does
// the work, so that other export tables (a Windows module definition with
// decorated aliases) can name the same functions.
#include "colour/cm_context.h"
#include "halftone/halftone_context.h"
#include "halftone/kernels/dispatcher.h"
#include "halftone/setup/halftone_setup.h"

extern "C" {

INKDOT_API ResultCode INKDOT_CALL CmNew(const CmParams *params,
                                        const HalftoneParams *page,
                                        uint32_t /*ignored*/, int32_t *nextId,
                                        CmContext **handle) {
  return inkdot::NewCmContext(params, page, nextId, handle);
}

INKDOT_API ResultCode INKDOT_CALL CmSetResource(CmContext *handle,
                                                const void *resource,
                                                int32_t *nextId) {
  return inkdot::SetCmResource(handle, resource, nextId);
}

INKDOT_API ResultCode INKDOT_CALL CmDelete(CmContext *handle) {
  return inkdot::DeleteCmContext(handle);
}

INKDOT_API CmLut *INKDOT_CALL CmGetLut(CmContext *handle) {
  return inkdot::GetCmLut(handle);
}

INKDOT_API ResultCode INKDOT_CALL HalftoneNew(const HalftoneParams *params,
                                              const CmLut *cmLut,
                                              uint32_t reserved,
                                              int32_t *firstResourceId,
                                              HalftoneContext **handle) {
  return inkdot::NewHalftoneContext(params, cmLut, reserved, firstResourceId,
                                    handle);
}

INKDOT_API ResultCode INKDOT_CALL HalftoneSetResource(HalftoneContext *handle,
                                                      const void *resource,
                                                      int32_t *nextId) {
  return inkdot::SetHalftoneResource(handle, resource, nextId);
}

INKDOT_API ResultCode INKDOT_CALL Halftone(HalftoneContext *handle,
                                           const void *src, void *dst,
                                           uint32_t planeStride,
                                           uint32_t firstBit, uint32_t count,
                                           uint32_t startX, uint32_t spareArg,
                                           uint32_t row, uint32_t reservedA,
                                           uint32_t reservedB) {
  return inkdot::HalftoneRun(handle, static_cast<const uint8_t *>(src),
                             static_cast<uint8_t *>(dst), planeStride, firstBit,
                             count, startX, spareArg, row, reservedA, reservedB);
}

INKDOT_API ResultCode INKDOT_CALL HalftoneDelete(HalftoneContext *handle) {
  return inkdot::DeleteHalftoneContext(handle);
}

}  // extern "C"
