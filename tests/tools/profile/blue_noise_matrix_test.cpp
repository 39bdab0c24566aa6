// SPDX-License-Identifier: Apache-2.0
#include "blue_noise_matrix.h"

#include <gtest/gtest.h>

#include <vector>

namespace inkdot::profile {
namespace {

TEST(BlueNoiseMatrix, HoldsEveryRankOnce) {
  for (int n : {64, 128}) {
    const auto ranks = MakeBlueNoiseMatrix({n, n, 1.0, 99});
    ASSERT_EQ(ranks.size(), size_t(n) * n);
    std::vector<int> seen(ranks.size(), 0);
    for (uint16_t r : ranks) {
      ASSERT_LT(r, ranks.size());
      ASSERT_EQ(++seen[r], 1) << "rank " << r << " twice at side " << n;
    }
  }
}

TEST(BlueNoiseMatrix, RefusesSidesThatAreNotPowersOfTwo) {
  EXPECT_THROW(MakeBlueNoiseMatrix({96, 64, 1.0, 1}), std::runtime_error);
  EXPECT_THROW(MakeBlueNoiseMatrix({8, 8, 1.0, 1}), std::runtime_error);
}

}  // namespace
}  // namespace inkdot::profile
