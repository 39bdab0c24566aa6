// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstdlib>

#include "profile_builder.h"

namespace inkdot::profile {
namespace {

TEST(TestChart, RefusesSizesOutsideItsRange) {
  EXPECT_THROW(MakeTestChart(10, 400), std::runtime_error);
  EXPECT_THROW(MakeTestChart(400, -1), std::runtime_error);
  EXPECT_NO_THROW(MakeTestChart(64, 64));
}

}  // namespace
}  // namespace inkdot::profile
