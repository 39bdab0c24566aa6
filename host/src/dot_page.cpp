#include "inkdot/host/dot_page.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "inkdot/host/errors.h"
#include "tiff_file.h"

namespace inkdot::host {

namespace {

// Each image's description carries the ink's display colour so that planes
// can be previewed without their profile.
constexpr char kDescriptionPrefix[] = "inkdot dot plane; ink colour ";

[[noreturn]] void Fail(const std::filesystem::path &path, const std::string &problem) {
  throw ImageError(path.string() + ": " + problem);
}

}  // namespace

void DotPage::Allocate() {
  planes.assign(inks.size(), std::vector<uint8_t>(rowBytes() * height, 0));
}

void WriteDotPageTiff(const DotPage &page, const std::filesystem::path &path) {
  detail::TiffFile tiff(path, "w");
  if (!tiff.get()) Fail(path, "cannot create the TIFF: " + tiff.LastError("open failed"));
  TIFF *t = tiff.get();
  const uint16_t count = static_cast<uint16_t>(page.planes.size());
  for (uint16_t plane = 0; plane < count; ++plane) {
    const Ink &ink = page.inks[plane];
    char description[64];
    std::snprintf(description, sizeof description, "%s#%02X%02X%02X", kDescriptionPrefix,
                  ink.colour[0], ink.colour[1], ink.colour[2]);
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(page.bitsPerPixel));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(1));
    // A set bit is ink on paper: 0 is white.
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::max<uint32_t>(1, 65536 / std::max<size_t>(1, page.rowBytes())));
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(page.xDpi));
    TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(page.yDpi));
    TIFFSetField(t, TIFFTAG_PAGENAME, ink.name.c_str());
    TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, description);
    TIFFSetField(t, TIFFTAG_SOFTWARE, "inkdot");
    TIFFSetField(t, TIFFTAG_PAGENUMBER, plane, count);
    const uint8_t *rows = page.planes[plane].data();
    for (uint32_t y = 0; y < page.height; ++y) {
      if (TIFFWriteScanline(t, const_cast<uint8_t *>(rows + y * page.rowBytes()), y, 0) < 0) {
        Fail(path, "writing the TIFF failed: " + tiff.LastError("scanline"));
      }
    }
    if (!TIFFWriteDirectory(t)) Fail(path, "writing the TIFF failed: " + tiff.LastError("directory"));
  }
  if (!tiff.Close()) Fail(path, "writing the TIFF failed: " + tiff.LastError("close"));
}

DotPage ReadDotPageTiff(const std::filesystem::path &path) {
  detail::TiffFile tiff(path, "r");
  if (!tiff.get()) Fail(path, "cannot read the TIFF: " + tiff.LastError("open failed"));
  TIFF *t = tiff.get();
  DotPage page;
  uint32_t index = 0;
  do {
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 1, photometric = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    const char *description = nullptr;
    const char *name = nullptr;
    TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &description);
    TIFFGetField(t, TIFFTAG_PAGENAME, &name);
    const std::string where = "image " + std::to_string(index + 1);
    if ((bits != 1 && bits != 2) || samples != 1 || photometric != PHOTOMETRIC_MINISWHITE) {
      Fail(path, where + " is not a dot plane (1 or 2 bits, one sample, 0 = white)");
    }
    Ink ink;
    ink.name = name ? name : "ink " + std::to_string(index);
    ink.colour = {0, 0, 0};
    const size_t prefix = sizeof kDescriptionPrefix - 1;
    if (!description || std::strncmp(description, kDescriptionPrefix, prefix) != 0 ||
        !ParseHexColour(description + prefix, &ink.colour)) {
      Fail(path, where + " carries no ink colour; it was not written by inkdot print");
    }
    if (index == 0) {
      page.width = width;
      page.height = height;
      page.bitsPerPixel = bits;
      float x = 0, y = 0;
      TIFFGetField(t, TIFFTAG_XRESOLUTION, &x);
      TIFFGetField(t, TIFFTAG_YRESOLUTION, &y);
      page.xDpi = static_cast<uint32_t>(std::lround(x));
      page.yDpi = static_cast<uint32_t>(std::lround(y));
      if (page.xDpi == 0 || page.yDpi == 0) Fail(path, "the dot planes carry no resolution");
    } else if (width != page.width || height != page.height || bits != page.bitsPerPixel) {
      Fail(path, where + " differs in size or depth from the first plane");
    }
    if (TIFFScanlineSize(t) != static_cast<tmsize_t>(page.rowBytes())) {
      Fail(path, where + " has an unexpected row size");
    }
    std::vector<uint8_t> plane(page.rowBytes() * height);
    for (uint32_t row = 0; row < height; ++row) {
      if (TIFFReadScanline(t, plane.data() + row * page.rowBytes(), row, 0) < 0) {
        Fail(path, "corrupt or truncated TIFF in " + where + " at row " + std::to_string(row));
      }
    }
    page.inks.push_back(std::move(ink));
    page.planes.push_back(std::move(plane));
    ++index;
  } while (TIFFReadDirectory(t));
  return page;
}

}  // namespace inkdot::host
