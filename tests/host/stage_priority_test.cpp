// SPDX-License-Identifier: Apache-2.0
// The stage threads step back behind the engine thread: the thread that
// asks is lowered, up to the lowest priority there is, and the thread that
// runs the engine keeps its own.
#include <gtest/gtest.h>

#include <thread>

#include "stage_priority.h"

#if defined(__linux__)
#include <sys/resource.h>

namespace inkdot::host::detail {
namespace {

int ThisThreadsNice() { return getpriority(PRIO_PROCESS, 0); }

TEST(StagePriority, LowersTheCallingThreadAloneAndStopsAtTheLowest) {
  const int engine = ThisThreadsNice();
  int once = 0, twice = 0, thrice = 0;
  std::thread stage([&] {
    LowerThisThreadForStage();
    once = ThisThreadsNice();
    LowerThisThreadForStage();
    twice = ThisThreadsNice();
    LowerThisThreadForStage();
    thrice = ThisThreadsNice();
  });
  stage.join();
  EXPECT_EQ(once, std::min(engine + kStageNiceSteps, 19));
  EXPECT_EQ(twice, std::min(engine + 2 * kStageNiceSteps, 19));
  EXPECT_EQ(thrice, 19);
  EXPECT_EQ(ThisThreadsNice(), engine);
}

}  // namespace
}  // namespace inkdot::host::detail
#endif
