// SPDX-License-Identifier: Apache-2.0
#include "frame/memory_blocks.h"

#include <gtest/gtest.h>

#include "support/test_platform.h"

namespace inkdot {
namespace {

using testing::CallCount;
using testing::FailNthCall;
using testing::LiveAllocations;
using testing::PlatformOp;
using testing::ShownMessages;

class MemoryLayerTest : public ::testing::Test {
 protected:
  testing::PlatformGuard guard_;
};

TEST_F(MemoryLayerTest, RefusedAllocationShowsOneMessageAndAnswers257) {
  MemoryBlock block{};
  EXPECT_EQ(MemoryBlockAlloc(&block, 0xFFFFFFFFu, 1), kAllocFailed);
  ASSERT_EQ(ShownMessages().size(), 1u);
  EXPECT_EQ(ShownMessages()[0].text, "size = 4294967295");
  EXPECT_EQ(ShownMessages()[0].title, "Alloc");
  EXPECT_EQ(block.handle, 0u);
  EXPECT_EQ(CallCount(PlatformOp::kLock), 0);
  EXPECT_EQ(LiveAllocations(), 0);
}

TEST_F(MemoryLayerTest, FailedLockLeavesNoHandleAndFreesTheMemory) {
  MemoryBlock block{};
  FailNthCall(PlatformOp::kLock, 1);
  EXPECT_EQ(MemoryBlockAlloc(&block, 64, 1), kLockFailed);
  EXPECT_EQ(block.handle, 0u);
  EXPECT_EQ(CallCount(PlatformOp::kFree), 1);
  EXPECT_EQ(LiveAllocations(), 0);
  EXPECT_TRUE(ShownMessages().empty());
}

TEST_F(MemoryLayerTest, FailedFreeStillClearsEveryHandleAndAnswers260) {
  MemoryBlock blocks[kMemoryBlockCount] = {};
  for (int i : {0, 5, 19}) ASSERT_EQ(MemoryBlockAlloc(&blocks[i], 16, 0), kOk);
  FailNthCall(PlatformOp::kFree, 1);
  EXPECT_EQ(MemoryBlocksFree(blocks), kFreeFailed);
  for (const MemoryBlock &block : blocks) {
    EXPECT_EQ(block.handle, 0u);
    EXPECT_EQ(block.pointer, nullptr);
  }
  EXPECT_EQ(CallCount(PlatformOp::kFree), 3);
  EXPECT_EQ(LiveAllocations(), 1);  // the one whose free failed
}

TEST_F(MemoryLayerTest, FailedUnlockStopsTheWalkAndFreesNothing) {
  MemoryBlock blocks[kMemoryBlockCount] = {};
  for (int i : {1, 2, 3}) ASSERT_EQ(MemoryBlockAlloc(&blocks[i], 16, 0), kOk);
  FailNthCall(PlatformOp::kUnlock, 2);
  EXPECT_EQ(MemoryBlocksFree(blocks), kUnlockFailed);
  EXPECT_EQ(blocks[1].pointer, nullptr);  // unlocked before the failure
  EXPECT_NE(blocks[2].pointer, nullptr);  // the failed one
  EXPECT_NE(blocks[3].pointer, nullptr);  // never reached
  EXPECT_EQ(CallCount(PlatformOp::kFree), 0);
  EXPECT_EQ(LiveAllocations(), 3);
  EXPECT_EQ(MemoryBlocksFree(blocks), kOk);  // a retry completes the release
  EXPECT_EQ(LiveAllocations(), 0);
}

TEST_F(MemoryLayerTest, ReleaseReportsUnlockThenFreeFailures) {
  uintptr_t handle = 0;
  void *pointer = nullptr;
  ASSERT_EQ(MemAcquire(8, 1, &handle, &pointer), kOk);
  FailNthCall(PlatformOp::kUnlock, 1);
  EXPECT_EQ(MemRelease(handle), kUnlockFailed);
  EXPECT_EQ(LiveAllocations(), 1);
  FailNthCall(PlatformOp::kFree, 1);
  EXPECT_EQ(MemRelease(handle), kFreeFailed);
  EXPECT_EQ(MemRelease(handle), kOk);
  EXPECT_EQ(LiveAllocations(), 0);
}

}  // namespace
}  // namespace inkdot
