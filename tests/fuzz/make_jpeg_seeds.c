/* SPDX-License-Identifier: Apache-2.0 */
/* Writes the JPEG reader's seed corpus: small grey, RGB (progressive too),
 * Adobe CMYK and plain CMYK images, one with an EXIF orientation and
 * resolution.
 *   cc -std=c99 make_jpeg_seeds.c -ljpeg -o make_jpeg_seeds && ./make_jpeg_seeds DIR */
#include <stdio.h>
#include <string.h>
#include <jpeglib.h>

static void write_seed(const char *dir, const char *name, J_COLOR_SPACE space, int components,
                       int adobe, int progressive, const unsigned char *exif, unsigned exif_size) {
  char path[1024];
  struct jpeg_compress_struct info;
  struct jpeg_error_mgr error;
  unsigned char row[12 * 4];
  FILE *file;
  int x, y, c;
  snprintf(path, sizeof path, "%s/%s", dir, name);
  file = fopen(path, "wb");
  if (!file) return;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = 12;
  info.image_height = 10;
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 60, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  if (space == JCS_CMYK) info.write_Adobe_marker = adobe;
  info.density_unit = 1;
  info.X_density = info.Y_density = 300;
  jpeg_start_compress(&info, TRUE);
  if (exif) jpeg_write_marker(&info, JPEG_APP0 + 1, exif, exif_size);
  for (y = 0; y < 10; ++y) {
    JSAMPROW rows[1];
    for (x = 0; x < 12; ++x) {
      for (c = 0; c < components; ++c) row[x * components + c] = (unsigned char)(x * 20 + y * 7 + c * 50);
    }
    rows[0] = row;
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  fclose(file);
}

int main(int argc, char **argv) {
  /* Little-endian EXIF: orientation 6, resolution 240 x 120 per inch. */
  static const unsigned char exif[] = {
      'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
      4, 0,
      0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0,
      0x1A, 0x01, 5, 0, 1, 0, 0, 0, 62, 0, 0, 0,
      0x1B, 0x01, 5, 0, 1, 0, 0, 0, 70, 0, 0, 0,
      0x28, 0x01, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0,
      0, 0, 0, 0,
      240, 0, 0, 0, 1, 0, 0, 0, 120, 0, 0, 0, 1, 0, 0, 0};
  if (argc != 2) return 2;
  write_seed(argv[1], "grey", JCS_GRAYSCALE, 1, 0, 0, NULL, 0);
  write_seed(argv[1], "rgb", JCS_RGB, 3, 0, 0, NULL, 0);
  write_seed(argv[1], "rgb-progressive", JCS_RGB, 3, 0, 1, NULL, 0);
  write_seed(argv[1], "rgb-exif-turned", JCS_RGB, 3, 0, 0, exif, sizeof exif);
  write_seed(argv[1], "cmyk-adobe", JCS_CMYK, 4, 1, 0, NULL, 0);
  write_seed(argv[1], "cmyk-plain", JCS_CMYK, 4, 0, 0, NULL, 0);
  return 0;
}
