// SPDX-License-Identifier: Apache-2.0
#include "halftone/halftone_context.h"

#include <cstring>

#include "frame/cpu_features.h"

namespace inkdot {

ResultCode NewHalftoneContext(const HalftoneParams *params, const CmLut *cmLut,
                              uint32_t reserved, int32_t *firstResourceId,
                              HalftoneContext **handle) {
  if (reserved != 0) return kBadReserved;
  if (params == nullptr) return kBadParams;
  if (cmLut == nullptr) return kBadTable;

  // Written before anything can fail, and left written when it does.
  *firstResourceId = cmLut->halftoneResourceId;

  uintptr_t selfHandle = 0;
  void *memory = nullptr;
  const ResultCode result = MemAcquire(static_cast<uint32_t>(sizeof(HalftoneContext)),
                                       1, &selfHandle, &memory);
  if (result != kOk) return result;

  HalftoneContext *ht = static_cast<HalftoneContext *>(memory);
  *handle = ht;
  ht->selfHandle = selfHandle;
  std::memcpy(&ht->params, params, sizeof(HalftoneParams));
  std::memcpy(&ht->cmLut, cmLut, sizeof(CmLut));
  ht->phase = 0;
  ht->lastRow = 0;
  ht->lastEndX = 0;
  ht->vectorPath = DetectVectorPath();
  for (MemoryBlock &block : ht->blocks) MemoryBlockSet(&block, nullptr, 0, 0);
  // A list id of -1 means the host is told at once that nothing is wanted.
  ht->setupEnded = cmLut->halftoneResourceId == -1 ? 1 : 0;

  // The object stays live on this refusal; the caller deletes it.
  const bool greyInput = params->inputFormat == 0;
  const bool oneChannel = params->colorMode == 0;
  if (greyInput != oneChannel || params->inputFormat == 1 ||
      params->inputFormat == 3) {
    ht->setupFailed = 1;
    return kBadParams;
  }
  return kOk;
}

ResultCode DeleteHalftoneContext(HalftoneContext *ht) {
  const ResultCode result = MemoryBlocksFree(ht->blocks);
  if (result != kOk) return result;
  return MemRelease(ht->selfHandle);
}

}  // namespace inkdot
