// SPDX-License-Identifier: Apache-2.0
// Image reading: picks the format by its first bytes from the table of
// readers, and composites alpha.
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

[[noreturn]] void RequireFirstPage(const std::filesystem::path &path) {
  detail::ImageFailure(path, "has only one page");
}

uint32_t OnePage(const std::filesystem::path &) { return 1; }

std::unique_ptr<ImageRows> OpenPngPage(const std::filesystem::path &path, uint32_t page,
                                       uint64_t memoryBudget) {
  if (page != 0) RequireFirstPage(path);
  return detail::OpenPng(path, memoryBudget);
}

std::unique_ptr<ImageRows> OpenJpegPage(const std::filesystem::path &path, uint32_t page,
                                        uint64_t memoryBudget) {
  if (page != 0) RequireFirstPage(path);
  return detail::OpenJpeg(path, memoryBudget);
}

std::unique_ptr<ImageRows> OpenPnmPage(const std::filesystem::path &path, uint32_t page,
                                       uint64_t /*memoryBudget: rows stream*/) {
  if (page != 0) RequireFirstPage(path);
  return detail::OpenPnm(path);
}

// Every format the readers take, in the order an unknown file's refusal
// names them. Their first bytes never overlap, so the order decides nothing
// else.
constexpr detail::ImageFormat kImageFormats[] = {
    {"PNG", detail::IsPng, OnePage, OpenPngPage},
    {"TIFF", detail::IsTiff, detail::CountTiffPages, detail::OpenTiffPage},
    {"JPEG", detail::IsJpeg, OnePage, OpenJpegPage},
    {"PGM or PPM", detail::IsPnm, OnePage, OpenPnmPage},
};

// The format of the file at `path` by its first bytes; refuses a file that
// cannot be read or that no reader takes.
const detail::ImageFormat &Sniff(const std::filesystem::path &path) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  // A folder opens as a stream but reads nothing.
  std::error_code ignored;
  if (!in || std::filesystem::is_directory(path, ignored)) {
    detail::ImageFailure(path, detail::OpenFailure(path));
  }
  uint8_t head[8] = {};
  in.read(reinterpret_cast<char *>(head), sizeof head);
  const std::span<const uint8_t> read(head, static_cast<size_t>(in.gcount()));
  for (const detail::ImageFormat &format : kImageFormats) {
    if (format.sniff(read)) return format;
  }
  std::string names;
  for (const detail::ImageFormat &format : kImageFormats) {
    names += (names.empty() ? "" : ", ") + std::string(format.names);
  }
  detail::ImageFailure(path, "not a " + names + " image (unrecognised first bytes)");
}

}  // namespace

uint32_t CountImagePages(const std::filesystem::path &path) { return Sniff(path).pages(path); }

std::unique_ptr<ImageRows> OpenImagePage(const std::filesystem::path &path, uint32_t page,
                                         const ColourInput &colour, uint64_t memoryBudget) {
  return detail::ManageColour(Sniff(path).open(path, page, memoryBudget), path, colour);
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
