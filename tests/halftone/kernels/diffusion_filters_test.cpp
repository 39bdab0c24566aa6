// SPDX-License-Identifier: Apache-2.0
// The colour kernels' branch-free form of the 1440 x 720 filters must leave
// every error cell and the carry exactly as the branching form the grey
// kernel keeps, for every filter class, dot, noise bit and error sign.
#include "halftone/kernels/one_bit/diffusion_filters.h"

#include <array>
#include <cstdint>
#include <random>

#include <gtest/gtest.h>

namespace inkdot {
namespace {

// Cells around the pixel, wider than any filter's reach.
constexpr int kReach = 32;
using Window = std::array<int32_t, 2 * kReach + 1>;

TEST(WideColourFilters, SpreadEveryPixelAsTheBranchingFilters) {
  const FilterLimits limits{32, 9, 4, 2};
  // One level in each class of the limits, and the limits themselves.
  const int32_t levels[] = {255, 33, 32, 20, 10, 9, 5, 4, 3, 2, 1, 0};
  const int32_t errors[] = {0, 1, -1, 2, -3, 31, -32, 255, -255, 4097, -4097,
                            0x3FFFFFF, -0x4000000};
  std::mt19937 random(24);
  for (int32_t level : levels) {
    for (int32_t error : errors) {
      for (int dot = 0; dot < 2; ++dot) {
        for (uint32_t noise = 0; noise < 2; ++noise) {
          Window expected{}, actual{};
          for (size_t k = 0; k < expected.size(); ++k) {
            expected[k] = actual[k] = static_cast<int32_t>(random() % 20001) - 10000;
          }
          const int32_t carry = static_cast<int32_t>(random() % 2001) - 1000;
          const DiffusedPixel p{level, error, dot != 0, noise, limits.t3};
          const int32_t expectedCarry =
              WideFilters::Apply(expected.data() + kReach, p, carry, limits);
          const int32_t actualCarry =
              WideColourFilters::Apply(actual.data() + kReach, p, carry, limits);
          SCOPED_TRACE(testing::Message() << "level " << level << " error " << error
                                          << " dot " << dot << " noise " << noise);
          EXPECT_EQ(actualCarry, expectedCarry);
          EXPECT_EQ(actual, expected);
        }
      }
    }
  }
}

}  // namespace
}  // namespace inkdot
