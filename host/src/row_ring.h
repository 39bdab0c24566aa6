/* SPDX-License-Identifier: Apache-2.0 */
// Internal: a bounded queue of equal-sized buffers between threads, each
// holding a batch of consecutive rows, so that one lock and one wake-up
// serve several rows. One producer fills free slots in order and publishes
// them; each of one or more consumers takes every slot in the same order and
// releases it; a slot is reused once every consumer has released it. Any
// side may abort, which wakes the others: Acquire and Take then answer
// nullptr.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace inkdot::host::detail {

// Bytes of every row of a slot that are read but never written: the last
// `stride - used` bytes of every `stride`, set to `value` once.
struct SpareBytes {
  size_t stride = 0, used = 0;
  uint8_t value = 0;
};

class RowRing {
 public:
  // `slots` buffers of `bytes` bytes. Producers write what consumers read,
  // so the buffers are not cleared (a page's first rows need not wait for
  // megabytes of memory to be touched), but for `spare`.
  RowRing(size_t slots, size_t bytes, size_t consumers = 1, SpareBytes spare = {})
      : slots_(slots),
        bytes_(bytes),
        storage_(new uint8_t[slots * bytes]),
        batches_(slots),
        released_(consumers) {
    if (spare.stride == 0) return;
    for (size_t at = 0; at + spare.stride <= slots * bytes; at += spare.stride)
      std::memset(storage_.get() + at + spare.used, spare.value, spare.stride - spare.used);
  }

  // The next slot to fill; waits while every slot is full.
  uint8_t *Acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    spaceFree_.wait(lock, [&] { return aborted_ || filled_ - Slowest() < slots_; });
    return aborted_ ? nullptr : Slot(filled_);
  }
  // Hands the acquired slot, holding rows first .. first + count - 1, to the
  // consumers.
  void Publish(uint32_t first, uint32_t count) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      batches_[filled_ % slots_] = {first, count};
      ++filled_;
    }
    rowReady_.notify_all();
  }
  // Consumer `c`'s next slot, its first row and row count; waits while none
  // is filled.
  const uint8_t *Take(size_t c, uint32_t *first, uint32_t *count) {
    std::unique_lock<std::mutex> lock(mutex_);
    rowReady_.wait(lock, [&] { return aborted_ || filled_ > released_[c]; });
    if (aborted_) return nullptr;
    const Batch &batch = batches_[released_[c] % slots_];
    *first = batch.first;
    *count = batch.count;
    return Slot(released_[c]);
  }
  // Consumer `c` is done with the slot it took.
  void Release(size_t c) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++released_[c];
    }
    spaceFree_.notify_one();
  }
  void Abort() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      aborted_ = true;
    }
    spaceFree_.notify_all();
    rowReady_.notify_all();
  }

 private:
  struct Batch {
    uint32_t first = 0, count = 0;
  };
  uint8_t *Slot(uint64_t count) { return storage_.get() + (count % slots_) * bytes_; }
  uint64_t Slowest() const { return *std::min_element(released_.begin(), released_.end()); }

  const size_t slots_, bytes_;
  std::unique_ptr<uint8_t[]> storage_;
  std::vector<Batch> batches_;
  std::vector<uint64_t> released_;  // per consumer
  std::mutex mutex_;
  std::condition_variable spaceFree_, rowReady_;
  uint64_t filled_ = 0;
  bool aborted_ = false;
};

}  // namespace inkdot::host::detail
