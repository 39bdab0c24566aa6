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
  static std::vector<Span> Spans(uint32_t source, uint32_t target);
  const std::vector<uint16_t> &SourceRow(uint32_t index);
  // n / total_, through the multiply when there is one.
  uint64_t Divide(uint64_t n) const {
#ifdef __SIZEOF_INT128__
    if (shift_ != 0) {
      __extension__ typedef unsigned __int128 Wide;
      return static_cast<uint64_t>((Wide{n} * magic_) >> shift_);
    }
#endif
    return n / total_;
  }

  std::unique_ptr<ImageRows> owned_;
  ImageRows *source_;
  uint32_t width_, height_;
  std::vector<Span> columns_, rows_;
  std::vector<bool> sameColumn_;  // column x averages exactly what column x - 1 does
  std::deque<std::vector<uint16_t>> window_;  // source rows windowStart_, windowStart_ + 1, ...
  uint32_t windowStart_ = 0;
  std::vector<uint64_t> accumulator_;
  std::vector<uint8_t> last_;  // the previous output row
  int64_t lastRow_ = -1;
  uint64_t total_ = 1;
  uint64_t magic_ = 0;
  int shift_ = 0;  // 0: divide plainly
};

}  // namespace inkdot::host
