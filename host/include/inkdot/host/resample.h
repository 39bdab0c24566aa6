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

// Integer luminance (weights 77, 150, 29 out of 256, which add up to 256).
inline uint8_t GreyOf(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint8_t>((77 * r + 150 * g + 29 * b + 128) >> 8);
}

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
  // The same row as 4-byte pixels R, G, B, 0 (a grey sample in all three),
  // the layout colour halftoning reads, made without a second pass.
  void RowRgb0(uint32_t y, uint8_t *out);
  // The same row as one byte a pixel, the layout grey halftoning reads: a
  // grey sample or a colour pixel's GreyOf, inverted when `ink` (ink
  // amounts, 0 = white). Only where MakesGreyRows() (enlarging across).
  bool MakesGreyRows() const { return !runSample_.empty(); }
  void RowGrey(uint32_t y, uint8_t *out, bool ink);

 private:
  // The source indices one output index averages, with their overlaps
  // (summing to the source size): a partial first, whole ones (`middle`,
  // the target size) and a partial last. Five words, no allocation, as a
  // page has one for every output row and column.
  struct Span {
    uint32_t first = 0;   // first source index
    uint32_t count = 0;   // source indices overlapped
    uint32_t head = 0;    // overlap with the first
    uint32_t tail = 0;    // overlap with the last (head when count is 1)
    uint32_t middle = 0;  // overlap with each one in between
    uint32_t Weight(uint32_t k) const { return k == 0 ? head : k + 1 == count ? tail : middle; }
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
  // Output layouts: Row's samples, RowRgb0's pixels, RowGrey's bytes.
  enum class Layout { kSamples, kRgb0, kGrey, kInk };
  void MakeRow(uint32_t y, uint8_t *out, Layout layout);
  template <typename Sum>
  void Vertical(const Span &rowSpan, std::vector<Sum> &sums);
  template <uint32_t Channels, uint32_t PixelBytes, typename Sum>
  void Horizontal(const std::vector<Sum> &sums, uint8_t *out) const;
  void MakeSamples();
  template <uint32_t Channels, Layout Out>
  void Expand(uint8_t *out) const;
  void PlanEnlarging(const std::vector<Span> &columns);
  const std::vector<uint16_t> &SourceRow(uint32_t index);
  void ReadSourceRow();  // appends the next source row to the window
  void DropSourceRow();  // drops the window's first row
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
  // The same for a sum held exactly as a double (see the constructor).
  uint8_t ToByte(double sum) const {
    return static_cast<uint8_t>(static_cast<int32_t>((sum + halfBias_) * reciprocal_));
  }

  std::unique_ptr<ImageRows> owned_;
  ImageRows *source_;
  uint32_t width_, height_;
  std::vector<Span> rows_;
  std::vector<Columns> columns_;
  std::vector<uint32_t> columnWeights_;
  std::deque<std::vector<uint16_t>> window_;  // source rows windowStart_, windowStart_ + 1, ...
  uint32_t windowStart_ = 0;
  std::vector<std::vector<uint16_t>> spare_;  // rows that left the window, for reuse
  // The vertical pass's sums, one a source sample: exact doubles when the
  // image is small enough for them, otherwise integers.
  std::vector<double> sums_;
  std::vector<uint64_t> wideSums_;
  // Enlarging across with exact doubles: every output column lies inside
  // one source column or straddles two, so a row's samples are those of
  // each source column alone and of each pair of neighbours, made in two
  // passes over the sums; run k of columns_ is the pixel at byte
  // runSample_[k] of them.
  std::vector<uint32_t> runSample_;
  std::vector<uint32_t> runColumn_;  // the run's first output column
  struct Blocks {
    uint32_t count = 0;    // 16-byte stores that the longest run takes
    size_t exactFrom = 0;  // runs from here on are stored pixel by pixel
  };
  Blocks rgb0Blocks_, greyBlocks_;
  // Per sample, for the pair of it and its left neighbour: each one's weight.
  std::vector<double> pairLeft_, pairRight_;
  std::vector<uint8_t> samples_;     // alone, then pairs, then a spare byte
  bool samplesMade_ = false;         // from the sums held now
  // The previous output row as Row made it, kept when the next one repeats
  // it (the other layouts make repeated rows again from their samples).
  std::vector<uint8_t> last_;
  bool lastKept_ = false;
  int64_t lastRow_ = -1;  // the row whose sums are held
  uint64_t divisor_ = 1, bias_ = 0;
  uint64_t magic_ = 0;
  int shift_ = 0;  // 0: divide plainly
  double halfBias_ = 0, reciprocal_ = 0;
  uint32_t sourceWidthWeight_ = 0;  // the weight of a column inside one source column
};

}  // namespace inkdot::host
