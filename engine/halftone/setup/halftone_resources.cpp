// SPDX-License-Identifier: Apache-2.0
// The halftone resource conversation: counts the call and runs its step.
#include "halftone/setup/halftone_setup.h"

#include "halftone/kernels/dispatcher.h"
#include "halftone/setup/resource_phases.h"

namespace inkdot {

namespace {

// List index of the threshold-matrix resource for the page's resolutions.
int MatrixListIndex(const HalftoneParams &page) {
  const uint32_t x = page.xResolution;
  const uint32_t y = page.yResolution;
  // 2x, 2y and 4y are 32-bit products that wrap as the original's did.
  if (x == 1440 && y == 720) return 3;
  if (x == 2 * y) return 2;
  if (2 * x == y) return 4;
  if (static_cast<int32_t>(x) < static_cast<int32_t>(4 * y)) return 1;
  return 5;
}

// The phase whose success completes the set-up: the dot palette for
// multi-size dots, else the threshold matrix.
uint32_t LastPhase(const HalftoneParams &page) { return page.dotMode == 2 ? 4 : 3; }

ResultCode RunPhase(HalftoneContext *ht, uint32_t phase, const uint8_t *bytes,
                    int32_t *nextId) {
  if (phase == 1) return ReadResourceIdList(ht, bytes, nextId);

  const int32_t matrixId = static_cast<int16_t>(ht->resourceIds[MatrixListIndex(ht->params)]);
  if (matrixId == -1) return kBadResource;
  switch (phase) {
    case 2: return ReadGridResource(ht, bytes, matrixId, nextId);
    case 3: return ReadThresholdMatrix(ht, bytes, nextId);
    case 4: return ReadDotPalette(ht, bytes, nextId);
    default: return kBadResource;
  }
}

}  // namespace

ResultCode SetHalftoneResource(HalftoneContext *ht, const void *resource,
                               int32_t *nextId) {
  const uint8_t *bytes = static_cast<const uint8_t *>(resource);
  // The count advances on every call, also on one that fails.
  const uint32_t phase = ++ht->phase;
  // Once the host was told that nothing more is wanted, calls change nothing.
  if (ht->setupEnded != 0) return kBadResource;
  const ResultCode result = RunPhase(ht, phase, bytes, nextId);
  // Band calls need every table: a conversation cut short (an empty id
  // list, a selector without a palette) or one that failed on the way
  // leaves the object unable to halftone.
  if (result != kOk) ht->setupFailed = 1;
  ht->setupComplete = result == kOk && ht->setupFailed == 0 && ht->setupEnded != 0 &&
                      phase >= LastPhase(ht->params);
  // Every word the choice reads is final once the set-up is complete, so
  // the band calls reuse it instead of choosing again.
  ht->rowKernel = ht->setupComplete != 0 ? ChooseRowKernel(ht) : nullptr;
  return result;
}

}  // namespace inkdot
