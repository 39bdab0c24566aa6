// SPDX-License-Identifier: Apache-2.0
// Image reading: picks the format by its magic bytes and composites alpha.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cerrno>
#include <fstream>

#include "image_readers.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/system_errors.h"

namespace inkdot::host {

namespace detail {

void ImageFailure(const std::filesystem::path &path, const std::string &problem) {
  throw ImageError(path.string() + ": " + problem);
}

void CompositeRow(const uint16_t *in, uint32_t width, uint32_t channels, bool premultiplied,
                  uint16_t *out) {
  const bool alpha = channels == 2 || channels == 4;
  if (!alpha) {
    std::memcpy(out, in, static_cast<size_t>(width) * channels * sizeof(uint16_t));
    return;
  }
  const uint32_t colours = channels - 1;
  for (size_t p = 0; p < width; ++p) {
    const uint32_t a = in[p * channels + colours];
    for (uint32_t c = 0; c < colours; ++c) {
      uint32_t value = in[p * channels + c];
      uint32_t result;
      if (premultiplied) {
        result = std::min<uint32_t>(65535, value + (65535 - a));
      } else {
        result = static_cast<uint32_t>(
            (static_cast<uint64_t>(value) * a + 65535ull * (65535 - a) + 32767) / 65535);
      }
      out[p * colours + c] = static_cast<uint16_t>(result);
    }
  }
}

double WholeDpiWhenClose(double dpi) {
  constexpr double kHalfStep = 0.0254 / 2;  // half of one pixel per metre, in dpi
  const double whole = std::round(dpi);
  return whole > 0 && std::fabs(dpi - whole) <= kHalfStep + 1e-9 ? whole : dpi;
}

void CheckImageSize(const std::filesystem::path &path, uint64_t width, uint64_t height) {
  if (width == 0 || height == 0) ImageFailure(path, "the image has no pixels");
  if (width * height > kMaxImagePixels || width > kMaxImageSide || height > kMaxImageSide) {
    ImageFailure(path, "the image is too large: " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels, at most " +
                           std::to_string(kMaxImagePixels) + " and " +
                           std::to_string(kMaxImageSide) + " a side are read");
  }
}

void CheckWholeDecode(const std::filesystem::path &path, const char *layout, uint64_t bytes,
                      uint64_t budget) {
  if (bytes > budget) {
    ImageFailure(path, std::string("decoding this ") + layout + " needs " + MebibyteText(bytes) +
                           " at once, above the memory budget of " + MebibyteText(budget));
  }
}

std::string OpenFailure(const std::filesystem::path &path) {
  const int error = errno;
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return "cannot open the file: is a directory";
  return "cannot open the file: " + PlainReason(error);
}

MemoryRows::MemoryRows(Image image) : owned_(std::move(image)), image_(&owned_) { Adopt(); }

MemoryRows::MemoryRows(const Image *image) : image_(image) { Adopt(); }

void MemoryRows::Adopt() {
  width_ = image_->width;
  height_ = image_->height;
  channels_ = image_->channels;
  xDpi_ = image_->xDpi;
  yDpi_ = image_->yDpi;
}

void MemoryRows::ReadRow(uint16_t *out) {
  const size_t samples = static_cast<size_t>(width_) * channels_;
  const uint32_t y = std::min(next_++, height_ - 1);
  std::memcpy(out, image_->samples.data() + y * samples, samples * sizeof(uint16_t));
}

}  // namespace detail

namespace {

enum class Format { kPng, kTiff, kPnm, kJpeg, kUnknown };

Format Sniff(const std::filesystem::path &path) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  // A folder opens as a stream but reads nothing.
  std::error_code ignored;
  if (!in || std::filesystem::is_directory(path, ignored)) {
    detail::ImageFailure(path, detail::OpenFailure(path));
  }
  unsigned char magic[8] = {};
  in.read(reinterpret_cast<char *>(magic), sizeof magic);
  const std::streamsize got = in.gcount();
  static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (got >= 8 && std::memcmp(magic, kPng, 8) == 0) return Format::kPng;
  if (got >= 4 && ((magic[0] == 'I' && magic[1] == 'I' && magic[2] == 42 && magic[3] == 0) ||
                   (magic[0] == 'M' && magic[1] == 'M' && magic[2] == 0 && magic[3] == 42))) {
    return Format::kTiff;
  }
  if (got >= 2 && magic[0] == 'P' && (magic[1] == '5' || magic[1] == '6')) return Format::kPnm;
  if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) return Format::kJpeg;
  return Format::kUnknown;
}

[[noreturn]] void Unknown(const std::filesystem::path &path) {
  detail::ImageFailure(path, "not a PNG, TIFF, JPEG, PGM or PPM image (unrecognised first bytes)");
}

}  // namespace

uint32_t CountImagePages(const std::filesystem::path &path) {
  switch (Sniff(path)) {
    case Format::kTiff: return detail::CountTiffPages(path);
    case Format::kPng:
    case Format::kJpeg:
    case Format::kPnm: return 1;
    case Format::kUnknown: break;
  }
  Unknown(path);
}

namespace {

std::unique_ptr<ImageRows> OpenFormatReader(const std::filesystem::path &path, uint32_t page,
                                            uint64_t memoryBudget) {
  Format format = Sniff(path);
  if (format == Format::kTiff) return detail::OpenTiffPage(path, page, memoryBudget);
  if (format == Format::kUnknown) Unknown(path);
  if (page != 0) detail::ImageFailure(path, "has only one page");
  switch (format) {
    case Format::kPng: return detail::OpenPng(path, memoryBudget);
    case Format::kJpeg: return detail::OpenJpeg(path, memoryBudget);
    default: return detail::OpenPnm(path);
  }
}

}  // namespace

std::unique_ptr<ImageRows> OpenImagePage(const std::filesystem::path &path, uint32_t page,
                                         const ColourInput &colour, uint64_t memoryBudget) {
  return detail::ManageColour(OpenFormatReader(path, page, memoryBudget), path, colour);
}

Image ReadImagePage(const std::filesystem::path &path, uint32_t page, uint64_t memoryBudget) {
  std::unique_ptr<ImageRows> rows = OpenImagePage(path, page, {}, memoryBudget);
  Image image;
  image.width = rows->width();
  image.height = rows->height();
  image.channels = rows->channels();
  image.xDpi = rows->xDpi();
  image.yDpi = rows->yDpi();
  const size_t samples = static_cast<size_t>(image.width) * image.channels;
  image.samples.resize(samples * image.height);
  for (uint32_t y = 0; y < image.height; ++y) rows->ReadRow(image.samples.data() + y * samples);
  return image;
}

std::unique_ptr<ImageRows> RowsOfImage(const Image &image) {
  return std::make_unique<detail::MemoryRows>(&image);
}

}  // namespace inkdot::host
