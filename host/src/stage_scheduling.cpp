// SPDX-License-Identifier: Apache-2.0
#include "stage_scheduling.h"

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace inkdot::host::detail {

#if defined(__linux__)
// Linux schedules each thread on its own, and moving one's own thread from
// the normal class to the batch class needs no privilege.
void ScheduleThisThreadAsStage() {
  const sched_param none{};
  (void)pthread_setschedparam(pthread_self(), SCHED_BATCH, &none);
}
#else
void ScheduleThisThreadAsStage() {}
#endif

}  // namespace inkdot::host::detail
