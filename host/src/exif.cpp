// SPDX-License-Identifier: Apache-2.0
#include "exif.h"

namespace inkdot::host::detail {

namespace {

class TiffBytes {
 public:
  TiffBytes(const uint8_t *data, size_t size, bool bigEndian)
      : data_(data), size_(size), big_(bigEndian) {}
  bool Has(size_t at, size_t count) const { return at <= size_ && count <= size_ - at; }
  uint32_t U16(size_t at) const {
    return big_ ? (data_[at] << 8 | data_[at + 1]) : (data_[at] | data_[at + 1] << 8);
  }
  uint32_t U32(size_t at) const {
    return big_ ? (U16(at) << 16 | U16(at + 2)) : (U16(at) | U16(at + 2) << 16);
  }

 private:
  const uint8_t *data_;
  size_t size_;
  bool big_;
};

constexpr uint32_t kShort = 3, kRational = 5;

}  // namespace

ExifFacts ReadExif(const uint8_t *data, size_t size) {
  ExifFacts facts;
  static const uint8_t kHead[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (size < 14) return facts;
  for (int i = 0; i < 6; ++i) {
    if (data[i] != kHead[i]) return facts;
  }
  data += 6;
  size -= 6;
  bool big;
  if (data[0] == 'I' && data[1] == 'I') {
    big = false;
  } else if (data[0] == 'M' && data[1] == 'M') {
    big = true;
  } else {
    return facts;
  }
  const TiffBytes tiff(data, size, big);
  if (tiff.U16(2) != 42) return facts;
  const size_t ifd = tiff.U32(4);
  if (!tiff.Has(ifd, 2)) return facts;
  const uint32_t entries = tiff.U16(ifd);
  double x = 0, y = 0;
  uint32_t unit = 2;  // inches unless the file says otherwise
  for (uint32_t i = 0; i < entries; ++i) {
    const size_t at = ifd + 2 + 12 * static_cast<size_t>(i);
    if (!tiff.Has(at, 12)) break;
    const uint32_t tag = tiff.U16(at), type = tiff.U16(at + 2), count = tiff.U32(at + 4);
    if (count != 1) continue;
    if (type == kShort && tag == 0x0112) facts.orientation = tiff.U16(at + 8);
    if (type == kShort && tag == 0x0128) unit = tiff.U16(at + 8);
    if (type == kRational && (tag == 0x011A || tag == 0x011B)) {
      const size_t value = tiff.U32(at + 8);
      if (!tiff.Has(value, 8)) continue;
      const uint32_t num = tiff.U32(value), den = tiff.U32(value + 4);
      if (den == 0) continue;
      (tag == 0x011A ? x : y) = static_cast<double>(num) / den;
    }
  }
  const double scale = unit == 2 ? 1.0 : unit == 3 ? 2.54 : 0.0;
  if (x > 0 && y > 0 && scale > 0) {
    facts.xDpi = x * scale;
    facts.yDpi = y * scale;
  }
  return facts;
}

}  // namespace inkdot::host::detail
