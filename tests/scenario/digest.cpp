// SPDX-License-Identifier: Apache-2.0
#include "digest.h"

namespace inkdot::scenario {

void Digest::AddBytes(const void *data, size_t size) {
  const auto *bytes = static_cast<const uint8_t *>(data);
  for (size_t i = 0; i < size; ++i) {
    state_ ^= bytes[i];
    state_ *= 0x100000001b3u;
  }
}

void Digest::AddWord(uint32_t word) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                            static_cast<uint8_t>(word >> 16),
                            static_cast<uint8_t>(word >> 24)};
  AddBytes(bytes, sizeof bytes);
}

std::string Digest::Hex() const {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 0; i < 16; ++i) text[15 - i] = kDigits[(state_ >> (4 * i)) & 0xF];
  return text;
}

}  // namespace inkdot::scenario
