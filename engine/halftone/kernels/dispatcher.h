/* SPDX-License-Identifier: Apache-2.0 */
// The band dispatcher: one run of one row, handed to the row kernel that
// the set-up chose. Its two steps are exposed for their tests: the kernel
// that the object's parameters select, and the row preparation for
// magnified pages.
#pragma once

#include <cstdint>

#include "halftone/kernels/row_kernels.h"

namespace inkdot {

// One run of one row: checks it, prepares it when the page is magnified,
// and runs the kernel chosen when the set-up completed.
ResultCode HalftoneRun(HalftoneContext *ht, const uint8_t *src, uint8_t *dst,
                       uint32_t planeStride, uint32_t firstBit, uint32_t count,
                       uint32_t startX, uint32_t spareArg, uint32_t row,
                       uint32_t reservedA, uint32_t reservedB);

// The kernel for the object's parameters, or null when the combination has
// none (512), including a diffusing kernel whose error lines the set-up did
// not allocate. The set-up calls it once, when its last phase succeeds.
RowKernel ChooseRowKernel(const HalftoneContext *ht);

// Bytes of one source pixel of `inputFormat`.
uint32_t BytesPerPixel(uint32_t inputFormat);

// Writes the run's prepared pixels to rowBuffer: each source pixel repeated
// `replication` times, as many as the kernel will read for `count` output
// pixels. Returns the buffer.
const uint8_t *PrepareRow(HalftoneContext *ht, const uint8_t *src, uint32_t count);

}  // namespace inkdot
