// Internal: a bounded queue of equal-sized row buffers between threads. One
// producer fills free slots in order and publishes them; each of one or
// more consumers takes every slot in the same order and releases it; a slot
// is reused once every consumer has released it. Any side may abort, which
// wakes the others: Acquire and Take then answer nullptr.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace inkdot::host::detail {

class RowRing {
 public:
  RowRing(size_t slots, size_t bytes, size_t consumers = 1)
      : slots_(slots), bytes_(bytes), storage_(slots * bytes), rows_(slots), released_(consumers) {}

  size_t bytes() const { return bytes_; }

  // The next slot to fill; waits while every slot is full.
  uint8_t *Acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    spaceFree_.wait(lock, [&] { return aborted_ || filled_ - Slowest() < slots_; });
    return aborted_ ? nullptr : Slot(filled_);
  }
  // Hands the acquired slot, holding row `y`, to the consumers.
  void Publish(uint32_t y) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      rows_[filled_ % slots_] = y;
      ++filled_;
    }
    rowReady_.notify_all();
  }
  // Consumer `c`'s next slot and its row number; waits while none is filled.
  const uint8_t *Take(size_t c, uint32_t *y) {
    std::unique_lock<std::mutex> lock(mutex_);
    rowReady_.wait(lock, [&] { return aborted_ || filled_ > released_[c]; });
    if (aborted_) return nullptr;
    *y = rows_[released_[c] % slots_];
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
  uint8_t *Slot(uint64_t count) { return storage_.data() + (count % slots_) * bytes_; }
  uint64_t Slowest() const { return *std::min_element(released_.begin(), released_.end()); }

  const size_t slots_, bytes_;
  std::vector<uint8_t> storage_;
  std::vector<uint32_t> rows_;
  std::vector<uint64_t> released_;  // per consumer
  std::mutex mutex_;
  std::condition_variable spaceFree_, rowReady_;
  uint64_t filled_ = 0;
  bool aborted_ = false;
};

}  // namespace inkdot::host::detail
