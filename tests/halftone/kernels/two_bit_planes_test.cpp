// SPDX-License-Identifier: Apache-2.0
// The packed two-bit writer of the hot loops against the general one, for
// every start field and run lengths around byte boundaries.
#include "halftone/kernels/multi_size/two_bit_planes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace inkdot {
namespace {

template <class Planes>
std::vector<uint8_t> Write(const std::vector<uint8_t> &before, uint32_t stride,
                           uint32_t firstBit, const std::vector<uint32_t> &codes) {
  std::vector<uint8_t> planes = before;
  Planes out(planes.data(), stride, firstBit);
  for (size_t i = 0; i < codes.size() / 4; ++i) {
    for (int k = 0; k < 4; ++k) out.Set(k, codes[4 * i + k]);
    out.Next();
  }
  out.Finish();
  return planes;
}

TEST(TwoBitPlanesTest, PackedWriterStoresTheSameBytesAsTheGeneralOne) {
  constexpr uint32_t kStride = 6;
  uint32_t state = 1;
  auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 24; };
  for (uint32_t firstBit = 0; firstBit < 4; ++firstBit) {
    for (uint32_t count = 0; count <= 13; ++count) {
      std::vector<uint8_t> before(4 * kStride);
      for (uint8_t &b : before) b = static_cast<uint8_t>(next());
      std::vector<uint32_t> codes(4 * count);
      for (uint32_t &c : codes) c = next() & 3;
      EXPECT_EQ(Write<PackedTwoBitPlanes<4>>(before, kStride, firstBit, codes),
                Write<TwoBitPlanes<4>>(before, kStride, firstBit, codes))
          << "firstBit " << firstBit << ", " << count << " pixels";
    }
  }
}

}  // namespace
}  // namespace inkdot
