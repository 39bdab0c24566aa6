/* SPDX-License-Identifier: Apache-2.0 */
// One-bit output planes: one bit per pixel, most significant bit first.
//
// A run may start inside a byte that earlier runs have partly filled: the
// top `firstBit` bits of each plane's first byte are kept. The bits after a
// run's last pixel are stored as 0, whatever that byte held before.
#pragma once

#include <cstdint>

namespace inkdot {

// The bytes under construction of up to four planes share one word, plane k
// in byte k, so that moving on to the next pixel is a single shift. Bit 0 of
// each byte is the current pixel's; the pixels before it sit above.
template <int kPlanes>
class OneBitPlanes {
  static_assert(kPlanes >= 1 && kPlanes <= 4);

 public:
  OneBitPlanes(uint8_t *dst, uint32_t planeStride, uint32_t firstBit)
      : out_(dst), stride_(planeStride), filled_(firstBit & 7) {
    for (int k = 0; k < kPlanes; ++k) {
      // The kept pixels, one place above the current pixel's bit.
      if (filled_ != 0) bits_ |= (uint32_t{Plane(k)} >> (8 - filled_) << 1) << (8 * k);
    }
  }

  // Sets the current pixel's bit in `plane` when `dot` holds. Planes past
  // the last one written are ignored, so a kernel can compute an ink whose
  // plane it does not store.
  void Set(int plane, bool dot) {
    if (plane < kPlanes) bits_ |= static_cast<uint32_t>(dot) << (8 * plane);
  }

  // Moves on to the next pixel, storing the bytes that became full.
  void Next() {
    if (++filled_ == 8) {
      for (int k = 0; k < kPlanes; ++k) Plane(k) = static_cast<uint8_t>(bits_ >> (8 * k));
      ++out_;
      bits_ = 0;
      filled_ = 0;
    } else {
      // No byte holds more than seven pixels here: nothing crosses into
      // the next plane's byte.
      bits_ <<= 1;
    }
  }

  // Stores the partly filled bytes at the end of a run.
  void Finish() {
    if (filled_ == 0) return;
    const uint32_t bytes = bits_ << (7 - filled_);
    for (int k = 0; k < kPlanes; ++k) Plane(k) = static_cast<uint8_t>(bytes >> (8 * k));
  }

 private:
  // Plane k's current byte. One pointer for all planes keeps the kernels'
  // registers free for their own work.
  uint8_t &Plane(int k) { return out_[static_cast<uintptr_t>(k) * stride_]; }

  uint8_t *out_;  // plane 0's current byte
  uintptr_t stride_;
  uint32_t bits_ = 0;
  uint32_t filled_;  // pixels of the current bytes already decided
};

// One plane: a moving bit mask, which the compilers unroll better for the
// single-channel loops than the shared word.
template <>
class OneBitPlanes<1> {
 public:
  OneBitPlanes(uint8_t *dst, uint32_t, uint32_t firstBit)
      : out_(dst), mask_(0x80u >> (firstBit & 7)) {
    const uint32_t kept = (0xFF00u >> (firstBit & 7)) & 0xFFu;
    bits_ = (firstBit & 7) != 0 ? (*out_ & kept) : 0;
  }

  void Set(int plane, bool dot) {
    if (plane == 0) bits_ |= dot ? mask_ : 0u;
  }

  void Next() {
    mask_ >>= 1;
    if (mask_ == 0) {
      *out_++ = static_cast<uint8_t>(bits_);
      bits_ = 0;
      mask_ = 0x80;
    }
  }

  void Finish() {
    if (mask_ != 0x80) *out_ = static_cast<uint8_t>(bits_);
  }

 private:
  uint8_t *out_;
  uint32_t mask_;
  uint32_t bits_;
};

}  // namespace inkdot
