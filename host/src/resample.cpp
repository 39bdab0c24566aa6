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
    const uint64_t begin = static_cast<uint64_t>(o) * source;
    const uint64_t end = begin + source;
    const uint64_t first = begin / target;
    const uint64_t last = (end - 1) / target;
    Span &span = spans[o];
    span.first = static_cast<uint32_t>(first);
    span.count = static_cast<uint32_t>(last - first + 1);
    span.head = static_cast<uint32_t>(std::min(end, (first + 1) * target) - begin);
    span.tail = static_cast<uint32_t>(end - std::max(begin, last * target));
    span.middle = target;
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
      sourceWidthWeight_(source.width()) {
  // Output columns that average exactly what the column before them does
  // are made once and repeated.
  const std::vector<Span> columns = Spans(source.width(), width);
  for (uint32_t x = 0; x < width; ++x) {
    if (x > 0 && columns[x] == columns[x - 1]) {
      ++columns_.back().repeat;
      continue;
    }
    columns_.push_back({columns[x].first, static_cast<uint32_t>(columnWeights_.size()),
                        columns[x].count, 1});
    for (uint32_t k = 0; k < columns[x].count; ++k) columnWeights_.push_back(columns[x].Weight(k));
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
  const size_t samples = static_cast<size_t>(source.width()) * source.channels();
  // Up to 2^32 pixels (readers allow 2^27) the sums are held in doubles,
  // exactly: every product and partial sum is a whole number below
  // 65535 x total < 2^48, and the numerator n = sum + bias plus 1/2 is below
  // 2^49. The quotient is then taken as (n + 1/2) x (1 / d), d = 257 total:
  // x = (2n + 1) / 2d is at least 1/2d = 1 / (514 total) > 2^-42 from every
  // whole number (an odd number over an even one), and has the same floor
  // as n / d. The reciprocal and the product are each rounded once (or
  // twice, through 80-bit registers), a relative error below 2^-51 in all,
  // so the computed x is within 256 x 2^-51 = 2^-43 of the true one: less
  // than its distance to a whole number, so its floor is n / d's.
  if (total <= (uint64_t{1} << 32)) {
    halfBias_ = static_cast<double>(bias_) + 0.5;
    reciprocal_ = 1.0 / static_cast<double>(divisor_);
    sums_.resize(samples);
    PlanEnlarging(columns);
    return;
  }
  wideSums_.resize(samples);
#ifdef __SIZEOF_INT128__
  const int bits = std::bit_width(total);
  if (bits <= 45) {
    shift_ = std::max(64, 25 + 2 * bits);
    __extension__ typedef unsigned __int128 Wide;
    magic_ = static_cast<uint64_t>((Wide{1} << shift_) / divisor_ + 1);
  }
#endif
}

// When no output column covers more than two source columns (any
// enlargement), an output column is either inside one source column, with
// that column's whole weight, or straddles the boundary of two, and a
// boundary is straddled by one output column at most.
void Resampler::PlanEnlarging(const std::vector<Span> &columns) {
  const uint32_t channels = source_->channels();
  const size_t samples = sums_.size();
  for (const Span &span : columns)
    if (span.count > 2) return;
  pairLeft_.assign(samples, 0);
  pairRight_.assign(samples, 0);
  samples_.assign(2 * samples + 1, 0);
  uint32_t longest = 0;
  for (const Columns &run : columns_) longest = std::max(longest, run.repeat);
  // 16-byte blocks: four 4-byte pixels, or sixteen grey ones.
  rgb0Blocks_ = {(longest + 3) / 4, columns_.size()};
  greyBlocks_ = {(longest + 15) / 16, columns_.size()};
  uint32_t x = 0;  // the run's first output column
  for (const Columns &run : columns_) {
    const Span &span = columns[x];
    const size_t sample = static_cast<size_t>(span.first) * channels;
    if (span.count == 1) {
      runSample_.push_back(static_cast<uint32_t>(sample));
    } else {
      const size_t right = sample + channels;
      runSample_.push_back(static_cast<uint32_t>(samples + right));
      for (uint32_t c = 0; c < channels; ++c) {
        pairLeft_[right + c] = span.head;
        pairRight_[right + c] = span.tail;
      }
    }
    runColumn_.push_back(x);
    // Runs are stored in whole blocks, which may reach past the row.
    for (auto [blocks, pixels] : {std::pair{&rgb0Blocks_, 4u}, {&greyBlocks_, 16u}}) {
      if (uint64_t{x} + pixels * blocks->count > width_ && blocks->exactFrom == columns_.size())
        blocks->exactFrom = runSample_.size() - 1;
    }
    x += run.repeat;
  }
}

const std::vector<uint16_t> &Resampler::SourceRow(uint32_t index) {
  while (windowStart_ + window_.size() <= index) ReadSourceRow();
  return window_[index - windowStart_];
}

// Rows leaving the window are kept for the next ones read.
void Resampler::ReadSourceRow() {
  if (spare_.empty()) {
    window_.emplace_back(std::max(sums_.size(), wideSums_.size()));
  } else {
    window_.push_back(std::move(spare_.back()));
    spare_.pop_back();
  }
  source_->ReadRow(window_.back().data());
}

void Resampler::DropSourceRow() {
  spare_.push_back(std::move(window_.front()));
  window_.pop_front();
  ++windowStart_;
}

namespace {

// Four bytes R, G, B, 0 in memory order, as one word.
uint32_t Rgb0(uint8_t r, uint8_t g, uint8_t b) {
  if constexpr (std::endian::native == std::endian::little) {
    return uint32_t{r} | uint32_t{g} << 8 | uint32_t{b} << 16;
  } else {
    return uint32_t{r} << 24 | uint32_t{g} << 16 | uint32_t{b} << 8;
  }
}

}  // namespace

// Horizontal pass: each run of equal output columns is averaged once, from
// the sums, and written `repeat` times. The sums are plain locals, one
// per channel, so that they stay in registers. Four-byte pixels go out in
// pairs, one 8-byte store each; an odd run's second pixel lands on the next
// run's first, which that run then writes, so only the last run of the row
// stores pixel by pixel.
template <uint32_t Channels, uint32_t PixelBytes, typename Sum>
void Resampler::Horizontal(const std::vector<Sum> &rowSums, uint8_t *out) const {
  static_assert(Channels == 1 || Channels == 3);
  static_assert(PixelBytes == Channels || PixelBytes == 4);
  const Columns *const lastRun = columns_.data() + columns_.size() - 1;
  for (const Columns *run = columns_.data(); run <= lastRun; ++run) {
    const Sum *sums = rowSums.data() + static_cast<size_t>(run->first) * Channels;
    const uint32_t *weights = columnWeights_.data() + run->weights;
    Sum sum0 = 0, sum1 = 0, sum2 = 0;
    for (uint32_t k = 0; k < run->count; ++k, sums += Channels) {
      const Sum weight = static_cast<Sum>(weights[k]);
      sum0 += sums[0] * weight;
      if constexpr (Channels == 3) {
        sum1 += sums[1] * weight;
        sum2 += sums[2] * weight;
      }
    }
    const uint32_t repeat = run->repeat;
    const uint8_t value0 = ToByte(sum0);
    if constexpr (PixelBytes == 1) {
      std::memset(out, value0, repeat);
    } else if constexpr (PixelBytes == 3) {
      const uint8_t value1 = ToByte(sum1), value2 = ToByte(sum2);
      for (uint32_t r = 0; r < repeat; ++r) {
        out[3 * r] = value0;
        out[3 * r + 1] = value1;
        out[3 * r + 2] = value2;
      }
    } else {
      const uint32_t pixel = Channels == 1 ? Rgb0(value0, value0, value0)
                                           : Rgb0(value0, ToByte(sum1), ToByte(sum2));
      if (run != lastRun) {
        const uint64_t pair = pixel * uint64_t{0x100000001};
        for (uint32_t r = 0; r < repeat; r += 2) std::memcpy(out + 4 * r, &pair, 8);
      } else {
        for (uint32_t r = 0; r < repeat; ++r) std::memcpy(out + 4 * r, &pixel, 4);
      }
    }
    out += static_cast<size_t>(repeat) * PixelBytes;
  }
}

namespace {

// The enlarging plan's two passes over a row's sums, for MakeSamples.
struct SamplePasses {
  const double *sums, *left, *right;
  size_t samples;
  uint32_t channels;
  double whole, halfBias, reciprocal;
  uint8_t *alone, *pairs;
};

[[gnu::always_inline]] inline void RunSamplePasses(const SamplePasses &p) {
  // Locals, since the byte stores may alias `p`.
  const double *sums = p.sums, *left = p.left, *right = p.right;
  const size_t samples = p.samples, channels = p.channels;
  const double whole = p.whole, halfBias = p.halfBias, reciprocal = p.reciprocal;
  uint8_t *alone = p.alone, *pairs = p.pairs;
  const auto toByte = [=](double sum) {
    return static_cast<uint8_t>(static_cast<int32_t>((sum + halfBias) * reciprocal));
  };
  for (size_t i = 0; i < samples; ++i) alone[i] = toByte(sums[i] * whole);
  for (size_t i = channels; i < samples; ++i)
    pairs[i] = toByte(sums[i - channels] * left[i] + sums[i] * right[i]);
}

// The vertical pass's step over one source row: the first row's products,
// or the next ones' added.
template <typename Sum>
[[gnu::always_inline]] inline void RunRowPass(Sum *sums, const uint16_t *source,
                                              size_t samples, Sum weight, bool first) {
  if (first) {
    for (size_t i = 0; i < samples; ++i) sums[i] = source[i] * weight;
  } else {
    for (size_t i = 0; i < samples; ++i) sums[i] += source[i] * weight;
  }
}

// Both compiled for any x86-64 processor and, on those that have it, for
// AVX2 (twice the lanes). The bytes are the same: each double operation is
// rounded the same way whatever the instruction set.
void SamplePassesPortable(const SamplePasses &p) { RunSamplePasses(p); }
void RowPassPortable(double *sums, const uint16_t *source, size_t samples, double weight,
                     bool first) {
  RunRowPass(sums, source, samples, weight, first);
}
#if defined(__x86_64__) && defined(__GNUC__)
#define INKDOT_HOST_AVX2 1
__attribute__((target("avx2"))) void SamplePassesAvx2(const SamplePasses &p) {
  RunSamplePasses(p);
}
__attribute__((target("avx2"))) void RowPassAvx2(double *sums, const uint16_t *source,
                                                 size_t samples, double weight, bool first) {
  RunRowPass(sums, source, samples, weight, first);
}
const bool kAvx2 = __builtin_cpu_supports("avx2");
#endif

void RowPass(double *sums, const uint16_t *source, size_t samples, double weight, bool first) {
#ifdef INKDOT_HOST_AVX2
  if (kAvx2) return RowPassAvx2(sums, source, samples, weight, first);
#endif
  RowPassPortable(sums, source, samples, weight, first);
}

void RowPass(uint64_t *sums, const uint16_t *source, size_t samples, uint64_t weight,
             bool first) {
  RunRowPass(sums, source, samples, weight, first);
}

}  // namespace

void Resampler::MakeSamples() {
  const size_t samples = sums_.size();
  const SamplePasses passes{sums_.data(),      pairLeft_.data(), pairRight_.data(),
                            samples,           channels(),       double(sourceWidthWeight_),
                            halfBias_,         reciprocal_,      samples_.data(),
                            samples_.data() + samples};
#ifdef INKDOT_HOST_AVX2
  kAvx2 ? SamplePassesAvx2(passes) : SamplePassesPortable(passes);
#else
  SamplePassesPortable(passes);
#endif
  samplesMade_ = true;
}

// The enlarging plan's row from its samples: each run's pixel (4 bytes, or
// 1 grey) is stored in whole 16-byte blocks, as many as the longest run
// needs, at the run's column; a run's excess lands on the pixels after it,
// which the next runs then write (so runs are stored in order). The last
// runs, whose blocks would reach past the row, are stored pixel by pixel.
template <uint32_t Channels, Resampler::Layout Out>
void Resampler::Expand(uint8_t *out) const {
  static_assert(Out != Layout::kSamples);
  constexpr size_t kPixelBytes = Out == Layout::kRgb0 ? 4 : 1;
  // Locals, since stores through `out` may alias any member.
  const uint8_t *made = samples_.data();
  const uint32_t *sampleOf = runSample_.data(), *columnOf = runColumn_.data();
  // A run's pixel, as a 4-byte pixel or a grey byte.
  const auto pixelOf = [&](size_t k) -> uint32_t {
    const uint8_t *at = made + sampleOf[k];
    if constexpr (Out == Layout::kRgb0) {
      if constexpr (Channels == 1) return Rgb0(at[0], at[0], at[0]);
      // The fourth byte read is the next sample's (or the spare one).
      uint32_t pixel;
      std::memcpy(&pixel, at, 4);
      return pixel & Rgb0(0xFF, 0xFF, 0xFF);
    } else {
      const uint8_t grey = Channels == 1 ? at[0] : GreyOf(at[0], at[1], at[2]);
      return Out == Layout::kInk ? grey ^ 0xFF : grey;
    }
  };
  const Blocks blocks = Out == Layout::kRgb0 ? rgb0Blocks_ : greyBlocks_;
  for (size_t k = 0; k < blocks.exactFrom; ++k) {
    const uint64_t pattern =
        pixelOf(k) * (kPixelBytes == 4 ? uint64_t{0x100000001} : uint64_t{0x0101010101010101});
    uint8_t *at = out + kPixelBytes * columnOf[k];
    for (uint32_t b = 0; b < blocks.count; ++b, at += 16) {
      std::memcpy(at, &pattern, 8);
      std::memcpy(at + 8, &pattern, 8);
    }
  }
  for (size_t k = blocks.exactFrom; k < columns_.size(); ++k) {
    const uint32_t pixel = pixelOf(k);
    for (uint32_t x = columnOf[k]; x < columnOf[k] + columns_[k].repeat; ++x)
      std::memcpy(out + kPixelBytes * x, &pixel, kPixelBytes);
  }
}

void Resampler::Row(uint32_t y, uint8_t *out) { MakeRow(y, out, Layout::kSamples); }

void Resampler::RowRgb0(uint32_t y, uint8_t *out) { MakeRow(y, out, Layout::kRgb0); }

void Resampler::RowGrey(uint32_t y, uint8_t *out, bool ink) {
  MakeRow(y, out, ink ? Layout::kInk : Layout::kGrey);
}

// Vertical pass into the sums, in units of 1 / image height.
template <typename Sum>
void Resampler::Vertical(const Span &rowSpan, std::vector<Sum> &rowSums) {
  // Source rows above this output row are no longer needed.
  while (!window_.empty() && windowStart_ < rowSpan.first) DropSourceRow();
  if (window_.empty()) {
    // Rows in between (none when every source row is covered) are skipped.
    while (windowStart_ < rowSpan.first) {
      ReadSourceRow();
      DropSourceRow();
    }
  }
  for (uint32_t k = 0; k < rowSpan.count; ++k) {
    const uint16_t *source = SourceRow(rowSpan.first + k).data();
    RowPass(rowSums.data(), source, rowSums.size(), static_cast<Sum>(rowSpan.Weight(k)), k == 0);
  }
}

void Resampler::MakeRow(uint32_t y, uint8_t *out, Layout layout) {
  const size_t outBytes = static_cast<size_t>(width_) * (layout == Layout::kSamples ? channels()
                                                         : layout == Layout::kRgb0 ? 4
                                                                                   : 1);
  const Span &rowSpan = rows_[y];
  const bool exact = !sums_.empty();
  // Rows that average the same source rows with the same weights are equal:
  // copied when the row before was kept in this layout, otherwise made
  // again from the sums still held (for the enlarging plan, from its
  // samples, which costs no more than a copy in and out).
  const bool sameSums = lastRow_ >= 0 && rows_[static_cast<uint32_t>(lastRow_)] == rowSpan;
  lastRow_ = y;
  if (sameSums && lastKept_ && layout == Layout::kSamples) {
    std::memcpy(out, last_.data(), outBytes);
    return;
  }
  if (!sameSums) {
    exact ? Vertical(rowSpan, sums_) : Vertical(rowSpan, wideSums_);
    samplesMade_ = false;
    lastKept_ = false;
  }
  // Readers deliver grey or RGB.
  const bool grey = channels() == 1;
  if (layout != Layout::kSamples && !runSample_.empty()) {
    if (!samplesMade_) MakeSamples();
    switch (layout) {
      case Layout::kRgb0: grey ? Expand<1, Layout::kRgb0>(out) : Expand<3, Layout::kRgb0>(out); break;
      case Layout::kGrey: grey ? Expand<1, Layout::kGrey>(out) : Expand<3, Layout::kGrey>(out); break;
      default: grey ? Expand<1, Layout::kInk>(out) : Expand<3, Layout::kInk>(out); break;
    }
    return;
  }
  const auto horizontal = [&](const auto &sums) {
    if (layout == Layout::kRgb0) {
      grey ? Horizontal<1, 4>(sums, out) : Horizontal<3, 4>(sums, out);
    } else {
      grey ? Horizontal<1, 1>(sums, out) : Horizontal<3, 3>(sums, out);
    }
  };
  if (exact) {
    horizontal(sums_);
  } else {
    horizontal(wideSums_);
  }
  // Kept only for a row that the next one repeats.
  lastKept_ = false;
  if (layout == Layout::kSamples && y + 1 < height_ && rows_[y + 1] == rowSpan) {
    last_.assign(out, out + outBytes);
    lastKept_ = true;
  }
}

}  // namespace inkdot::host
