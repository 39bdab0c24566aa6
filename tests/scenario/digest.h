/* SPDX-License-Identifier: Apache-2.0 */
// A running 64-bit FNV-1a digest of a byte stream. Multi-byte values are
// fed little-endian, so the digest does not depend on the machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace inkdot::scenario {

class Digest {
 public:
  void AddBytes(const void *data, size_t size);
  void AddWord(uint32_t word);  // four bytes, least significant first
  uint64_t value() const { return state_; }
  std::string Hex() const;      // 16 lower-case hex digits

 private:
  uint64_t state_ = 0xcbf29ce484222325u;
};

}  // namespace inkdot::scenario
