// SPDX-License-Identifier: Apache-2.0
// The values of the constant lanes (lane_constants.h), kept out of the
// files that read them.
#include "halftone/kernels/lane_constants.h"

namespace inkdot {
namespace {

constexpr LaneConstants Build() {
  LaneConstants c{};
  for (int k = 0; k < kLaneConstantCount; ++k) {
    for (int lane = 0; lane < 8; ++lane) c.lanes[k][lane] = kLaneValues[k];
  }
  return c;
}

}  // namespace

const LaneConstants kLaneConstants = Build();

}  // namespace inkdot
