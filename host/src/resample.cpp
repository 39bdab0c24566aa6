#include "inkdot/host/resample.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

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
    : Resampler(*RowsOfImage(image).release(), width, height) {
  owned_.reset(source_);
}

Resampler::Resampler(ImageRows &source, uint32_t width, uint32_t height)
    : source_(&source),
      width_(width),
      height_(height),
      columns_(Spans(source.width(), width)),
      rows_(Spans(source.height(), height)),
      sameColumn_(width, false),
      accumulator_(static_cast<size_t>(source.width()) * source.channels()),
      last_(static_cast<size_t>(width) * source.channels()) {
  for (uint32_t x = 1; x < width; ++x) sameColumn_[x] = columns_[x] == columns_[x - 1];
  // Means divide by the total weight, image height × image width. For every
  // numerator below 65536 × total (all a weighted mean can reach), a
  // multiply by 2^shift / total rounded up, then a shift, gives the same
  // quotient as a division.
  total_ = static_cast<uint64_t>(source.height()) * source.width();
#ifdef __SIZEOF_INT128__
  const int bits = std::bit_width(total_);
  if (bits <= 45) {
    shift_ = 16 + 2 * bits + 1;
    __extension__ typedef unsigned __int128 Wide;
    magic_ = static_cast<uint64_t>((Wide{1} << shift_) / total_ + 1);
  }
#endif
}

const std::vector<uint16_t> &Resampler::SourceRow(uint32_t index) {
  while (windowStart_ + window_.size() <= index) {
    window_.emplace_back(accumulator_.size());
    source_->ReadRow(window_.back().data());
  }
  return window_[index - windowStart_];
}

void Resampler::Row(uint32_t y, uint8_t *out) {
  const uint32_t channels = source_->channels();
  const size_t outSamples = static_cast<size_t>(width_) * channels;
  const Span &rowSpan = rows_[y];
  // Rows that average the same source rows with the same weights are equal.
  if (lastRow_ >= 0 && rows_[static_cast<uint32_t>(lastRow_)] == rowSpan) {
    std::memcpy(out, last_.data(), outSamples);
    lastRow_ = y;
    return;
  }
  // Source rows above this output row are no longer needed.
  while (!window_.empty() && windowStart_ < rowSpan.first) {
    window_.pop_front();
    ++windowStart_;
  }
  if (window_.empty()) {
    // Rows in between (none when every source row is covered) are skipped.
    while (windowStart_ < rowSpan.first) {
      window_.emplace_back(accumulator_.size());
      source_->ReadRow(window_.back().data());
      window_.pop_front();
      ++windowStart_;
    }
  }
  // Vertical pass into the accumulator, in units of 1 / image height.
  std::fill(accumulator_.begin(), accumulator_.end(), 0);
  for (size_t k = 0; k < rowSpan.weights.size(); ++k) {
    const uint16_t *source = SourceRow(static_cast<uint32_t>(rowSpan.first + k)).data();
    const uint64_t weight = rowSpan.weights[k];
    for (size_t i = 0; i < accumulator_.size(); ++i) accumulator_[i] += source[i] * weight;
  }
  // Horizontal pass.
  const uint64_t total = total_;
  for (uint32_t x = 0; x < width_; ++x) {
    uint8_t *pixel = out + static_cast<size_t>(x) * channels;
    if (sameColumn_[x]) {
      const uint8_t *previous = pixel - channels;
      for (uint32_t c = 0; c < channels; ++c) pixel[c] = previous[c];
      continue;
    }
    const Span &span = columns_[x];
    for (uint32_t c = 0; c < channels; ++c) {
      uint64_t sum = 0;
      for (size_t k = 0; k < span.weights.size(); ++k) {
        sum += accumulator_[(span.first + k) * channels + c] * span.weights[k];
      }
      // Mean on 0..65535, then to 8 bits with rounding (65535 / 255 = 257).
      const uint64_t mean = Divide(sum + total / 2);
      pixel[c] = static_cast<uint8_t>((mean + 128) / 257);
    }
  }
  std::memcpy(last_.data(), out, outSamples);
  lastRow_ = y;
}

}  // namespace inkdot::host
