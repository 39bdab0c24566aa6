/* SPDX-License-Identifier: Apache-2.0 */
// Output planes written 64 bits at a time, for the vector kernels: each
// plane's bits, first pixel in the most significant place, go out as whole
// 8-byte blocks. As in the pixel-by-pixel writers, the first `shift` bits of
// each plane's first byte (earlier runs' pixels) are kept, the bits after
// the run's last pixel are stored as 0 and no byte past them is touched.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace inkdot {

// A 64-bit word whose bit j is pixel j's, turned round so that pixel 0 is
// the most significant bit.
inline uint64_t FirstPixelHigh(uint64_t bits) {
  bits = (bits >> 1 & 0x5555555555555555u) | (bits & 0x5555555555555555u) << 1;
  bits = (bits >> 2 & 0x3333333333333333u) | (bits & 0x3333333333333333u) << 2;
  bits = (bits >> 4 & 0x0F0F0F0F0F0F0F0Fu) | (bits & 0x0F0F0F0F0F0F0F0Fu) << 4;
  return __builtin_bswap64(bits);
}

// Eight bytes in memory order as a word with the first byte on top.
inline uint64_t BytesHigh(const uint8_t *p) {
  uint64_t word = 0;
  for (int i = 0; i < 8; ++i) word = word << 8 | p[i];
  return word;
}

template <int kPlanes>
class BlockPlanes {
 public:
  // `shift` (0..7) bits of each plane's first byte belong to earlier runs.
  BlockPlanes(uint8_t *dst, uint32_t planeStride, uint32_t shift)
      : out_(dst), stride_(planeStride), shift_(shift) {
    for (int k = 0; k < kPlanes; ++k) {
      carry_[k] = shift != 0 ? uint64_t{Plane(k)[0]} >> (8 - shift) << (64 - shift) : 0;
    }
  }

  // Stores the next 64 bits of plane k; once every plane has had its
  // block, Next moves on.
  void Store(int k, uint64_t bits) {
    Put(Plane(k), carry_[k] | bits >> shift_, 8);
    carry_[k] = shift_ != 0 ? bits << (64 - shift_) : 0;
  }
  void Next() { out_ += 8; }

  // Whether the planes start on a byte (no earlier run's bits in the first
  // one): a whole block's bytes then go out as they are (StoreBytes).
  bool Aligned() const { return shift_ == 0; }
  // Plane k's next 8 bytes, in memory order; only when Aligned.
  void StoreBytes(int k, const uint8_t *bytes) { std::memcpy(Plane(k), bytes, 8); }

  // Stores the last `count` (0..64) bits of plane k, the bits below them 0.
  void Finish(int k, uint64_t bits, uint32_t count) {
    const uint32_t total = shift_ + count;
    Put(Plane(k), carry_[k] | bits >> shift_, total < 64 ? (total + 7) / 8 : 8);
    if (total > 64) Put(Plane(k) + 8, bits << (64 - shift_), 1);
  }

 private:
  uint8_t *Plane(int k) { return out_ + static_cast<uintptr_t>(k) * stride_; }
  static void Put(uint8_t *p, uint64_t word, uint32_t bytes) {
    if (std::endian::native == std::endian::little && bytes == 8) {
      const uint64_t inOrder = __builtin_bswap64(word);  // one store for a whole block
      std::memcpy(p, &inOrder, 8);
      return;
    }
    for (uint32_t i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(word >> (56 - 8 * i));
  }

  uint8_t *out_;  // plane 0's current block
  uintptr_t stride_;
  uint32_t shift_;
  uint64_t carry_[kPlanes];  // bits waiting for the next block, on top
};

}  // namespace inkdot
