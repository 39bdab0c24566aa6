/* SPDX-License-Identifier: Apache-2.0 */
// Internal: the scheduling priority of a page's reading and writing
// threads. The engine thread is the page's critical path (each row needs
// the error of the rows above), so the stages beside it run a little below
// it: when they wake on its processor, the scheduler lets the engine go on
// and moves or delays them, rather than sharing the processor evenly while
// the other one may be idle. Their queues are bounded, so the stages never
// fall further behind than the queues hold: the engine then waits and they
// catch up.
#pragma once

namespace inkdot::host::detail {

// How much further from the front the stage threads queue (nice steps).
inline constexpr int kStageNiceSteps = 10;

// Lowers the calling thread's priority by kStageNiceSteps, up to the
// lowest there is; nothing where threads have no priority of their own,
// and nothing on failure (the page is the same, only slower).
void LowerThisThreadForStage();

}  // namespace inkdot::host::detail
