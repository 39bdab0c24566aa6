// Images in: PNG, TIFF (every page) and binary PGM/PPM, 8 or 16 bits per
// sample, grey, grey with alpha, RGB or RGBA. Alpha is composited on white
// when the image is read, so every page comes out as grey or RGB.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace inkdot::host {

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
// problem for an unreadable, truncated or unsupported image, and for a page
// of more than 2^27 pixels.
Image ReadImagePage(const std::filesystem::path &path, uint32_t page);

// An 8-bit RGB picture, as the preview renderer and chart writer make them.
struct RgbImage8 {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;
};

// Writes an sRGB PNG with its resolution (dots per inch; 0 = none) to
// `path`. Throws ImageError on failure.
void WritePng(const RgbImage8 &image, double dpi, const std::filesystem::path &path);

}  // namespace inkdot::host
