/* SPDX-License-Identifier: Apache-2.0 */
// Blue-noise threshold matrices made by the void-and-cluster method, and
// their resource encoding.
#pragma once

#include <cstdint>
#include <vector>

#include "byte_writer.h"

namespace inkdot::profile {

struct BlueNoiseSpec {
  int width = 256;   // a power of two, 16..256
  int height = 256;  // a power of two, 16..256
  // Horizontal resolution over vertical: a pixel is this many times narrower
  // than it is tall, so the filter is widened by the same factor to keep the
  // dots evenly spread on paper (1440 x 720 has 2).
  double horizontalStretch = 1.0;
  uint64_t seed = 1;
};

// Returns width x height ranks, row after row: a permutation of
// 0 .. width * height - 1 in which every prefix of ranks (the dots printed
// at one level) is spread as evenly as the filter allows. Deterministic for
// a given shape.
std::vector<uint16_t> MakeBlueNoiseMatrix(const BlueNoiseSpec &shape);

// The threshold-matrix resource: width and height bytes (256 coded as 255,
// 512 as 239), two unused bytes, then the ranks as little-endian u16.
Bytes EncodeMatrixResource(int width, int height, const std::vector<uint16_t> &ranks);

}  // namespace inkdot::profile
