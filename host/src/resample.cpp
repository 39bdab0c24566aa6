// SPDX-License-Identifier: Apache-2.0
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
      rows_(Spans(source.height(), height)),
      accumulator_(static_cast<size_t>(source.width()) * source.channels()),
      last_(static_cast<size_t>(width) * source.channels()) {
  // Output columns that average exactly what the column before them does
  // are made once and repeated.
  const std::vector<Span> columns = Spans(source.width(), width);
  for (uint32_t x = 0; x < width; ++x) {
    if (x > 0 && columns[x] == columns[x - 1]) {
      ++columns_.back().repeat;
      continue;
    }
    columns_.push_back({columns[x].first, static_cast<uint32_t>(columnWeights_.size()),
                        static_cast<uint32_t>(columns[x].weights.size()), 1});
    columnWeights_.insert(columnWeights_.end(), columns[x].weights.begin(),
                          columns[x].weights.end());
  }
  // A sample is the mean on 0..65535, floor((sum + total / 2) / total) with
  // total = image height x image width, rounded to 8 bits as
  // floor((mean + 128) / 257) (65535 / 255 = 257). The two floors fold into
  // one division: floor((sum + total / 2 + 128 total) / (257 total)). Its
  // numerators stay below 65664 x total; for those, a multiply by 2^shift /
  // divisor rounded up, then a shift, gives the same quotient when 2^shift
  // is at least 65664 x 257 x total^2 (below 2^(25 + 2 bits)). The shift is
  // at least 64 so that only the product's high half is shifted.
  const uint64_t total = static_cast<uint64_t>(source.height()) * source.width();
  divisor_ = 257 * total;
  bias_ = total / 2 + 128 * total;
#ifdef __SIZEOF_INT128__
  const int bits = std::bit_width(total);
  if (bits <= 45) {
    shift_ = std::max(64, 25 + 2 * bits);
    __extension__ typedef unsigned __int128 Wide;
    magic_ = static_cast<uint64_t>((Wide{1} << shift_) / divisor_ + 1);
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

// Horizontal pass: each run of equal output columns is averaged once, from
// the accumulator, and written `repeat` times. The sums are plain locals, one
// per channel, so that they stay in registers.
template <uint32_t Channels>
void Resampler::Horizontal(uint8_t *out) const {
  static_assert(Channels == 1 || Channels == 3);
  for (const Columns &run : columns_) {
    const uint64_t *sums = accumulator_.data() + static_cast<size_t>(run.first) * Channels;
    const uint32_t *weights = columnWeights_.data() + run.weights;
    uint64_t sum0 = 0, sum1 = 0, sum2 = 0;
    for (uint32_t k = 0; k < run.count; ++k, sums += Channels) {
      sum0 += sums[0] * weights[k];
      if constexpr (Channels == 3) {
        sum1 += sums[1] * weights[k];
        sum2 += sums[2] * weights[k];
      }
    }
    const uint8_t value0 = ToByte(sum0);
    if constexpr (Channels == 1) {
      std::memset(out, value0, run.repeat);
      out += run.repeat;
    } else {
      const uint8_t value1 = ToByte(sum1), value2 = ToByte(sum2);
      for (uint32_t r = 0; r < run.repeat; ++r, out += 3) {
        out[0] = value0;
        out[1] = value1;
        out[2] = value2;
      }
    }
  }
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
  for (size_t k = 0; k < rowSpan.weights.size(); ++k) {
    const uint16_t *source = SourceRow(static_cast<uint32_t>(rowSpan.first + k)).data();
    const uint64_t weight = rowSpan.weights[k];
    uint64_t *sum = accumulator_.data();
    if (k == 0) {
      for (size_t i = 0; i < accumulator_.size(); ++i) sum[i] = source[i] * weight;
    } else {
      for (size_t i = 0; i < accumulator_.size(); ++i) sum[i] += source[i] * weight;
    }
  }
  // Readers deliver grey or RGB.
  if (channels == 1) {
    Horizontal<1>(out);
  } else {
    Horizontal<3>(out);
  }
  std::memcpy(last_.data(), out, outSamples);
  lastRow_ = y;
}

}  // namespace inkdot::host
