// SPDX-License-Identifier: Apache-2.0
// Test helper for the CUPS filter:
//   cups_stream_tool split STREAM DIR    pages of a page stream to DIR/page-N.tif
//   cups_stream_tool raster RASTER DIR   raster pages to DIR/page-N.ppm or .pgm
//                                        (16-bit samples as 16-bit PNM), and
//                                        prints "WIDTHxHEIGHT XDPIxYDPI" per page
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "inkdot/host/profile.h"
#include "page_stream.h"
#include "raster_rows.h"

namespace {

int Split(const std::filesystem::path &stream, const std::filesystem::path &dir) {
  const std::vector<std::vector<uint8_t>> pages =
      inkdot::cups::ReadPageStream(inkdot::host::ReadFileBytes(stream));
  for (size_t i = 0; i < pages.size(); ++i) {
    std::ofstream out(dir / ("page-" + std::to_string(i + 1) + ".tif"), std::ios::binary);
    out.write(reinterpret_cast<const char *>(pages[i].data()),
              static_cast<std::streamsize>(pages[i].size()));
  }
  std::printf("%zu\n", pages.size());
  return 0;
}

int Raster(const char *path, const std::filesystem::path &dir) {
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return 1;
  cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
  cups_page_header2_t header;
  for (int page = 1; cupsRasterReadHeader2(raster, &header); ++page) {
    inkdot::cups::CheckRasterHeader(header);
    inkdot::cups::RasterRows rows(raster, header);
    const bool grey = rows.channels() == 1;
    const bool wide = header.cupsBitsPerColor == 16;
    std::ofstream out(dir / ("page-" + std::to_string(page) + (grey ? ".pgm" : ".ppm")),
                      std::ios::binary);
    out << (grey ? "P5\n" : "P6\n") << rows.width() << " " << rows.height() << "\n"
        << (wide ? 65535 : 255) << "\n";
    std::vector<uint16_t> row(size_t{rows.width()} * rows.channels());
    for (uint32_t y = 0; y < rows.height(); ++y) {
      rows.ReadRow(row.data());
      for (uint16_t sample : row) {
        if (wide) out.put(static_cast<char>(sample >> 8));
        out.put(static_cast<char>(wide ? sample & 0xFF : sample >> 8));
      }
    }
    std::printf("%ux%u %ux%u\n", rows.width(), rows.height(), header.HWResolution[0],
                header.HWResolution[1]);
  }
  cupsRasterClose(raster);
  close(fd);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  try {
    if (argc == 4 && std::strcmp(argv[1], "split") == 0) return Split(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "raster") == 0) return Raster(argv[2], argv[3]);
  } catch (const std::exception &error) {
    std::fprintf(stderr, "cups_stream_tool: %s\n", error.what());
    return 1;
  }
  std::fprintf(stderr, "usage: cups_stream_tool split STREAM DIR | raster RASTER DIR\n");
  return 2;
}
