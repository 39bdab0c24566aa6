// PNG in and out through libpng. libpng reports errors by longjmp; the
// handlers below keep the message, and everything that must survive the
// jump lives in a heap state that the jump does not skip.
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "image_readers.h"
#include "inkdot/host/errors.h"

namespace inkdot::host {

namespace {

struct PngState {
  char message[256] = "unknown libpng error";
  std::vector<uint8_t> pixels;
  std::vector<png_bytep> rows;
  png_uint_32 width = 0, height = 0;
  int channels = 0, depth = 0;
  png_uint_32 xPerMetre = 0, yPerMetre = 0;
};

void PngError(png_structp png, png_const_charp message) {
  auto *state = static_cast<PngState *>(png_get_error_ptr(png));
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

Image ReadPng(const std::filesystem::path &path) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) ImageFailure(path, "cannot open the file");
  auto state = std::make_unique<PngState>();
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, state.get(), PngError, PngWarning);
  if (!png) ImageFailure(path, "out of memory");
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    ImageFailure(path, "out of memory");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    ImageFailure(path, std::string("corrupt or truncated PNG: ") + state->message);
  }
  png_init_io(png, file.get());
  png_read_info(png, info);
  // Refused before the rows are allocated (and outside the jump's reach of
  // the exception: the read struct is released first).
  if (static_cast<uint64_t>(png_get_image_width(png, info)) * png_get_image_height(png, info) >
      kMaxImagePixels) {
    const uint64_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    png_destroy_read_struct(&png, &info, nullptr);
    CheckImageSize(path, width, height);
  }
  png_set_expand(png);  // palette to RGB, low bit depths to 8, tRNS to alpha
  if (png_get_bit_depth(png, info) == 16) png_set_swap(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  state->width = png_get_image_width(png, info);
  state->height = png_get_image_height(png, info);
  state->channels = png_get_channels(png, info);
  state->depth = png_get_bit_depth(png, info);
  int unit = 0;
  png_get_pHYs(png, info, &state->xPerMetre, &state->yPerMetre, &unit);
  if (unit != PNG_RESOLUTION_METER) state->xPerMetre = state->yPerMetre = 0;
  const size_t rowBytes = png_get_rowbytes(png, info);
  state->pixels.resize(rowBytes * state->height);
  state->rows.resize(state->height);
  for (png_uint_32 y = 0; y < state->height; ++y) {
    state->rows[y] = state->pixels.data() + y * rowBytes;
  }
  png_read_image(png, state->rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);

  const size_t count = static_cast<size_t>(state->width) * state->height * state->channels;
  std::vector<uint16_t> samples(count);
  if (state->depth == 16) {
    std::memcpy(samples.data(), state->pixels.data(), count * 2);
  } else {
    for (size_t i = 0; i < count; ++i) samples[i] = static_cast<uint16_t>(state->pixels[i] * 257);
  }
  Image image = FinishImage(state->width, state->height, state->channels, std::move(samples),
                            false);
  image.xDpi = state->xPerMetre * kMetresPerInch;
  image.yDpi = state->yPerMetre * kMetresPerInch;
  return image;
}

}  // namespace detail

void WritePng(const RgbImage8 &image, double dpi, const std::filesystem::path &path) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) throw ImageError(path.string() + ": cannot create the file");
  auto state = std::make_unique<PngState>();
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, state.get(), PngError, PngWarning);
  if (!png) throw ImageError(path.string() + ": out of memory");
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw ImageError(path.string() + ": out of memory");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw ImageError(path.string() + ": writing the PNG failed: " + state->message);
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  if (dpi > 0) {
    auto perMetre = static_cast<png_uint_32>(std::lround(dpi / kMetresPerInch));
    png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
  }
  png_write_info(png, info);
  for (uint32_t y = 0; y < image.height; ++y) {
    png_write_row(png, image.rgb.data() + static_cast<size_t>(y) * image.width * 3);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(file.get()) != 0) throw ImageError(path.string() + ": writing failed");
}

}  // namespace inkdot::host
