// TIFF in: every page; 8- and 16-bit grey and RGB (with alpha) read
// directly, every other layout through libtiff's RGBA reader.
#include <cstring>

#include "image_readers.h"
#include "tiff_file.h"

namespace inkdot::host::detail {

namespace {

void OpenOrFail(const TiffFile &tiff, const std::filesystem::path &path) {
  if (!tiff.get()) ImageFailure(path, "cannot read the TIFF: " + tiff.LastError("open failed"));
}

void ReadResolution(TIFF *tiff, Image *image) {
  float x = 0, y = 0;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (!TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) || !TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y)) {
    return;
  }
  double scale = unit == RESUNIT_CENTIMETER ? 2.54 : unit == RESUNIT_INCH ? 1.0 : 0.0;
  image->xDpi = x * scale;
  image->yDpi = y * scale;
}

// Straight scanline reading of grey or RGB, 8 or 16 bits, interleaved.
bool ReadDirect(TIFF *tiff, uint32_t width, uint32_t height, const std::filesystem::path &path,
                Image *out) {
  uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG, format = 1;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
  if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
  const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
  const bool rgb = photometric == PHOTOMETRIC_RGB;
  if ((bits != 8 && bits != 16) || planar != PLANARCONFIG_CONTIG || format != SAMPLEFORMAT_UINT) {
    return false;
  }
  if (!(grey && (samples == 1 || samples == 2)) && !(rgb && (samples == 3 || samples == 4))) {
    return false;
  }
  bool premultiplied = false;
  uint16_t extraCount = 0;
  uint16_t *extra = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0) {
    premultiplied = extra[0] == EXTRASAMPLE_ASSOCALPHA;
  }
  const size_t rowSamples = static_cast<size_t>(width) * samples;
  std::vector<uint8_t> line(TIFFScanlineSize(tiff));
  if (line.size() < rowSamples * bits / 8) ImageFailure(path, "TIFF scanline size is inconsistent");
  std::vector<uint16_t> data(rowSamples * height);
  for (uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tiff, line.data(), y, 0) < 0) {
      ImageFailure(path, "corrupt or truncated TIFF at row " + std::to_string(y));
    }
    for (size_t i = 0; i < rowSamples; ++i) {
      uint16_t value;
      if (bits == 16) {
        std::memcpy(&value, line.data() + 2 * i, 2);  // libtiff swaps to host order
      } else {
        value = static_cast<uint16_t>(line[i] * 257);
      }
      if (photometric == PHOTOMETRIC_MINISWHITE && (i % samples) == 0) {
        value = static_cast<uint16_t>(65535 - value);
      }
      data[y * rowSamples + i] = value;
    }
  }
  *out = FinishImage(width, height, samples, std::move(data), premultiplied);
  return true;
}

void ReadThroughRgba(TIFF *tiff, uint32_t width, uint32_t height,
                     const std::filesystem::path &path, Image *out) {
  char message[1024] = "";
  if (!TIFFRGBAImageOK(tiff, message)) ImageFailure(path, std::string("unsupported TIFF: ") + message);
  std::vector<uint32_t> raster(static_cast<size_t>(width) * height);
  if (!TIFFReadRGBAImageOriented(tiff, width, height, raster.data(), ORIENTATION_TOPLEFT, 1)) {
    ImageFailure(path, "corrupt or truncated TIFF");
  }
  std::vector<uint16_t> data(raster.size() * 4);
  for (size_t p = 0; p < raster.size(); ++p) {
    data[4 * p] = static_cast<uint16_t>(TIFFGetR(raster[p]) * 257);
    data[4 * p + 1] = static_cast<uint16_t>(TIFFGetG(raster[p]) * 257);
    data[4 * p + 2] = static_cast<uint16_t>(TIFFGetB(raster[p]) * 257);
    data[4 * p + 3] = static_cast<uint16_t>(TIFFGetA(raster[p]) * 257);
  }
  // The RGBA reader hands back associated (premultiplied) alpha.
  *out = FinishImage(width, height, 4, std::move(data), true);
}

}  // namespace

uint32_t CountTiffPages(const std::filesystem::path &path) {
  TiffFile tiff(path, "r");
  OpenOrFail(tiff, path);
  return TIFFNumberOfDirectories(tiff.get());
}

Image ReadTiffPage(const std::filesystem::path &path, uint32_t page) {
  TiffFile tiff(path, "r");
  OpenOrFail(tiff, path);
  if (!TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page))) {
    ImageFailure(path, "has no page " + std::to_string(page + 1));
  }
  uint32_t width = 0, height = 0;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
  CheckImageSize(path, width, height);
  Image image;
  if (!ReadDirect(tiff.get(), width, height, path, &image)) {
    ReadThroughRgba(tiff.get(), width, height, path, &image);
  }
  if (!tiff.errors().empty() && image.samples.empty()) ImageFailure(path, tiff.errors());
  ReadResolution(tiff.get(), &image);
  return image;
}

}  // namespace inkdot::host::detail
