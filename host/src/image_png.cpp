// SPDX-License-Identifier: Apache-2.0
// PNG in and out through libpng. libpng reports errors by longjmp; the
// handlers below keep the message, and everything that must survive the
// jump lives in a heap state that the jump does not skip.
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "image_readers.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/system_errors.h"

namespace inkdot::host {

namespace {

struct PngState {
  char message[256] = "unknown libpng error";
  int systemError = 0;  // errno when libpng gave up, for a failed write
};

void PngError(png_structp png, png_const_charp message) {
  auto *state = static_cast<PngState *>(png_get_error_ptr(png));
  state->systemError = errno;
  std::snprintf(state->message, sizeof state->message, "%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

struct FileCloser {
  void operator()(FILE *f) const { std::fclose(f); }
};

constexpr double kMetresPerInch = 0.0254;

}  // namespace

namespace detail {

namespace {

// Non-interlaced PNGs are read one row per ReadRow; interlaced ones need
// every pass before any row is complete, so they are decoded whole when
// opened.
class PngRows : public ImageRows {
 public:
  PngRows(const std::filesystem::path &path, uint64_t memoryBudget)
      : path_(path), file_(std::fopen(path.c_str(), "rb")), state_(std::make_unique<PngState>()) {
    if (!file_) ImageFailure(path, OpenFailure(path));
    read_.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, state_.get(), PngError, PngWarning);
    if (!read_.png) ImageFailure(path, "out of memory");
    read_.info = png_create_info_struct(read_.png);
    if (!read_.info) ImageFailure(path, "out of memory");
    png_structp png = read_.png;
    png_infop info = read_.info;
    if (setjmp(png_jmpbuf(png))) Corrupt();
    png_init_io(png, file_.get());
    png_read_info(png, info);
    CheckImageSize(path, png_get_image_width(png, info), png_get_image_height(png, info));
    png_set_expand(png);  // palette to RGB, low bit depths to 8, tRNS to alpha
    if (png_get_bit_depth(png, info) == 16) png_set_swap(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    width_ = png_get_image_width(png, info);
    height_ = png_get_image_height(png, info);
    rawChannels_ = png_get_channels(png, info);
    depth_ = png_get_bit_depth(png, info);
    channels_ = rawChannels_ == 2 || rawChannels_ == 4 ? rawChannels_ - 1 : rawChannels_;
    png_uint_32 xPerMetre = 0, yPerMetre = 0;
    int unit = 0;
    png_get_pHYs(png, info, &xPerMetre, &yPerMetre, &unit);
    if (unit == PNG_RESOLUTION_METER) {
      xDpi_ = WholeDpiWhenClose(xPerMetre * kMetresPerInch);
      yDpi_ = WholeDpiWhenClose(yPerMetre * kMetresPerInch);
    }
    ReadColourChunks(png, info);
    rowBytes_ = png_get_rowbytes(png, info);
    if (rawChannels_ != channels_) samples_.resize(static_cast<size_t>(width_) * rawChannels_);
    if (passes > 1) {
      CheckWholeDecode(path, "interlaced PNG",
                       (static_cast<uint64_t>(rowBytes_) + sizeof(png_bytep)) * height_,
                       memoryBudget);
      whole_.resize(rowBytes_ * height_);
      rows_.resize(height_);
      for (png_uint_32 y = 0; y < height_; ++y) rows_[y] = whole_.data() + y * rowBytes_;
      png_read_image(png, rows_.data());
      png_read_end(png, nullptr);
    } else {
      line_.resize(rowBytes_);
    }
  }

  void ReadRow(uint16_t *out) override {
    const uint8_t *bytes;
    if (whole_.empty()) {
      if (setjmp(png_jmpbuf(read_.png))) Corrupt();
      png_read_row(read_.png, line_.data(), nullptr);
      // The file's end is checked with its last row, as a whole read would.
      if (++next_ == height_) png_read_end(read_.png, nullptr);
      bytes = line_.data();
    } else {
      bytes = whole_.data() + std::min(next_++, height_ - 1) * rowBytes_;
    }
    // Without alpha the samples go straight out; with it, through the
    // compositing.
    const bool alpha = rawChannels_ != channels_;
    uint16_t *samples = alpha ? samples_.data() : out;
    const size_t count = static_cast<size_t>(width_) * rawChannels_;
    if (depth_ == 16) {
      std::memcpy(samples, bytes, count * 2);
    } else {
      for (size_t i = 0; i < count; ++i) samples[i] = static_cast<uint16_t>(bytes[i] * 257);
    }
    if (alpha) CompositeRow(samples, width_, rawChannels_, false, out);
  }

 private:
  [[noreturn]] void Corrupt() {
    ImageFailure(path_, std::string("corrupt or truncated PNG: ") + state_->message);
  }

  // iCCP first; sRGB next; gAMA and cHRM otherwise, as the PNG rules rank them.
  void ReadColourChunks(png_structp png, png_infop info) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) && profile) {
      colour_.icc.assign(profile, profile + length);
      return;
    }
    int intent = 0;
    if (png_get_sRGB(png, info, &intent)) {
      colour_.srgb = true;
      return;
    }
    double gamma = 0;
    if (png_get_gAMA(png, info, &gamma) && gamma > 0) colour_.gamma = gamma;
    std::array<double, 8> c{};
    if (png_get_cHRM(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7])) {
      colour_.chromaticities = c;
    }
  }

