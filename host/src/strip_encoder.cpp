// SPDX-License-Identifier: Apache-2.0
#include "strip_encoder.h"

#include <libdeflate.h>

#include <cstring>
#include <new>

namespace inkdot::host::detail {

uint16_t TiffCompressionTag(PlaneCompression compression) {
  switch (compression) {
    case PlaneCompression::kNone: return COMPRESSION_NONE;
    case PlaneCompression::kPackBits: return COMPRESSION_PACKBITS;
    case PlaneCompression::kDeflate:
    case PlaneCompression::kFast: break;
  }
  return COMPRESSION_ADOBE_DEFLATE;
}

StripEncoder::StripEncoder(PlaneCompression compression, size_t rowBytes, uint32_t maxRows)
    : compression_(compression), rowBytes_(rowBytes) {
  const size_t most = rowBytes * maxRows;
  switch (compression) {
    case PlaneCompression::kNone: break;
    case PlaneCompression::kPackBits:
      out_.resize(maxRows * (rowBytes + rowBytes / 128 + 2));
      break;
    case PlaneCompression::kDeflate:
    case PlaneCompression::kFast:
      deflate_ = libdeflate_alloc_compressor(compression == PlaneCompression::kFast
                                                 ? kFastDeflateLevel
                                                 : kDeflateLevel);
      if (!deflate_) throw std::bad_alloc();
      out_.resize(libdeflate_zlib_compress_bound(deflate_, most));
      break;
  }
}

StripEncoder::~StripEncoder() {
  if (deflate_) libdeflate_free_compressor(deflate_);
}

std::span<const uint8_t> StripEncoder::Encode(const uint8_t *strip, uint32_t rows) {
  const size_t bytes = rowBytes_ * rows;
  if (compression_ == PlaneCompression::kNone) return {strip, bytes};
  size_t size = 0;
  if (compression_ == PlaneCompression::kPackBits) {
    // Runs never cross rows, as TIFF readers expect.
    for (uint32_t r = 0; r < rows; ++r)
      size += PackBitsRow(strip + r * rowBytes_, rowBytes_, out_.data() + size);
  } else if (IsBlank(strip, bytes)) {
    // White margins and gaps give whole strips of zeros, which deflate
    // slowly for what they are: each size is compressed once and reused.
    if (blank_.empty() || blankRows_ != rows) {
      blank_.resize(libdeflate_zlib_compress_bound(deflate_, bytes));
      blank_.resize(libdeflate_zlib_compress(deflate_, strip, bytes, blank_.data(), blank_.size()));
      blankRows_ = rows;
    }
    return blank_;
  } else {
    // The bound of out_ is libdeflate's own: compression cannot fail.
    size = libdeflate_zlib_compress(deflate_, strip, bytes, out_.data(), out_.size());
  }
  return {out_.data(), size};
}

bool IsBlank(const uint8_t *bytes, size_t size) {
  // Every byte equal to the one after it, and the first zero.
  return size == 0 || (bytes[0] == 0 && std::memcmp(bytes, bytes + 1, size - 1) == 0);
}

size_t PackBitsRow(const uint8_t *row, size_t size, uint8_t *out) {
  size_t o = 0;
  size_t i = 0;
  // Equal bytes from row[at], at most 128.
  const auto runAt = [&](size_t at) {
    size_t run = 1;
    while (at + run < size && run < 128 && row[at + run] == row[at]) ++run;
    return run;
  };
  while (i < size) {
    const size_t run = runAt(i);
    // A run of two inside literals costs as much either way; it starts a
    // run of its own only where no literal is open.
    if (run >= 2) {
      out[o++] = static_cast<uint8_t>(257 - run);
      out[o++] = row[i];
      i += run;
      continue;
    }
    // Literal bytes up to the next run of three (which saves more than the
    // count byte a new literal group costs) or 128 bytes.
    const size_t start = i++;
    while (i < size && i - start < 128 &&
           !(i + 2 < size && row[i] == row[i + 1] && row[i] == row[i + 2])) {
      ++i;
    }
    out[o++] = static_cast<uint8_t>(i - start - 1);
    std::memcpy(out + o, row + start, i - start);
    o += i - start;
  }
  return o;
}

}  // namespace inkdot::host::detail
