// SPDX-License-Identifier: Apache-2.0
// The stage threads are scheduled as batch work and the thread that runs
// the engine keeps the normal class.
#include <gtest/gtest.h>

#include <thread>

#include "stage_scheduling.h"

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>

namespace inkdot::host::detail {
namespace {

int ThisThreadsPolicy() {
  int policy = -1;
  sched_param param{};
  EXPECT_EQ(pthread_getschedparam(pthread_self(), &policy, &param), 0);
  return policy;
}

TEST(StageScheduling, MarksTheCallingThreadAloneAsBatchWork) {
  const int engine = ThisThreadsPolicy();
  if (engine != SCHED_OTHER) GTEST_SKIP() << "the tests run in scheduling class " << engine;
  int stage = -1;
  std::thread thread([&] {
    ScheduleThisThreadAsStage();
    stage = ThisThreadsPolicy();
  });
  thread.join();
  EXPECT_EQ(stage, SCHED_BATCH);
  EXPECT_EQ(ThisThreadsPolicy(), engine);
}

}  // namespace
}  // namespace inkdot::host::detail
#endif
