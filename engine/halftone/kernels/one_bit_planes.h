// One-bit output planes: one bit per pixel, most significant bit first.
//
// A run may start inside a byte that earlier runs have partly filled: the
// top `firstBit` bits of each plane's first byte are kept. The bits after a
// run's last pixel are stored as 0, whatever that byte held before.
#pragma once

#include <cstdint>

namespace inkdot {

template <int kPlanes>
class OneBitPlanes {
 public:
  OneBitPlanes(uint8_t *dst, uint32_t planeStride, uint32_t firstBit)
      : mask_(0x80u >> (firstBit & 7)) {
    const uint32_t kept = (0xFF00u >> (firstBit & 7)) & 0xFFu;
    for (int k = 0; k < kPlanes; ++k) {
      out_[k] = dst + static_cast<uintptr_t>(k) * planeStride;
      bits_[k] = (firstBit & 7) != 0 ? (*out_[k] & kept) : 0;
    }
  }

  // Sets the current pixel's bit in `plane` when `dot` holds. Planes past
  // the last one written are ignored, so a kernel can compute an ink whose
  // plane it does not store.
  void Set(int plane, bool dot) {
    if (plane < kPlanes) bits_[plane] |= dot ? mask_ : 0u;
  }

  // Moves on to the next pixel, storing the bytes that became full.
  void Next() {
    mask_ >>= 1;
    if (mask_ == 0) {
      for (int k = 0; k < kPlanes; ++k) {
        *out_[k]++ = static_cast<uint8_t>(bits_[k]);
        bits_[k] = 0;
      }
      mask_ = 0x80;
    }
  }

  // Stores the partly filled bytes at the end of a run.
  void Finish() {
    if (mask_ == 0x80) return;
    for (int k = 0; k < kPlanes; ++k) *out_[k] = static_cast<uint8_t>(bits_[k]);
  }

 private:
  uint32_t mask_;
  uint32_t bits_[kPlanes];
  uint8_t *out_[kPlanes];
};

}  // namespace inkdot
