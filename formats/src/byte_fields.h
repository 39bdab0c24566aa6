/* SPDX-License-Identifier: Apache-2.0 */
// Fixed-order reads and writes of numbers inside a resource, and the checks
// the validators share: each check throws a FormatError naming the field and
// the byte offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "inkdot/formats/format_error.h"

namespace inkdot::formats::detail {

[[noreturn]] inline void Refuse(const std::string &field, uint64_t offset, const std::string &problem) {
  throw FormatError(field, offset, problem);
}

// Refuses unless `count` bytes starting at `offset` lie inside `bytes`.
inline void RequireBytes(std::span<const uint8_t> bytes, uint64_t offset, uint64_t count,
                         const std::string &field) {
  if (offset > bytes.size() || count > bytes.size() - offset) {
    Refuse(field, offset,
           "needs " + std::to_string(count) + " bytes but the file ends at byte " +
               std::to_string(bytes.size()));
  }
}

inline uint16_t U16LE(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline uint16_t U16BE(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}
inline uint32_t U32LE(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

inline void PutU16LE(std::vector<uint8_t> &out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value & 0xFF);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}
inline void PutU16BE(std::vector<uint8_t> &out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value >> 8);
  out[at + 1] = static_cast<uint8_t>(value & 0xFF);
}
inline void PutU32LE(std::vector<uint8_t> &out, size_t at, uint32_t value) {
  for (int n = 0; n < 4; ++n) out[at + n] = static_cast<uint8_t>(value >> (8 * n));
}

// Appends bytes one by one (range insertion into a growing vector draws
// false bounds warnings from GCC 12 at -O2 and -O3).
inline void Append(std::vector<uint8_t> &out, std::span<const uint8_t> bytes) {
  out.reserve(out.size() + bytes.size());
  for (uint8_t b : bytes) out.push_back(b);
}

// Refuses a node list that does not start at 0, rise strictly and end at 255.
inline void RequireNodeList(std::span<const uint8_t> nodes, uint64_t offset, const std::string &field) {
  if (nodes.empty()) Refuse(field, offset, "is empty");
  if (nodes.front() != 0) {
    Refuse(field, offset, "must start at 0, starts at " + std::to_string(nodes.front()));
  }
  for (size_t i = 1; i < nodes.size(); ++i) {
    if (nodes[i] <= nodes[i - 1]) {
      Refuse(field, offset + i,
             "must rise strictly: " + std::to_string(nodes[i]) + " follows " +
                 std::to_string(nodes[i - 1]));
    }
  }
  if (nodes.back() != 255) {
    Refuse(field, offset + nodes.size() - 1,
           "must end at 255, ends at " + std::to_string(nodes.back()));
  }
}

}  // namespace inkdot::formats::detail
