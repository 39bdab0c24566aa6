// SPDX-License-Identifier: Apache-2.0
#include "stage_priority.h"

#if defined(__linux__)
#include <sys/resource.h>

#include <cerrno>
#endif

namespace inkdot::host::detail {

#if defined(__linux__)
// Linux keeps the nice value per thread, and PRIO_PROCESS with 0 names
// the calling thread alone; raising one's own nice value needs no
// privilege, and values past the lowest are taken as the lowest.
// Elsewhere the same call would slow the whole process.
void LowerThisThreadForStage() {
  errno = 0;
  const int now = getpriority(PRIO_PROCESS, 0);
  if (now == -1 && errno != 0) return;
  (void)setpriority(PRIO_PROCESS, 0, now + kStageNiceSteps);
}
#else
void LowerThisThreadForStage() {}
#endif

}  // namespace inkdot::host::detail
