// SPDX-License-Identifier: Apache-2.0
#include "resource_fitting.h"

#include <algorithm>

namespace inkdot::fuzz {

namespace {

// Larger resources are not worth a fuzzer's time and no real table is this
// large: 36 nodes per axis of 20 inks take 933,120 bytes.
constexpr size_t kMaxResourceBytes = 4u << 20;

uint32_t Le32(const std::vector<uint8_t> &b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void SetLe32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void PadTo(std::vector<uint8_t> &bytes, size_t size) {
  if (bytes.size() < size) bytes.resize(size, 0);
}

}  // namespace

std::vector<uint8_t> FitText(std::vector<uint8_t> bytes) {
  bytes.push_back(0);
  return bytes;
}

std::vector<uint8_t> FitColourTable(std::vector<uint8_t> bytes) {
  // Header, grid sizes and the node lists, however large the sizes say.
  constexpr size_t kSizesAt = 72;
  PadTo(bytes, kSizesAt + 5 + 4 * 255 + 1);
  const bool fourInputs = bytes[15] == 128;
  const uint64_t s1 = bytes[kSizesAt], s2 = bytes[kSizesAt + 1], s3 = bytes[kSizesAt + 2];
  const uint64_t s4 = fourInputs ? bytes[kSizesAt + 3] : 1;
  const uint64_t channels = fourInputs ? bytes[kSizesAt + 4] : bytes[kSizesAt + 3];
  const uint64_t tableAt = kSizesAt + (fourInputs ? 5 : 4) + s1 + s2 + s3 + (fourInputs ? s3 : 0);
  // The table, the neutral black list and the grey block after it.
  const uint64_t end = tableAt + channels * s1 * s2 * s3 * s4 + s1 + s1 * channels;
  if (end > kMaxResourceBytes) return {};
  PadTo(bytes, static_cast<size_t>(end));
  // The auxiliary record (the dot-mode selector) at its offset and length:
  // a host keeps it inside the resource.
  constexpr size_t kAuxOffsetAt = 16, kAuxLengthAt = 20;
  uint32_t auxLength = Le32(bytes, kAuxLengthAt);
  uint32_t auxOffset = Le32(bytes, kAuxOffsetAt);
  if (auxLength != 0 && static_cast<uint64_t>(auxOffset) + auxLength > bytes.size()) {
    auxLength = auxLength % 64 + 1;
    auxOffset = static_cast<uint32_t>(auxOffset % bytes.size());
    SetLe32(bytes, kAuxLengthAt, auxLength);
    SetLe32(bytes, kAuxOffsetAt, auxOffset);
    PadTo(bytes, static_cast<size_t>(auxOffset) + auxLength);
  }
  return bytes;
}

std::vector<uint8_t> FitChannelMap(std::vector<uint8_t> bytes) {
  // Every record then ends at the latest on the added 0xFE, and the map on
  // the 0xFF after it.
  bytes.push_back(0xFE);
  bytes.push_back(0xFF);
  return bytes;
}

std::vector<uint8_t> FitFixed(std::vector<uint8_t> bytes, size_t size) {
  PadTo(bytes, size);
  return bytes;
}

std::vector<uint8_t> FitMatrix(std::vector<uint8_t> bytes) {
  PadTo(bytes, 4);
  auto side = [](uint8_t coded) -> size_t {
    return coded == 255 ? 256 : coded == 239 ? 512 : coded;
  };
  PadTo(bytes, 4 + 2 * side(bytes[0]) * side(bytes[1]));
  return bytes;
}

}  // namespace inkdot::fuzz
