/* SPDX-License-Identifier: Apache-2.0 */
// Control over the test platform layer, which replaces the native one in
// the test build: it tracks live allocations, records every message and
// fails a chosen call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace inkdot::testing {

enum class PlatformOp { kAlloc, kLock, kUnlock, kFree };

struct ShownMessage {
  std::string text;
  std::string title;
};

// Forgets all counts, messages and planned failures, and releases whatever
// allocations are still live (so that a test that leaks does not leak into
// the next). Returns how many were live.
int ResetPlatform();

// Number of allocations made and not freed.
int LiveAllocations();

// Calls of `op` since the last reset.
int CallCount(PlatformOp op);

// Makes the n-th call of `op` from now (1 = the next one) fail.
void FailNthCall(PlatformOp op, int n);

// Requests above this many bytes are refused, as an exhausted allocator
// would. The default refuses anything above 256 MiB.
void SetAllocationLimit(uint64_t bytes);

const std::vector<ShownMessage> &ShownMessages();

// Resets the platform before each test and checks it after: a test fixture
// base for engine tests that must leave no allocation behind.
class PlatformGuard {
 public:
  PlatformGuard() { ResetPlatform(); }
  ~PlatformGuard() { ResetPlatform(); }
};

}  // namespace inkdot::testing
