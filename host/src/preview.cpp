#include "inkdot/host/preview.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "inkdot/host/errors.h"

namespace inkdot::host {

namespace {

constexpr uint32_t kOne = 65536;  // fixed-point 1.0 of reflectances

double SrgbToLinear(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double LinearToSrgb(double v) {
  return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

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
  return std::max<uint32_t>(1, static_cast<uint32_t>((static_cast<uint64_t>(size) * to + from / 2) / from));
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

RgbImage8 RenderPreview(const DotPage &page, const PreviewOptions &options) {
  uint32_t x0 = 0, y0 = 0, width = page.width, height = page.height;
  uint32_t outWidth, outHeight;
  if (options.crop) {
    if (options.cropWidth == 0 || options.cropHeight == 0 || options.cropX >= page.width ||
        options.cropY >= page.height || options.cropWidth > page.width - options.cropX ||
        options.cropHeight > page.height - options.cropY) {
      throw SettingError("the crop " + std::to_string(options.cropWidth) + "x" +
                         std::to_string(options.cropHeight) + "+" + std::to_string(options.cropX) +
                         "+" + std::to_string(options.cropY) + " does not lie inside the " +
                         std::to_string(page.width) + "x" + std::to_string(page.height) + " page");
    }
    x0 = options.cropX;
    y0 = options.cropY;
    width = outWidth = options.cropWidth;
    height = outHeight = options.cropHeight;
  } else {
    if (options.dpi == 0) throw SettingError("the preview resolution must be above 0");
    outWidth = ScaledSize(page.width, page.xDpi, options.dpi);
    outHeight = ScaledSize(page.height, page.yDpi, options.dpi);
  }

  // Per plane and code, the fixed-point reflectance factor of each channel.
  const size_t planes = page.planes.size();
  const uint32_t codes = 1u << page.bitsPerPixel;
  std::vector<uint32_t> factor(planes * codes * 3);
  for (size_t k = 0; k < planes; ++k) {
    for (uint32_t code = 0; code < codes; ++code) {
      const double coverage = DotCoverage(page.bitsPerPixel, static_cast<uint8_t>(code)) / 256.0;
      for (int c = 0; c < 3; ++c) {
        const double ink = SrgbToLinear(page.inks[k].colour[c] / 255.0);
        factor[(k * codes + code) * 3 + c] =
            static_cast<uint32_t>(std::lround((1.0 - coverage * (1.0 - ink)) * kOne));
      }
    }
  }

  std::vector<uint64_t> sums(static_cast<size_t>(outWidth) * 3);
  std::vector<uint32_t> counts(outWidth);
  std::vector<uint32_t> column(width);
  for (uint32_t x = 0; x < width; ++x) {
    column[x] = static_cast<uint32_t>(static_cast<uint64_t>(x) * outWidth / width);
  }
  static const std::vector<uint8_t> encode = EncodingTable();

  RgbImage8 out;
  out.width = outWidth;
  out.height = outHeight;
  out.rgb.assign(static_cast<size_t>(outWidth) * outHeight * 3, 255);
  uint32_t outRow = 0;
  auto flush = [&]() {
    uint8_t *dst = out.rgb.data() + static_cast<size_t>(outRow) * outWidth * 3;
    for (uint32_t o = 0; o < outWidth; ++o) {
      for (int c = 0; c < 3; ++c) {
        const uint64_t mean = counts[o] ? sums[o * 3 + c] / counts[o] : kOne;
        dst[o * 3 + c] = encode[std::min<uint64_t>(mean >> 4, 4096)];
      }
    }
    std::fill(sums.begin(), sums.end(), 0);
    std::fill(counts.begin(), counts.end(), 0);
  };

  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t target = static_cast<uint32_t>(static_cast<uint64_t>(y) * outHeight / height);
    if (target != outRow) {
      flush();
      outRow = target;
    }
    for (uint32_t x = 0; x < width; ++x) {
      uint64_t r = kOne, g = kOne, b = kOne;
      for (size_t k = 0; k < planes; ++k) {
        const uint8_t code = page.Code(k, x0 + x, y0 + y);
        if (code == 0) continue;
        const uint32_t *f = &factor[(k * codes + code) * 3];
        r = (r * f[0]) >> 16;
        g = (g * f[1]) >> 16;
        b = (b * f[2]) >> 16;
      }
      const uint32_t o = column[x];
      sums[o * 3] += r;
      sums[o * 3 + 1] += g;
      sums[o * 3 + 2] += b;
      ++counts[o];
    }
  }
  flush();
  return out;
}

}  // namespace inkdot::host
