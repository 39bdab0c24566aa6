/* SPDX-License-Identifier: Apache-2.0 */
// Internal: encodes one TIFF strip of a dot plane at a time, whole, in the
// plane's compression: deflate through libdeflate (whole buffers, several
// times faster than a streaming deflate at the same size), PackBits row by
// row, or nothing.
#pragma once

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "inkdot/host/dot_page.h"

struct libdeflate_compressor;

namespace inkdot::host::detail {

// libdeflate's level for each deflate setting, chosen by size against time
// on A4 dot planes: level 6 is about as small as zlib's default level and a
// quarter of its time; level 1, the default setting, is 1-4 % larger and
// takes two thirds of level 6's time (levels 2 to 4 fall in between).
constexpr int kDeflateLevel = 6;
constexpr int kFastDeflateLevel = 1;

// The TIFF Compression tag value of `compression`.
uint16_t TiffCompressionTag(PlaneCompression compression);

class StripEncoder {
 public:
  // Strips of up to `maxRows` rows of `rowBytes` bytes.
  StripEncoder(PlaneCompression compression, size_t rowBytes, uint32_t maxRows);
  ~StripEncoder();
  StripEncoder(const StripEncoder &) = delete;
  StripEncoder &operator=(const StripEncoder &) = delete;

  // The encoded bytes of `rows` rows at `strip`, valid until the next call.
  std::span<const uint8_t> Encode(const uint8_t *strip, uint32_t rows);

 private:
  PlaneCompression compression_;
  size_t rowBytes_;
  libdeflate_compressor *deflate_ = nullptr;
  std::vector<uint8_t> out_;
  std::vector<uint8_t> blank_;  // a deflated strip of zeros, blankRows_ rows
  uint32_t blankRows_ = 0;
};

// Whether all `size` bytes are zero.
bool IsBlank(const uint8_t *bytes, size_t size);

// PackBits (TIFF's run-length scheme) of one row: runs of 2 to 128 equal
// bytes as a count byte (1 - length) and the byte, anything else as literal
// groups of up to 128 bytes after a count byte (length - 1). Writes at most
// size + (size + 127) / 128 bytes to `out`; returns how many.
size_t PackBitsRow(const uint8_t *row, size_t size, uint8_t *out);

}  // namespace inkdot::host::detail
