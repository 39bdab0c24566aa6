/* SPDX-License-Identifier: Apache-2.0 */
// Reads a fuzzer's input as a stream of small numbers and length-prefixed
// chunks. Past the end every read gives zeros, so any input is usable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace inkdot::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  uint32_t U32() { return static_cast<uint32_t>(U16()) | static_cast<uint32_t>(U16()) << 16; }

  // A chunk: a 24-bit little-endian length, then that many bytes (fewer
  // when the input ends first).
  std::vector<uint8_t> Chunk() {
    const uint32_t length = Byte() | Byte() << 8 | Byte() << 16;
    const size_t take = length < size_ - pos_ ? length : size_ - pos_;
    std::vector<uint8_t> bytes(data_ + pos_, data_ + pos_ + take);
    pos_ += take;
    return bytes;
  }

  bool empty() const { return pos_ >= size_; }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace inkdot::fuzz
