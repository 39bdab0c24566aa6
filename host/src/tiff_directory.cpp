// SPDX-License-Identifier: Apache-2.0
#include "tiff_directory.h"

#include <algorithm>

namespace inkdot::host::detail {

namespace {

// Entries are 12 bytes: tag, type, count and a value of up to 4 bytes or
// the offset of one that is longer.
constexpr size_t kEntryBytes = 12;

void Put16(std::vector<uint8_t> &out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t> &out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// Values are word-aligned, as the format asks.
size_t Padded(size_t bytes) { return bytes + (bytes & 1); }

}  // namespace

void TiffDirectory::Add(uint16_t tag, TiffType type, uint32_t count, std::vector<uint8_t> value) {
  entries_.push_back({tag, type, count, std::move(value)});
}

void TiffDirectory::Shorts(uint16_t tag, std::span<const uint16_t> values) {
  std::vector<uint8_t> value;
  for (uint16_t v : values) Put16(value, v);
  Add(tag, TiffType::kShort, static_cast<uint32_t>(values.size()), std::move(value));
}

void TiffDirectory::Longs(uint16_t tag, std::span<const uint32_t> values) {
  std::vector<uint8_t> value;
  value.reserve(4 * values.size());
  for (uint32_t v : values) Put32(value, v);
  Add(tag, TiffType::kLong, static_cast<uint32_t>(values.size()), std::move(value));
}

void TiffDirectory::Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
  std::vector<uint8_t> value;
  Put32(value, numerator);
  Put32(value, denominator);
  Add(tag, TiffType::kRational, 1, std::move(value));
}

void TiffDirectory::Ascii(uint16_t tag, const std::string &text) {
  std::vector<uint8_t> value(text.begin(), text.end());
  value.push_back(0);
  const auto count = static_cast<uint32_t>(value.size());
  Add(tag, TiffType::kAscii, count, std::move(value));
}

size_t TiffDirectory::Size() const {
  size_t bytes = 2 + kEntryBytes * entries_.size() + 4;
  for (const Entry &entry : entries_) {
    if (entry.value.size() > 4) bytes += Padded(entry.value.size());
  }
  return bytes;
}

std::vector<uint8_t> TiffDirectory::Bytes(uint32_t offset, uint32_t next) const {
  std::vector<const Entry *> sorted;
  for (const Entry &entry : entries_) sorted.push_back(&entry);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Entry *a, const Entry *b) { return a->tag < b->tag; });
  std::vector<uint8_t> out, values;
  out.reserve(Size());
  Put16(out, static_cast<uint16_t>(sorted.size()));
  uint32_t valueAt = offset + static_cast<uint32_t>(2 + kEntryBytes * sorted.size() + 4);
  for (const Entry *entry : sorted) {
    Put16(out, entry->tag);
    Put16(out, static_cast<uint16_t>(entry->type));
    Put32(out, entry->count);
    if (entry->value.size() <= 4) {
      out.insert(out.end(), entry->value.begin(), entry->value.end());
      out.resize(out.size() + 4 - entry->value.size(), 0);
    } else {
      Put32(out, valueAt + static_cast<uint32_t>(values.size()));
      values.insert(values.end(), entry->value.begin(), entry->value.end());
      values.resize(Padded(values.size()), 0);
    }
  }
  Put32(out, next);
  out.insert(out.end(), values.begin(), values.end());
  return out;
}

std::array<uint8_t, 8> TiffHeader(uint32_t first) {
  return {'I',
          'I',
          42,
          0,
          static_cast<uint8_t>(first),
          static_cast<uint8_t>(first >> 8),
          static_cast<uint8_t>(first >> 16),
          static_cast<uint8_t>(first >> 24)};
}

}  // namespace inkdot::host::detail
