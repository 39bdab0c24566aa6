// SPDX-License-Identifier: Apache-2.0
// The resampler's output layouts against the area mean worked out here
// pixel by pixel, from small images to ones at the size limits of its
// arithmetic, and its 4-byte pixels against the row converter's.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "inkdot/host/image.h"
#include "inkdot/host/page_driver.h"
#include "inkdot/host/resample.h"

namespace inkdot::host {
namespace {

// Source rows made on demand by `sample(x, y, channel)`, so that images of
// billions of pixels can be resampled as far as their first rows.
class MadeRows : public ImageRows {
 public:
  using Sample = std::function<uint16_t(uint32_t, uint32_t, uint32_t)>;
  MadeRows(uint32_t width, uint32_t height, uint32_t channels, Sample sample)
      : sample_(std::move(sample)) {
    width_ = width;
    height_ = height;
    channels_ = channels;
  }
  void ReadRow(uint16_t *out) override {
    for (uint32_t x = 0; x < width_; ++x)
      for (uint32_t c = 0; c < channels_; ++c) *out++ = sample_(x, next_, c);
    ++next_;
  }
  const Sample &sample() const { return sample_; }

 private:
  Sample sample_;
  uint32_t next_ = 0;
};

// Output pixel (x, y): the mean over the source of each source pixel's
// overlap with it, measured in 1 / (target size) source pixels, rounded to
// 0..65535 and then to 8 bits.
uint8_t AreaMean(const MadeRows &source, uint32_t outWidth, uint32_t outHeight, uint32_t x,
                 uint32_t y, uint32_t channel) {
  const uint64_t w = source.width(), h = source.height();
  auto overlap = [](uint64_t o, uint64_t i, uint64_t size, uint64_t target) {
    const uint64_t lo = std::max(o * size, i * target);
    const uint64_t hi = std::min((o + 1) * size, (i + 1) * target);
    return hi > lo ? hi - lo : 0;
  };
  __extension__ typedef unsigned __int128 Wide;
  Wide sum = 0;
  for (uint64_t j = y * h / outHeight; j < h && j * outHeight < (y + 1) * h; ++j) {
    for (uint64_t i = x * w / outWidth; i < w && i * outWidth < (x + 1) * w; ++i) {
      sum += Wide{overlap(x, i, w, outWidth)} * overlap(y, j, h, outHeight) *
             source.sample()(static_cast<uint32_t>(i), static_cast<uint32_t>(j), channel);
    }
  }
  const Wide total = Wide{w} * h;
  const Wide mean = (sum + total / 2) / total;
  return static_cast<uint8_t>((mean + 128) / 257);
}

struct Case {
  uint32_t width, height, channels, outWidth, outHeight;
  uint32_t rows;  // output rows checked, from the top
};

std::string Describe(const Case &c) {
  return std::to_string(c.width) + "x" + std::to_string(c.height) + "x" +
         std::to_string(c.channels) + " to " + std::to_string(c.outWidth) + "x" +
         std::to_string(c.outHeight);
}

// Every checked row, as channels() samples a pixel and as 4-byte pixels,
// from separate resamplers and from one asked for both layouts in turn,
// which passes repeated rows from one layout to the other.
void CheckRows(const Case &c, const MadeRows::Sample &sample) {
  MadeRows reference(c.width, c.height, c.channels, sample);
  MadeRows plainRows(c.width, c.height, c.channels, sample);
  MadeRows wideRows(c.width, c.height, c.channels, sample);
  MadeRows mixedRows(c.width, c.height, c.channels, sample);
  Resampler plain(plainRows, c.outWidth, c.outHeight);
  Resampler wide(wideRows, c.outWidth, c.outHeight);
  Resampler mixed(mixedRows, c.outWidth, c.outHeight);
  MadeRows greyRows(c.width, c.height, c.channels, sample);
  Resampler greys(greyRows, c.outWidth, c.outHeight);
  std::vector<uint8_t> grey(c.outWidth);
  std::vector<uint8_t> samples(size_t{c.outWidth} * c.channels);
  std::vector<uint8_t> pixels(size_t{c.outWidth} * 4), mixedRow(pixels.size());
  for (uint32_t y = 0; y < c.rows; ++y) {
    plain.Row(y, samples.data());
    wide.RowRgb0(y, pixels.data());
    const bool mixedWide = y % 3 != 1;
    if (mixedWide) {
      mixed.RowRgb0(y, mixedRow.data());
    } else {
      mixed.Row(y, mixedRow.data());
    }
    // Grey bytes, as ink amounts on odd rows.
    const bool ink = y % 2 == 1;
    if (greys.MakesGreyRows()) greys.RowGrey(y, grey.data(), ink);
    for (uint32_t x = 0; x < c.outWidth; ++x) {
      uint32_t rgb[3];
      for (uint32_t ch = 0; ch < 3; ++ch) {
        const uint32_t from = c.channels == 1 ? 0 : ch;
        const uint8_t expected = AreaMean(reference, c.outWidth, c.outHeight, x, y, from);
        rgb[ch] = expected;
        if (ch < c.channels) {
          ASSERT_EQ(samples[x * c.channels + ch], expected)
              << Describe(c) << " at " << x << "," << y << " channel " << ch;
          if (!mixedWide) {
            ASSERT_EQ(mixedRow[x * c.channels + ch], expected) << Describe(c);
          }
        }
        ASSERT_EQ(pixels[4 * x + ch], expected)
            << Describe(c) << " 4-byte at " << x << "," << y << " channel " << ch;
        if (mixedWide) {
          ASSERT_EQ(mixedRow[4 * x + ch], expected) << Describe(c);
        }
      }
      ASSERT_EQ(pixels[4 * x + 3], 0) << Describe(c);
      if (greys.MakesGreyRows()) {
        const uint32_t luminance =
            c.channels == 1 ? rgb[0] : (77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2] + 128) >> 8;
        ASSERT_EQ(grey[x], ink ? 255 - luminance : luminance)
            << Describe(c) << " grey at " << x << "," << y;
      }
    }
  }
}

// Samples that stress the rounding: the extremes and the two values either
// side of each step of the 8-bit result (257 k + 128 and 257 k + 129).
uint16_t Edgy(std::mt19937 &random) {
  switch (random() % 4) {
    case 0: return random() % 2 ? 65535 : 0;
    case 1: return static_cast<uint16_t>(257 * (random() % 255) + 128 + random() % 2);
    case 2: return static_cast<uint16_t>(257 * (random() % 256));  // 8-bit source
    default: return static_cast<uint16_t>(random());
  }
}

TEST(Resampler, BothLayoutsEqualTheAreaMeanAtRandomSizes) {
  std::mt19937 random(11);
  for (int trial = 0; trial < 300; ++trial) {
    Case c{};
    c.width = 1 + random() % 37;
    c.height = 1 + random() % 23;
    c.channels = random() % 2 ? 3 : 1;
    // Enlarging by up to 9 (most often) or reducing, each way on its own.
    c.outWidth = random() % 4 ? c.width + random() % (8 * c.width + 1) : 1 + random() % c.width;
    c.outHeight =
        random() % 4 ? c.height + random() % (4 * c.height + 1) : 1 + random() % c.height;
    c.rows = c.outHeight;
    std::vector<uint16_t> image(size_t{c.width} * c.height * c.channels);
    for (uint16_t &s : image) s = Edgy(random);
    CheckRows(c, [&image, c](uint32_t x, uint32_t y, uint32_t ch) {
      return image[(size_t{y} * c.width + x) * c.channels + ch];
    });
  }
}

TEST(Resampler, LargeImagesEitherSideOfTheDoublesLimit) {
  // Sums are held in doubles up to 2^32 source pixels and in integers
  // above; the first rows of images around that size, enlarged and
  // reduced, against the mean. Samples vary with position and include the
  // extremes.
  const auto sample = [](uint32_t x, uint32_t y, uint32_t ch) -> uint16_t {
    const uint32_t mix = (x * 2654435761u) ^ (y * 40503u) ^ (ch * 977u);
    if (mix % 7 == 0) return mix % 2 ? 65535 : 0;
    return static_cast<uint16_t>(mix >> 8);
  };
  for (const Case &c : {
           Case{65536, 65536, 3, 65536 * 2 + 7, 65536 * 3, 4},  // 2^32: doubles
           Case{65536, 65537, 3, 65536 * 2 + 7, 65537 * 3, 4},  // just above: integers
           Case{65537, 65536, 1, 65537 * 5 - 3, 65536 * 2, 3},
           Case{65536, 65536, 3, 997, 60000, 2},                // reduced across
           Case{65536, 65537, 1, 997, 60000, 2},
       }) {
    CheckRows(c, sample);
  }
}

TEST(Resampler, SourceRowsAreTheConvertedRows) {
  // The reading path hands the resampler's 4-byte pixels or grey bytes to
  // the engine in place of Convert's output from its plain rows: the same
  // bytes, the spare bytes after them left alone.
  std::mt19937 random(3);
  for (const uint32_t channels : {1u, 3u}) {
    for (const auto &[width, outWidth] : {std::pair{13u, 61u}, {40u, 17u}, {5u, 5u}, {3u, 100u}}) {
      std::vector<uint16_t> image(size_t{width} * 4 * channels);
      for (uint16_t &s : image) s = static_cast<uint16_t>(random());
      const auto sample = [&](uint32_t x, uint32_t y, uint32_t ch) {
        return image[(size_t{y} * width + x) * channels + ch];
      };
      for (const auto &[greyInput, greyAsInk] : {std::pair{false, false}, {true, false}, {true, true}}) {
        BandLayout layout;
        layout.greyInput = greyInput;
        layout.greyAsInk = greyAsInk;
        const BandRows rows(outWidth, layout);
        MadeRows plainRows(width, 4, channels, sample), madeRows(width, 4, channels, sample);
        Resampler plain(plainRows, outWidth, 9), made(madeRows, outWidth, 9);
        if (greyInput && !made.MakesGreyRows()) continue;  // reducing: Convert's part
        std::vector<uint8_t> samples(size_t{outWidth} * channels);
        std::vector<uint8_t> converted(rows.sourceStride, 0xAA), direct(rows.sourceStride, 0xAA);
        for (uint32_t y = 0; y < 9; ++y) {
          plain.Row(y, samples.data());
          rows.Convert(samples.data(), channels, converted.data());
          if (greyInput) {
            made.RowGrey(y, direct.data(), greyAsInk);
          } else {
            made.RowRgb0(y, direct.data());
          }
          ASSERT_EQ(direct, converted) << channels << " channels, " << width << " to " << outWidth
                                       << ", grey " << greyInput << greyAsInk;
        }
      }
    }
  }
}

}  // namespace
}  // namespace inkdot::host
