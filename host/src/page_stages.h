/* SPDX-License-Identifier: Apache-2.0 */
// Internal: one page's stages on threads of their own. Reading (from 3
// threads) and writing run beside the engine, fed through bounded queues of
// row batches, scheduled so as not to take the engine's processor when
// they wake (stage_scheduling.h); the engine stays on the calling thread
// and does nothing but the band calls. From 4 threads the planes are
// shared out among several writing threads. Each plane, each sink and the
// engine take their rows in order, so the bytes are those of one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "inkdot/host/page_driver.h"
#include "inkdot/host/plane_sink.h"

namespace inkdot::host::detail {

// Halftones every row of `source` into each of `sinks` on `threads` threads
// (2 or more); sinks that take plane rows have their planes shared out among
// the writing threads, the others take whole rows on the last of them.
// Finish is left to the caller. Calls `rowDone` after each row's band
// calls. Throws the first failure of any stage.
void RunPageStages(HalftoneContext *ht, RowSource &source, const BandLayout &layout,
                   std::span<PlaneSink *const> sinks, unsigned threads,
                   const std::function<void(uint32_t)> &rowDone);

}  // namespace inkdot::host::detail
