// SPDX-License-Identifier: Apache-2.0
// The test platform layer: linked in place of the native one.
#include "support/test_platform.h"

#include <cstdlib>
#include <map>

#include "frame/platform.h"

namespace inkdot::testing {

namespace {

struct PlatformState {
  std::map<uintptr_t, uint32_t> live;
  std::vector<ShownMessage> messages;
  int calls[4] = {0, 0, 0, 0};
  int failAt[4] = {0, 0, 0, 0};  // call number that fails, 0 = none
  uint64_t limit = 256u << 20;
};

PlatformState &State() {
  static PlatformState state;
  return state;
}

// Counts a call of `op` and tells whether it is the one planned to fail.
bool CountAndCheck(PlatformOp op) {
  PlatformState &s = State();
  const int i = static_cast<int>(op);
  ++s.calls[i];
  if (s.failAt[i] != 0 && s.calls[i] == s.failAt[i]) {
    s.failAt[i] = 0;
    return true;
  }
  return false;
}

}  // namespace

int ResetPlatform() {
  PlatformState &s = State();
  const int live = static_cast<int>(s.live.size());
  for (const auto &entry : s.live) std::free(reinterpret_cast<void *>(entry.first));
  s = PlatformState{};
  return live;
}

int LiveAllocations() { return static_cast<int>(State().live.size()); }

int CallCount(PlatformOp op) { return State().calls[static_cast<int>(op)]; }

void FailNthCall(PlatformOp op, int n) {
  PlatformState &s = State();
  const int i = static_cast<int>(op);
  s.failAt[i] = s.calls[i] + n;
}

void SetAllocationLimit(uint64_t bytes) { State().limit = bytes; }

const std::vector<ShownMessage> &ShownMessages() { return State().messages; }

}  // namespace inkdot::testing

namespace inkdot {

using testing::CountAndCheck;
using testing::PlatformOp;

uintptr_t PlatformAlloc(uint32_t size, uint32_t zeroFill) {
  if (CountAndCheck(PlatformOp::kAlloc)) return 0;
  auto &s = testing::State();
  if (size > s.limit) return 0;
  const size_t bytes = size == 0 ? 1 : size;
  void *block = zeroFill != 0 ? std::calloc(bytes, 1) : std::malloc(bytes);
  if (block == nullptr) return 0;
  if (zeroFill == 0) {
    // Make reads of memory the engine never wrote stand out.
    for (size_t i = 0; i < bytes; ++i) static_cast<unsigned char *>(block)[i] = 0xA5;
  }
  const auto handle = reinterpret_cast<uintptr_t>(block);
  s.live[handle] = size;
  return handle;
}

void *PlatformLock(uintptr_t handle) {
  if (CountAndCheck(PlatformOp::kLock)) return nullptr;
  return reinterpret_cast<void *>(handle);
}

uint32_t PlatformUnlock(uintptr_t) {
  return CountAndCheck(PlatformOp::kUnlock) ? 1 : 0;
}

uint32_t PlatformFree(uintptr_t handle) {
  if (CountAndCheck(PlatformOp::kFree)) return 1;  // the block stays live
  auto &s = testing::State();
  auto it = s.live.find(handle);
  if (it == s.live.end()) std::abort();  // a double or foreign free
  s.live.erase(it);
  std::free(reinterpret_cast<void *>(handle));
  return 0;
}

void PlatformShowMessage(const char *text, const char *title) {
  testing::State().messages.push_back({text, title});
}

}  // namespace inkdot
