/* SPDX-License-Identifier: Apache-2.0 */
// The band dispatcher's two steps, exposed for their tests: the kernel that
// the object's parameters select, and the row preparation for magnified
// pages.
#pragma once

#include <cstdint>

#include "halftone/kernels/row_kernels.h"

namespace inkdot {

// The kernel for the object's parameters, or null when the combination has
// none (512), including a diffusing kernel whose error lines the set-up did
// not allocate.
RowKernel ChooseRowKernel(const HalftoneContext *ht);

// Bytes of one source pixel of `inputFormat`.
uint32_t BytesPerPixel(uint32_t inputFormat);

// Writes the run's prepared pixels to rowBuffer: each source pixel repeated
// `replication` times, as many as the kernel will read for `count` output
// pixels. Returns the buffer.
const uint8_t *PrepareRow(HalftoneContext *ht, const uint8_t *src, uint32_t count);

}  // namespace inkdot
