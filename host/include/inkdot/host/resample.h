// Area-averaging resampler: each output pixel is the average of the source
// area it covers, weighted by overlap. Rows are produced one at a time, so a
// page never needs a second full-size copy.
#pragma once

#include <cstdint>
#include <vector>

#include "inkdot/host/image.h"

namespace inkdot::host {

// Device size of an image of `pixels` at `imageDpi`, printed at `deviceDpi`
// (at least 1).
uint32_t DeviceSize(uint32_t pixels, double imageDpi, uint32_t deviceDpi);

class Resampler {
 public:
  Resampler(const Image &image, uint32_t width, uint32_t height);

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  uint32_t channels() const { return image_.channels; }

  // Writes output row `y` as 8-bit samples, `channels()` per pixel.
  void Row(uint32_t y, uint8_t *out);

 private:
  struct Span {
    uint32_t first = 0;           // first source index
    std::vector<uint32_t> weights;  // overlap with each source index, summing to `total`
  };
  static std::vector<Span> Spans(uint32_t source, uint32_t target);

  const Image &image_;
  uint32_t width_, height_;
  std::vector<Span> columns_, rows_;
  std::vector<uint64_t> accumulator_;
};

}  // namespace inkdot::host
