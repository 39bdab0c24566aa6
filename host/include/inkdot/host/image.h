/* SPDX-License-Identifier: Apache-2.0 */
// Images in: PNG, TIFF (every page), JPEG and binary PGM/PPM, 8 or 16 bits
// per sample, grey, grey with alpha, RGB or RGBA, and CMYK with a colour
// profile. Alpha is composited on white when the image is read, and colours
// are converted to sRGB (grey: sRGB's tone curve) through the image's
// profile, so every page comes out as grey or sRGB.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inkdot/host/limits.h"

namespace inkdot::host {

// What a file says about its colours: an ICC profile, or PNG's sRGB, gAMA
// and cHRM chunks. Nothing at all means sRGB.
struct EmbeddedColour {
  std::vector<uint8_t> icc;
  bool srgb = false;  // PNG sRGB chunk
  double gamma = 0;   // PNG gAMA: the encoding exponent (1/2.2 = 0.45455); 0 = none
  // PNG cHRM: white, red, green and blue x, y.
  std::optional<std::array<double, 8>> chromaticities;
};

enum class RenderingIntent { kPerceptual = 0, kRelative = 1, kSaturation = 2, kAbsolute = 3 };

// How images' colours are brought to sRGB.
struct ColourInput {
  std::vector<uint8_t> profile;  // an ICC profile used in place of the images' own
  std::string profileName;       // names it in messages
  RenderingIntent intent = RenderingIntent::kPerceptual;
  bool blackPointCompensation = false;
};

struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t channels = 0;  // 1 grey, 3 RGB
  double xDpi = 0;        // 0 when the file does not say
  double yDpi = 0;
  std::vector<uint16_t> samples;  // 0..65535, row-major, channels interleaved
};

// Number of pages in an image file (TIFF may hold several, others one).
// Throws ImageError for a file that is not a readable image.
uint32_t CountImagePages(const std::filesystem::path &path);

// Reads page `page` (from 0). Throws ImageError naming the file and the
// problem for an unreadable, truncated or unsupported image, for a page of
// more than 2^27 pixels or 2^17 a side, and for one whose layout must be
// decoded whole (interlaced PNG, tiled TIFF) in more than `memoryBudget`
// bytes.
Image ReadImagePage(const std::filesystem::path &path, uint32_t page,
                    uint64_t memoryBudget = kDefaultMemoryBudget);

// A page read row by row, top to bottom, so that printing never holds a
// whole page. Samples as in Image: 0..65535, alpha already composited.
// PNG (non-interlaced), strip TIFF and PNM stream; interlaced PNG and tiled
// or unusual TIFF layouts are decoded whole when opened and then handed out
// row by row.
class ImageRows {
 public:
  virtual ~ImageRows() = default;
  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  uint32_t channels() const { return channels_; }  // 1 grey, 3 RGB
  double xDpi() const { return xDpi_; }             // 0 when the file does not say
  double yDpi() const { return yDpi_; }
  // Reads the next row, width() * channels() samples. Throws ImageError for
  // a corrupt or truncated file.
  virtual void ReadRow(uint16_t *out) = 0;
  const EmbeddedColour &embeddedColour() const { return colour_; }

 protected:
  uint32_t width_ = 0, height_ = 0, channels_ = 0;  // the format readers: 4 = CMYK inks
  double xDpi_ = 0, yDpi_ = 0;
  EmbeddedColour colour_;
};

// Opens page `page` (from 0) for reading row by row, its colours converted
// row by row to sRGB through the image's profile (or colour.profile).
// Throws ImageError as ReadImagePage does, and for a CMYK image without a
// profile or a profile that does not fit the image.
std::unique_ptr<ImageRows> OpenImagePage(const std::filesystem::path &path, uint32_t page,
                                         const ColourInput &colour = {},
                                         uint64_t memoryBudget = kDefaultMemoryBudget);

// The rows of an image in memory; `image` must outlive the reader.
std::unique_ptr<ImageRows> RowsOfImage(const Image &image);

// An 8-bit RGB picture, as the preview renderer and chart writer make them.
struct RgbImage8 {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;
};

// Writes an sRGB PNG with its resolution (dots per inch; 0 = none) to
// `path`. Throws ImageError on failure, naming `shownAs` (`path` when
// empty): the file the user asked for when `path` is a temporary one.
void WritePng(const RgbImage8 &image, double dpi, const std::filesystem::path &path,
              const std::filesystem::path &shownAs = {});

}  // namespace inkdot::host
