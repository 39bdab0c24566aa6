/* SPDX-License-Identifier: Apache-2.0 */
// Internal: how a page's reading and writing threads are scheduled. The
// engine thread is the page's critical path (each row needs the error of
// the rows above). With every thread scheduled alike, a stage woken for
// its next batch of rows could take the engine's processor from it at
// once, while the other processor had room. The stages are marked as
// batch work instead: a batch thread never preempts a running one when it
// wakes, it runs where a processor is idle or at the scheduler's next
// tick. Its share of the processors under load stays what it was; a
// lower priority would have bought about the same on an idle machine, but
// starved the stages, and so the page, next to other busy programs.
#pragma once

namespace inkdot::host::detail {

// Marks the calling thread as batch work; nothing where the system has no
// such class, and nothing on failure (the page is the same, only slower).
void ScheduleThisThreadAsStage();

}  // namespace inkdot::host::detail
