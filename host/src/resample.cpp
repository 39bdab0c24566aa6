#include "inkdot/host/resample.h"

#include <algorithm>
#include <cmath>

namespace inkdot::host {

uint32_t DeviceSize(uint32_t pixels, double imageDpi, uint32_t deviceDpi) {
  if (imageDpi <= 0) return pixels;
  double size = std::round(pixels * static_cast<double>(deviceDpi) / imageDpi);
  return static_cast<uint32_t>(std::max(1.0, size));
}

// Output index o covers source interval [o * source, (o + 1) * source) in
// units of 1 / target source pixels; source pixel i covers
// [i * target, (i + 1) * target). Weights are the overlaps, summing to
// `source` for every output pixel.
std::vector<Resampler::Span> Resampler::Spans(uint32_t source, uint32_t target) {
  std::vector<Span> spans(target);
  for (uint32_t o = 0; o < target; ++o) {
    uint64_t begin = static_cast<uint64_t>(o) * source;
    uint64_t end = begin + source;
    uint32_t first = static_cast<uint32_t>(begin / target);
    Span &span = spans[o];
    span.first = first;
    for (uint64_t i = first; i * target < end; ++i) {
      uint64_t lo = std::max(begin, i * target);
      uint64_t hi = std::min(end, (i + 1) * target);
      span.weights.push_back(static_cast<uint32_t>(hi - lo));
    }
  }
  return spans;
}

Resampler::Resampler(const Image &image, uint32_t width, uint32_t height)
    : image_(image),
      width_(width),
      height_(height),
      columns_(Spans(image.width, width)),
      rows_(Spans(image.height, height)),
      accumulator_(static_cast<size_t>(image.width) * image.channels) {}

void Resampler::Row(uint32_t y, uint8_t *out) {
  const uint32_t channels = image_.channels;
  const size_t rowSamples = static_cast<size_t>(image_.width) * channels;
  // Vertical pass into the accumulator, in units of 1 / image height.
  std::fill(accumulator_.begin(), accumulator_.end(), 0);
  const Span &rowSpan = rows_[y];
  for (size_t k = 0; k < rowSpan.weights.size(); ++k) {
    const uint16_t *source = image_.samples.data() + (rowSpan.first + k) * rowSamples;
    const uint64_t weight = rowSpan.weights[k];
    for (size_t i = 0; i < rowSamples; ++i) accumulator_[i] += source[i] * weight;
  }
  // Horizontal pass; the total weight is image height × image width.
  const uint64_t total = static_cast<uint64_t>(image_.height) * image_.width;
  for (uint32_t x = 0; x < width_; ++x) {
    const Span &span = columns_[x];
    for (uint32_t c = 0; c < channels; ++c) {
      uint64_t sum = 0;
      for (size_t k = 0; k < span.weights.size(); ++k) {
        sum += accumulator_[(span.first + k) * channels + c] * span.weights[k];
      }
      // Mean on 0..65535, then to 8 bits with rounding (65535 / 255 = 257).
      uint64_t mean = (sum + total / 2) / total;
      out[x * channels + c] = static_cast<uint8_t>((mean + 128) / 257);
    }
  }
}

}  // namespace inkdot::host
