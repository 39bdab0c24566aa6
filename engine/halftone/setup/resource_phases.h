/* SPDX-License-Identifier: Apache-2.0 */
// The four steps of the halftone resource conversation, each consuming one
// resource. Each step writes the id of the next resource wanted through
// ReportNextId and answers a result code; a failed allocation releases
// every block the object holds, except where a step says otherwise.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"

namespace inkdot {

// Writes the next id for the host; -1 ends the conversation for good.
inline void ReportNextId(HalftoneContext *ht, int32_t *nextId, int32_t id) {
  *nextId = id;
  ht->setupEnded = id == -1 ? 1 : 0;
}

// Step 1: the resource-id list; sizes the error lines and the row buffer.
ResultCode ReadResourceIdList(HalftoneContext *ht, const uint8_t *list,
                              int32_t *nextId);

// Step 2: the grid resource; builds the colour table or the grey curve.
ResultCode ReadGridResource(HalftoneContext *ht, const uint8_t *grid,
                            int32_t matrixId, int32_t *nextId);

// Step 3: the threshold matrix; builds the screening tables.
ResultCode ReadThresholdMatrix(HalftoneContext *ht, const uint8_t *matrix,
                               int32_t *nextId);

// Step 4 (dot mode 2): the dot palette and the palette tables.
ResultCode ReadDotPalette(HalftoneContext *ht, const uint8_t *palette,
                          int32_t *nextId);

// round4: the smallest multiple of 4 that is at least v (0 stays 0), in
// wrapping 32-bit arithmetic.
inline uint32_t Round4(uint32_t v) { return ((v - 1) & ~3u) + 4; }

// Frees every block of the object and answers `code`.
inline ResultCode ReleaseBlocks(HalftoneContext *ht, ResultCode code) {
  MemoryBlocksFree(ht->blocks);
  return code;
}

}  // namespace inkdot
