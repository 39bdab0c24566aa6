/* SPDX-License-Identifier: Apache-2.0 */
// Area-averaging resampler: each output pixel is the average of the source
// area it covers, weighted by overlap. Output rows are made one at a time,
// top to bottom, from a sliding window of source rows pulled from an
// ImageRows reader, so a page never needs to be held whole.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "inkdot/host/image.h"

namespace inkdot::host {

// Device size of an image of `pixels` at `imageDpi`, printed at `deviceDpi`
// (at least 1).
uint32_t DeviceSize(uint32_t pixels, double imageDpi, uint32_t deviceDpi);

class Resampler {
 public:
  // Reads source rows from `source`, which must outlive the resampler.
  Resampler(ImageRows &source, uint32_t width, uint32_t height);
  // Over an image in memory, which must outlive the resampler.
  Resampler(const Image &image, uint32_t width, uint32_t height);

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  uint32_t channels() const { return source_->channels(); }
  // Writes output row `y` as 8-bit samples, `channels()` per pixel. Rows
  // are asked for in increasing order.
  void Row(uint32_t y, uint8_t *out);

 private:
  struct Span {
    uint32_t first = 0;             // first source index
    std::vector<uint32_t> weights;  // overlap with each source index, summing to `total`
    bool operator==(const Span &) const = default;
  };
  // A run of output columns that all average the same source columns.
  struct Columns {
    uint32_t first = 0;    // first source column
    uint32_t weights = 0;  // where its weights start in columnWeights_
    uint32_t count = 0;    // how many weights
    uint32_t repeat = 0;   // output columns in the run
  };
  static std::vector<Span> Spans(uint32_t source, uint32_t target);
  template <uint32_t Channels>
  void Horizontal(uint8_t *out) const;
  const std::vector<uint16_t> &SourceRow(uint32_t index);
  // The 8-bit sample of a weighted sum, through the multiply when there is
  // one.
  uint8_t ToByte(uint64_t sum) const {
    const uint64_t n = sum + bias_;
#ifdef __SIZEOF_INT128__
    if (shift_ != 0) {
      __extension__ typedef unsigned __int128 Wide;
      return static_cast<uint8_t>(static_cast<uint64_t>((Wide{n} * magic_) >> 64) >> (shift_ - 64));
    }
#endif
    return static_cast<uint8_t>(n / divisor_);
  }

  std::unique_ptr<ImageRows> owned_;
  ImageRows *source_;
  uint32_t width_, height_;
  std::vector<Span> rows_;
  std::vector<Columns> columns_;
  std::vector<uint32_t> columnWeights_;
  std::deque<std::vector<uint16_t>> window_;  // source rows windowStart_, windowStart_ + 1, ...
  uint32_t windowStart_ = 0;
  std::vector<uint64_t> accumulator_;
  std::vector<uint8_t> last_;  // the previous output row
  int64_t lastRow_ = -1;
  uint64_t divisor_ = 1, bias_ = 0;
  uint64_t magic_ = 0;
  int shift_ = 0;  // 0: divide plainly
};

}  // namespace inkdot::host
