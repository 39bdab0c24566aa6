// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/preview.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "inkdot/host/errors.h"
#include "inkdot/host/printer_model.h"

namespace inkdot::host {

namespace {

constexpr uint32_t kOne = 65536;       // fixed-point 1.0 of reflectances
constexpr uint32_t kMaxMixedBits = 8;  // planes × bits per pixel for a table of mixes

// 8-bit sRGB for every linear reflectance in 1/4096 steps.
std::vector<uint8_t> EncodingTable() {
  std::vector<uint8_t> table(4097);
  for (size_t i = 0; i < table.size(); ++i) {
    table[i] = static_cast<uint8_t>(std::lround(LinearToSrgb(i / 4096.0) * 255.0));
  }
  return table;
}

uint32_t ScaledSize(uint32_t size, uint32_t from, uint32_t to) {
  if (to >= from) return size;
  return std::max<uint32_t>(
      1, static_cast<uint32_t>((static_cast<uint64_t>(size) * to + from / 2) / from));
}

}  // namespace

uint32_t DotCoverage(uint32_t bitsPerPixel, uint8_t code) {
  if (bitsPerPixel == 1) return code ? 256 : 0;
  static constexpr uint32_t kBySize[4] = {0, 102, 179, 256};  // 40 %, 70 %, 100 %
  return kBySize[code & 3];
}

double PreviewResolution(const DotPage &page, const PreviewOptions &options) {
  if (options.crop) return page.xDpi;
  return std::min(options.dpi, page.xDpi);
}

PreviewBuilder::PreviewBuilder(const DotPage &page, const PreviewOptions &options)
    : bitsPerPixel_(page.bitsPerPixel),
      planeCount_(static_cast<uint32_t>(page.inks.size())),
      width_(page.width),
      height_(page.height) {
  uint32_t outWidth, outHeight;
  if (options.crop) {
    if (options.cropWidth == 0 || options.cropHeight == 0 ||
        options.cropX >= page.width || options.cropY >= page.height ||
        options.cropWidth > page.width - options.cropX ||
        options.cropHeight > page.height - options.cropY) {
      throw SettingError(
          "the crop " + std::to_string(options.cropWidth) + "x" +
          std::to_string(options.cropHeight) + "+" + std::to_string(options.cropX) +
          "+" + std::to_string(options.cropY) + " does not lie inside the " +
          std::to_string(page.width) + "x" + std::to_string(page.height) + " page");
    }
    x0_ = options.cropX;
    y0_ = options.cropY;
    width_ = outWidth = options.cropWidth;
    height_ = outHeight = options.cropHeight;
  } else {
    if (options.dpi == 0) throw SettingError("the preview resolution must be above 0");
    outWidth = ScaledSize(page.width, page.xDpi, options.dpi);
    outHeight = ScaledSize(page.height, page.yDpi, options.dpi);
  }

  codes_ = 1u << bitsPerPixel_;
  if (options.printer && (planeCount_ == 4 || planeCount_ == 1)) {
    BuildModelMixes(*options.printer);
  } else {
    BuildDisplayColourMixes(page);
  }

  sums_.assign(static_cast<size_t>(outWidth) * kTerms, 0);
  counts_.assign(outWidth, 0);
  column_.resize(width_);
  for (uint32_t x = 0; x < width_; ++x) {
    column_[x] = static_cast<uint32_t>(static_cast<uint64_t>(x) * outWidth / width_);
  }
  out_.width = outWidth;
  out_.height = outHeight;
  out_.rgb.assign(static_cast<size_t>(outWidth) * outHeight * 3, 255);
}

// With a printer model every combination of the four planes' codes is a
// Neugebauer mixture within its pixel, averaged as the model's working
// values (XYZ^(1/n)); for a measured printer it is the inks' coverages,
// averaged and looked up in the measured relation. Either way the mean is
// turned into colour once per output pixel. A grey page's one plane is the
// black ink.
void PreviewBuilder::BuildModelMixes(const PrinterModel &model) {
  model_ = model;
  const uint32_t codes = codes_;
  const uint32_t combinations = 1u << (planeCount_ * bitsPerPixel_);
  mixed_.resize(static_cast<size_t>(combinations) * kTerms);
  for (uint32_t combination = 0; combination < combinations; ++combination) {
    std::array<double, 4> coverage{};
    for (uint32_t k = 0; k < planeCount_; ++k) {
      const uint32_t code = (combination >> (k * bitsPerPixel_)) & (codes - 1);
      coverage[planeCount_ == 4 ? k : 3] = code == 0 ? 0.0
                                           : bitsPerPixel_ == 1
                                               ? 1.0
                                               : model.dotCoverage[code - 1];
    }
    const AreaTerm term = PixelTerm(model, coverage);
    for (int c = 0; c < kTerms; ++c) {
      mixed_[combination * kTerms + c] =
          static_cast<uint32_t>(std::lround(term[c] * kOne));
    }
  }
  white_ = {mixed_[0], mixed_[1], mixed_[2], mixed_[3]};
  BuildSpread();
}

void PreviewBuilder::BuildDisplayColourMixes(const DotPage &page) {
  // Per plane and code, the fixed-point reflectance factor of each channel.
  const uint32_t codes = codes_;
  factor_.resize(static_cast<size_t>(planeCount_) * codes * 3);
  for (size_t k = 0; k < planeCount_; ++k) {
    for (uint32_t code = 0; code < codes; ++code) {
      const double coverage =
          DotCoverage(bitsPerPixel_, static_cast<uint8_t>(code)) / 256.0;
      for (int c = 0; c < 3; ++c) {
        const double ink = SrgbToLinear(page.inks[k].colour[c] / 255.0);
        factor_[(k * codes + code) * 3 + c] =
            static_cast<uint32_t>(std::lround((1.0 - coverage * (1.0 - ink)) * kOne));
      }
    }
  }

  // Every combination of the planes' codes, mixed once, when there are few.
  if (planeCount_ * bitsPerPixel_ <= kMaxMixedBits) {
    const uint32_t combinations = 1u << (planeCount_ * bitsPerPixel_);
    mixed_.assign(static_cast<size_t>(combinations) * kTerms, 0);
    for (uint32_t combination = 0; combination < combinations; ++combination) {
      uint32_t r = kOne, g = kOne, b = kOne;
      for (uint32_t k = 0; k < planeCount_; ++k) {
        Mix(k, (combination >> (k * bitsPerPixel_)) & (codes - 1), &r, &g, &b);
      }
      mixed_[combination * kTerms] = r;
      mixed_[combination * kTerms + 1] = g;
      mixed_[combination * kTerms + 2] = b;
    }
    BuildSpread();
  }
}

// For each plane and byte value, the codes of the byte's pixels placed where
// they go in the pixels' combinations, one byte per pixel.
void PreviewBuilder::BuildSpread() {
  const uint32_t codes = codes_;
  const uint32_t perByte = 8 / bitsPerPixel_;
  spread_.assign(static_cast<size_t>(planeCount_) * 256, 0);
  for (uint32_t k = 0; k < planeCount_; ++k) {
    for (uint32_t byte = 0; byte < 256; ++byte) {
      uint64_t word = 0;
      for (uint32_t j = 0; j < perByte; ++j) {
        const uint64_t code =
            (byte >> (8 - bitsPerPixel_ - j * bitsPerPixel_)) & (codes - 1);
        word |= code << (k * bitsPerPixel_ + 8 * j);
      }
      spread_[k * 256 + byte] = word;
    }
  }
}

// Composites ink k's dot of size `code` over the reflectances so far.
void PreviewBuilder::Mix(uint32_t k, uint32_t code, uint32_t *r, uint32_t *g,
                         uint32_t *b) const {
  if (code == 0) return;
  const uint32_t *f = &factor_[(k * codes_ + code) * 3];
  *r = static_cast<uint32_t>((uint64_t{*r} * f[0]) >> 16);
  *g = static_cast<uint32_t>((uint64_t{*g} * f[1]) >> 16);
  *b = static_cast<uint32_t>((uint64_t{*b} * f[2]) >> 16);
}

void PreviewBuilder::Flush() {
  static const std::vector<uint8_t> encode = EncodingTable();
  uint8_t *dst = out_.rgb.data() + static_cast<size_t>(outRow_) * out_.width * 3;
  for (uint32_t o = 0; o < out_.width; ++o) {
    if (model_) {
      AreaTerm term;
      for (int c = 0; c < kTerms; ++c) {
        term[c] = counts_[o]
                      ? static_cast<double>(sums_[o * kTerms + c]) / counts_[o] / kOne
                      : static_cast<double>(white_[c]) / kOne;
      }
      const std::array<double, 3> rgb = XyzToLinearSrgb(AreaXyz(*model_, term));
      for (int c = 0; c < 3; ++c) {
        dst[o * 3 + c] = encode[std::lround(std::clamp(rgb[c], 0.0, 1.0) * 4096.0)];
      }
      continue;
    }
    for (int c = 0; c < 3; ++c) {
      const uint64_t mean = counts_[o] ? sums_[o * kTerms + c] / counts_[o] : kOne;
      dst[o * 3 + c] = encode[std::min<uint64_t>(mean >> 4, 4096)];
    }
  }
  std::fill(sums_.begin(), sums_.end(), 0);
  std::fill(counts_.begin(), counts_.end(), 0);
}

void PreviewBuilder::AddRow(uint32_t y, const uint8_t *planes, size_t planeStride) {
  if (y < y0_ || y - y0_ >= height_) return;
  const uint32_t row = y - y0_;
  const uint32_t target =
      static_cast<uint32_t>(static_cast<uint64_t>(row) * out_.height / height_);
  if (target != outRow_) {
    Flush();
    outRow_ = target;
  }
  const uint32_t bits = bitsPerPixel_;
  const uint32_t mask = (1u << bits) - 1;
  uint64_t word = 0;  // the mixes' indices of the pixels of byte wordByte
  uint32_t wordByte = UINT32_MAX;
  for (uint32_t x = 0; x < width_; ++x) {
    const uint32_t at = (x0_ + x) * bits;
    const uint32_t shift = 8 - bits - at % 8;
    uint32_t r = kOne, g = kOne, b = kOne, extra = 0;
    if (!mixed_.empty()) {
      const uint32_t byte = at / 8;
      if (byte != wordByte) {
        word = 0;
        for (uint32_t k = 0; k < planeCount_; ++k) {
          word |= spread_[k * 256 + planes[k * planeStride + byte]];
        }
        wordByte = byte;
      }
      const uint32_t *colour =
          &mixed_[((word >> (8 * ((at % 8) / bits))) & 0xFF) * kTerms];
      r = colour[0];
      g = colour[1];
      b = colour[2];
      extra = colour[3];
    } else {
      for (uint32_t k = 0; k < planeCount_; ++k) {
        const uint32_t code = (planes[k * planeStride + at / 8] >> shift) & mask;
        Mix(k, code, &r, &g, &b);
      }
    }
    const uint32_t o = column_[x];
    sums_[o * kTerms] += r;
    sums_[o * kTerms + 1] += g;
    sums_[o * kTerms + 2] += b;
    sums_[o * kTerms + 3] += extra;
    ++counts_[o];
  }
}

RgbImage8 PreviewBuilder::Finish() {
  Flush();
  return std::move(out_);
}

RgbImage8 RenderPreview(const DotPage &page, const PreviewOptions &options) {
  PreviewBuilder builder(page, options);
  page.ForEachRow([&](uint32_t y, const uint8_t *rows) {
    builder.AddRow(y, rows, page.rowBytes());
  });
  return builder.Finish();
}

}  // namespace inkdot::host
