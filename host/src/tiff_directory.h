/* SPDX-License-Identifier: Apache-2.0 */
// Internal: image directories of a classic little-endian TIFF, built by
// hand for a file whose strips are already in place. The dot planes'
// writers put each strip of every plane into the page's file as soon as it
// is encoded, from several threads; libtiff writes strips only into its one
// current directory, which would need the planes copied once more at the
// end. Reading stays with libtiff.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace inkdot::host::detail {

// The TIFF field types used here.
enum class TiffType : uint16_t { kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

class TiffDirectory {
 public:
  void Shorts(uint16_t tag, std::span<const uint16_t> values);
  void Short(uint16_t tag, uint16_t value) { Shorts(tag, {&value, 1}); }
  void Longs(uint16_t tag, std::span<const uint32_t> values);
  void Long(uint16_t tag, uint32_t value) { Longs(tag, {&value, 1}); }
  void Rational(uint16_t tag, uint32_t numerator, uint32_t denominator);
  // The text and its terminating NUL.
  void Ascii(uint16_t tag, const std::string &text);

  // Bytes the directory takes, the values that do not fit in their entries
  // included.
  size_t Size() const;
  // The directory as placed at `offset` (even), its entries in tag order,
  // followed by the offset of the `next` directory (0 for none).
  std::vector<uint8_t> Bytes(uint32_t offset, uint32_t next) const;

 private:
  struct Entry {
    uint16_t tag;
    TiffType type;
    uint32_t count;
    std::vector<uint8_t> value;  // little-endian
  };
  void Add(uint16_t tag, TiffType type, uint32_t count, std::vector<uint8_t> value);
  std::vector<Entry> entries_;
};

// The 8-byte header of a little-endian classic TIFF whose first directory
// is at `first`.
std::array<uint8_t, 8> TiffHeader(uint32_t first);

}  // namespace inkdot::host::detail
