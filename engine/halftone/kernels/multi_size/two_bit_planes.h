/* SPDX-License-Identifier: Apache-2.0 */
// Two-bit dot codes for the multi-size-dot kernels: 00 no dot, 01 small,
// 10 medium, 11 large; four pixels per byte, the first pixel in the top two
// bits. Each plane has one byte under construction so that every output byte
// is written once.
#pragma once

#include <cstdint>

namespace inkdot {

enum DotCode : uint32_t {
  kNoDot = 0,
  kSmallDot = 1,
  kMediumDot = 2,
  kLargeDot = 3,
};

template <int kPlanes>
class TwoBitPlanes {
 public:
  // `firstBit` pixel fields of each plane's first byte belong to earlier
  // runs and are kept; the host passes 0..3.
  TwoBitPlanes(uint8_t *dst, uint32_t planeStride, uint32_t firstBit) {
    const uint32_t kept = firstBit < 4 ? 0xFFu >> (2 * firstBit) : 0;
    mask_ = firstBit < 4 ? 0xC0u >> (2 * firstBit) : 0;
    for (int k = 0; k < kPlanes; ++k) {
      out_[k] = dst + static_cast<uintptr_t>(k) * planeStride;
      byte_[k] = firstBit != 0 ? out_[k][0] & ~kept & 0xFFu : 0;
    }
  }

  // The field of the current pixel on plane k; 0 leaves it empty.
  void Set(int k, uint32_t code) { byte_[k] |= code * (mask_ & 0x55u); }

  // Moves to the next pixel, storing the bytes once they are full.
  void Next() {
    mask_ >>= 2;
    if (mask_ == 0) {
      for (int k = 0; k < kPlanes; ++k) {
        *out_[k]++ = static_cast<uint8_t>(byte_[k]);
        byte_[k] = 0;
      }
      mask_ = 0xC0;
    }
  }

  // Stores a partly filled last byte: the fields after the run are 00.
  void Finish() {
    if (mask_ == 0xC0) return;
    for (int k = 0; k < kPlanes; ++k) *out_[k] = static_cast<uint8_t>(byte_[k]);
  }

 private:
  uint8_t *out_[kPlanes];
  uint32_t byte_[kPlanes];
  uint32_t mask_;
};

// The same output for runs that start at a pixel field (firstBit 0..3), with
// the bytes under construction of up to four planes in one word, plane k in
// byte k and the current pixel in its low two bits, and one output pointer
// for all planes: moving to the next pixel is a single shift.
template <int kPlanes>
class PackedTwoBitPlanes {
  static_assert(kPlanes >= 1 && kPlanes <= 4);

 public:
  // Only for firstBit 0..3; TwoBitPlanes also takes the others.
  PackedTwoBitPlanes(uint8_t *dst, uint32_t planeStride, uint32_t firstBit)
      : out_(dst), stride_(planeStride), filled_(firstBit) {
    for (int k = 0; k < kPlanes; ++k) {
      // The kept fields, one field above the current pixel's.
      if (filled_ != 0) {
        bits_ |= (uint32_t{Plane(k)} >> (8 - 2 * filled_) << 2) << (8 * k);
      }
    }
  }

  void Set(int k, uint32_t code) { bits_ |= code << (8 * k); }

  void Next() {
    if (++filled_ == 4) {
      for (int k = 0; k < kPlanes; ++k) Plane(k) = static_cast<uint8_t>(bits_ >> (8 * k));
      ++out_;
      bits_ = 0;
      filled_ = 0;
    } else {
      // At most three pixels per byte here: nothing crosses into the next
      // plane's byte.
      bits_ <<= 2;
    }
  }

  void Finish() {
    if (filled_ == 0) return;
    const uint32_t bytes = bits_ << (6 - 2 * filled_);
    for (int k = 0; k < kPlanes; ++k) Plane(k) = static_cast<uint8_t>(bytes >> (8 * k));
  }

 private:
  uint8_t &Plane(int k) { return out_[static_cast<uintptr_t>(k) * stride_]; }

  uint8_t *out_;
  uintptr_t stride_;
  uint32_t bits_ = 0;
  uint32_t filled_;
};

}  // namespace inkdot
