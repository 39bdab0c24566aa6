/* SPDX-License-Identifier: Apache-2.0 */
// Appending fixed-width numbers to a byte buffer in a stated byte order.
// Resource formats mix byte orders field by field, so every call names one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace inkdot::profile {

using Bytes = std::vector<uint8_t>;

inline void PutU8(Bytes &out, unsigned value) {
  out.push_back(static_cast<uint8_t>(value));
}

inline void PutU16LE(Bytes &out, unsigned value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void PutU16BE(Bytes &out, unsigned value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

inline void PutU32LE(Bytes &out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// Appends bytes one by one (range insertion into a growing vector draws
// false bounds warnings from GCC 12 at -O2).
inline void PutBytes(Bytes &out, const std::vector<uint8_t> &bytes) {
  out.reserve(out.size() + bytes.size());
  for (uint8_t b : bytes) out.push_back(b);
}

// Writes a little-endian u32 over four bytes already in the buffer.
inline void SetU32LE(Bytes &out, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace inkdot::profile
