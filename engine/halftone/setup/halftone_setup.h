/* SPDX-License-Identifier: Apache-2.0 */
// The halftone resource conversation: four calls that fill the object's
// tables and, when the last one succeeds, choose its row kernel.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"

namespace inkdot {

// Consumes the resource the previous call asked for and writes the id of
// the next one wanted, -1 when nothing more is.
ResultCode SetHalftoneResource(HalftoneContext *ht, const void *resource,
                               int32_t *nextId);

}  // namespace inkdot
