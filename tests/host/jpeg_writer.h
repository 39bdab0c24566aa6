// SPDX-License-Identifier: Apache-2.0
// Writes small JPEG test pictures with libjpeg: two flat halves, with the
// markers a test asks for (Adobe, EXIF, ICC profile, JFIF density).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include <jpeglib.h>

namespace inkdot::testing {

struct JpegPicture {
  uint32_t width = 32, height = 16;
  int components = 3;
  J_COLOR_SPACE space = JCS_RGB;
  bool adobe = true;           // CMYK: write Adobe's marker (inverted values)
  std::vector<uint8_t> exif;   // APP1 body, or empty
  std::vector<uint8_t> icc;    // ICC profile (APP2), or empty
  int densityUnit = 0;         // JFIF: 0 none, 1 dpi, 2 dots per cm
  int xDensity = 1, yDensity = 1;
  // Pixel (x, y) of the stored image: left half `left`, right half `right`.
  std::vector<uint8_t> left, right;
};

inline void WriteJpeg(const JpegPicture &picture, const std::filesystem::path &path) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  FILE *file = std::fopen(path.c_str(), "wb");
  jpeg_stdio_dest(&info, file);
  info.image_width = picture.width;
  info.image_height = picture.height;
  info.input_components = picture.components;
  info.in_color_space = picture.space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  info.density_unit = static_cast<UINT8>(picture.densityUnit);
  info.X_density = static_cast<UINT16>(picture.xDensity);
  info.Y_density = static_cast<UINT16>(picture.yDensity);
  if (picture.space == JCS_CMYK) info.write_Adobe_marker = picture.adobe;
  jpeg_start_compress(&info, TRUE);
  if (!picture.exif.empty()) {
    jpeg_write_marker(&info, JPEG_APP0 + 1, picture.exif.data(),
                      static_cast<unsigned>(picture.exif.size()));
  }
  if (!picture.icc.empty()) {
    jpeg_write_icc_profile(&info, picture.icc.data(), static_cast<unsigned>(picture.icc.size()));
  }
  std::vector<uint8_t> row(picture.width * picture.components);
  for (uint32_t y = 0; y < picture.height; ++y) {
    for (uint32_t x = 0; x < picture.width; ++x) {
      const auto &colour = x < picture.width / 2 ? picture.left : picture.right;
      std::memcpy(&row[x * picture.components], colour.data(), picture.components);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(file);
}

}  // namespace inkdot::testing
