/* SPDX-License-Identifier: Apache-2.0 */
// CUPS raster files for the filter's tests, written with libcups itself.
#pragma once

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "test_resources.h"

namespace inkdot::cups {

// A chunky page header at 720 dpi, `bits` per colour.
inline cups_page_header2_t RasterHeader(cups_cspace_t space, unsigned bits, unsigned width,
                                        unsigned height) {
  cups_page_header2_t header;
  std::memset(&header, 0, sizeof header);
  const bool grey = space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW || space == CUPS_CSPACE_K;
  const unsigned channels = space == CUPS_CSPACE_CMYK ? 4 : grey ? 1 : 3;
  header.HWResolution[0] = header.HWResolution[1] = 720;
  header.cupsWidth = width;
  header.cupsHeight = height;
  header.cupsColorSpace = space;
  header.cupsColorOrder = CUPS_ORDER_CHUNKED;
  header.cupsBitsPerColor = bits;
  header.cupsBitsPerPixel = bits * channels;
  header.cupsBytesPerLine = width * channels * bits / 8;
  header.PageSize[0] = width / 10;
  header.PageSize[1] = height / 10;
  return header;
}

// A page's bytes with every pixel `pixel` (one sample per channel), 16-bit
// samples in the machine's order as libcups writes them.
inline std::vector<uint8_t> PixelRows(const cups_page_header2_t &header,
                                      const std::vector<uint16_t> &pixel) {
  std::vector<uint8_t> bytes;
  for (unsigned i = 0; i < header.cupsWidth * header.cupsHeight; ++i) {
    for (uint16_t sample : pixel) {
      if (header.cupsBitsPerColor == 8) {
        bytes.push_back(static_cast<uint8_t>(sample));
      } else {
        uint8_t two[2];
        std::memcpy(two, &sample, 2);
        bytes.insert(bytes.end(), two, two + 2);
      }
    }
  }
  return bytes;
}

// Writes pages (header and pixel bytes, which may stop short of the page).
inline void WriteRaster(const std::filesystem::path &path,
                        const std::vector<std::pair<cups_page_header2_t, std::vector<uint8_t>>> &pages) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
  for (auto [header, bytes] : pages) {
    cupsRasterWriteHeader2(raster, &header);
    if (!bytes.empty()) {
      cupsRasterWritePixels(raster, bytes.data(), static_cast<unsigned>(bytes.size()));
    }
  }
  cupsRasterClose(raster);
  close(fd);
}

class RasterFile {
 public:
  explicit RasterFile(const std::filesystem::path &path)
      : fd_(open(path.c_str(), O_RDONLY)), raster_(cupsRasterOpen(fd_, CUPS_RASTER_READ)) {}
  ~RasterFile() {
    cupsRasterClose(raster_);
    close(fd_);
  }
  RasterFile(const RasterFile &) = delete;
  RasterFile &operator=(const RasterFile &) = delete;
  cups_raster_t *raster() const { return raster_; }

 private:
  int fd_;
  cups_raster_t *raster_;
};

}  // namespace inkdot::cups
