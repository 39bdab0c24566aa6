/* SPDX-License-Identifier: Apache-2.0 */
// Small helpers shared by the resource validators: bounds checks that throw
// a ValidationError naming the field and offset, and fixed-order reads.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "inkdot/host/errors.h"
#include "inkdot/host/resource_formats.h"

namespace inkdot::host::detail {

[[noreturn]] inline void Refuse(const ResourceRef &ref, const std::string &field,
                                uint64_t offset, const std::string &problem) {
  throw ValidationError(ref.file, ref.id, field, offset, problem);
}

// Refuses unless `count` bytes starting at `offset` lie inside `bytes`.
inline void RequireBytes(std::span<const uint8_t> bytes, uint64_t offset, uint64_t count,
                         const ResourceRef &ref, const std::string &field) {
  if (offset > bytes.size() || count > bytes.size() - offset) {
    Refuse(ref, field, offset,
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

// Refuses a node list that does not start at 0, rise strictly and end at 255.
inline void RequireNodeList(std::span<const uint8_t> nodes, uint64_t offset,
                            const ResourceRef &ref, const std::string &field) {
  if (nodes.empty()) Refuse(ref, field, offset, "is empty");
  if (nodes.front() != 0) {
    Refuse(ref, field, offset, "must start at 0, starts at " + std::to_string(nodes.front()));
  }
  for (size_t i = 1; i < nodes.size(); ++i) {
    if (nodes[i] <= nodes[i - 1]) {
      Refuse(ref, field, offset + i,
             "must rise strictly: " + std::to_string(nodes[i]) + " follows " +
                 std::to_string(nodes[i - 1]));
    }
  }
  if (nodes.back() != 255) {
    Refuse(ref, field, offset + nodes.size() - 1,
           "must end at 255, ends at " + std::to_string(nodes.back()));
  }
}

}  // namespace inkdot::host::detail