  std::filesystem::path path_;
  std::unique_ptr<FILE, FileCloser> file_;
  std::unique_ptr<PngState> state_;
  // Released before state_, which libpng's error handler points at.
  struct ReadStruct {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadStruct() {
      if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
  } read_;
  std::vector<png_bytep> rows_;
  uint32_t rawChannels_ = 0, depth_ = 0, next_ = 0;
  size_t rowBytes_ = 0;
  std::vector<uint8_t> line_, whole_;
  std::vector<uint16_t> samples_;
};

}  // namespace

bool IsPng(std::span<const uint8_t> head) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return head.size() >= 8 && std::memcmp(head.data(), kSignature, 8) == 0;
}

std::unique_ptr<ImageRows> OpenPng(const std::filesystem::path &path, uint64_t memoryBudget) {
  return std::make_unique<PngRows>(path, memoryBudget);
}

}  // namespace detail

void WritePng(const RgbImage8 &image, double dpi, const std::filesystem::path &path,
              const std::filesystem::path &shownAs) {
  const std::string name = (shownAs.empty() ? path : shownAs).string();
  errno = 0;
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) throw ImageError(name + ": cannot create the file: " + PlainReason(errno));
  auto state = std::make_unique<PngState>();
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, state.get(), PngError, PngWarning);
  if (!png) throw ImageError(name + ": out of memory");
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw ImageError(name + ": out of memory");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    // A failed write shows the system's reason ("no space left on device"),
    // not libpng's "Write Error".
    throw ImageError(name + ": writing the PNG failed: " +
                     (state->systemError != 0 ? PlainReason(state->systemError)
                                              : std::string(state->message)));
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  if (dpi > 0) {
    auto perMetre = static_cast<png_uint_32>(std::lround(dpi / kMetresPerInch));
    png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
  }
  errno = 0;
  png_write_info(png, info);
  for (uint32_t y = 0; y < image.height; ++y) {
    png_write_row(png, image.rgb.data() + static_cast<size_t>(y) * image.width * 3);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  errno = 0;
  if (std::fflush(file.get()) != 0 || std::ferror(file.get())) {
    throw ImageError(name + ": writing the PNG failed: " + PlainReason(errno ? errno : EIO));
  }
  errno = 0;
  if (std::fclose(file.release()) != 0) {
    throw ImageError(name + ": writing the PNG failed: " + PlainReason(errno ? errno : EIO));
  }
}

}  // namespace inkdot::host
