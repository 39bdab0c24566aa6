// SPDX-License-Identifier: Apache-2.0
// The row queue between a page's stages: rows arrive in order, each
// consumer sees every batch, and the spare bytes past each row, which the
// producer never writes, read their value in every slot however often the
// slots are reused.
#include <gtest/gtest.h>

#include <thread>

#include "row_ring.h"

namespace inkdot::host::detail {
namespace {

TEST(RowRing, ConsumersSeeEveryBatchWithItsSpareBytes) {
  constexpr size_t kStride = 40, kUsed = 37, kRows = 3, kBatches = 50;
  RowRing ring(4, kRows * kStride, 2, {kStride, kUsed, 0xFF});
  std::thread producer([&] {
    for (uint32_t b = 0; b < kBatches; ++b) {
      uint8_t *slot = ring.Acquire();
      ASSERT_NE(slot, nullptr);
      for (size_t r = 0; r < kRows; ++r) std::fill_n(slot + r * kStride, kUsed, uint8_t(b));
      ring.Publish(b * kRows, kRows);
    }
  });
  std::string complaints;
  std::thread second([&] {
    for (uint32_t b = 0; b < kBatches; ++b) {
      uint32_t first = 0, count = 0;
      if (!ring.Take(1, &first, &count) || first != b * kRows) complaints += "second; ";
      ring.Release(1);
    }
  });
  for (uint32_t b = 0; b < kBatches; ++b) {
    uint32_t first = 0, count = 0;
    const uint8_t *slot = ring.Take(0, &first, &count);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(first, b * kRows);
    EXPECT_EQ(count, kRows);
    for (size_t r = 0; r < kRows; ++r) {
      for (size_t i = 0; i < kStride; ++i) {
        const uint8_t want = i < kUsed ? uint8_t(b) : 0xFF;
        ASSERT_EQ(slot[r * kStride + i], want) << "batch " << b << ", row " << r << ", byte " << i;
      }
    }
    ring.Release(0);
  }
  producer.join();
  second.join();
  EXPECT_EQ(complaints, "");
}

}  // namespace
}  // namespace inkdot::host::detail
