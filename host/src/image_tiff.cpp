// SPDX-License-Identifier: Apache-2.0
// TIFF in: every page; 8- and 16-bit grey, RGB (with alpha) and CMYK in
// strips read row by row, with the page's ICC profile; every other layout
// but ink separations through libtiff's RGBA reader.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

#include "image_readers.h"
#include "tiff_file.h"

namespace inkdot::host::detail {

namespace {

void OpenOrFail(const TiffFile &tiff, const std::filesystem::path &path) {
  if (tiff.get()) return;
  // The system's reason when the file itself cannot be opened, libtiff's
  // when its contents are wrong.
  errno = 0;
  std::ifstream probe(path, std::ios::binary);
  std::error_code ignored;
  if (!probe || std::filesystem::is_directory(path, ignored)) ImageFailure(path, OpenFailure(path));
  ImageFailure(path, "cannot read the TIFF: " + tiff.LastError("open failed"));
}

void ReadResolution(TIFF *tiff, Image *image) {
  float x = 0, y = 0;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (!TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) || !TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y)) {
    return;
  }
  double scale = unit == RESUNIT_CENTIMETER ? 2.54 : unit == RESUNIT_INCH ? 1.0 : 0.0;
  image->xDpi = WholeDpiWhenClose(x * scale);
  image->yDpi = WholeDpiWhenClose(y * scale);
}

// Four inks, CMYK, with no extra samples.
bool IsCmyk(TIFF *tiff) {
  uint16_t photometric = 0, samples = 0, inkSet = INKSET_CMYK;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkSet);
  return TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) &&
         photometric == PHOTOMETRIC_SEPARATED && samples == 4 && inkSet == INKSET_CMYK;
}

// The layouts read scanline by scanline: grey or RGB (alpha last), 8 or 16
// bits, interleaved, in strips.
bool Direct(TIFF *tiff) {
  uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG, format = 1;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
  if (TIFFIsTiled(tiff) || !TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
  const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
  const bool rgb = photometric == PHOTOMETRIC_RGB;
  if ((bits != 8 && bits != 16) || planar != PLANARCONFIG_CONTIG || format != SAMPLEFORMAT_UINT) {
    return false;
  }
  return (grey && (samples == 1 || samples == 2)) || (rgb && (samples == 3 || samples == 4)) ||
         IsCmyk(tiff);
}

// Strip TIFFs stream one scanline per row; every other layout goes through
// libtiff's RGBA reader, which decodes the whole page at once.
class TiffRows : public ImageRows {
 public:
  TiffRows(const std::filesystem::path &path, uint32_t page, uint64_t memoryBudget)
      : path_(path), tiff_(path, "r") {
    OpenOrFail(tiff_, path);
    TIFF *tiff = tiff_.get();
    if (!TIFFSetDirectory(tiff, static_cast<tdir_t>(page))) {
      ImageFailure(path, "has no page " + std::to_string(page + 1));
    }
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width_);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height_);
    CheckImageSize(path, width_, height_);
    // Libtiff sizes its strip buffers from these; four samples of 16 bits
    // bound a strip by the page's pixel limit.
    uint16_t samples = 0, bits = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    if (samples < 1 || samples > 4 || bits < 1 || bits > 16) {
      ImageFailure(path, "TIFF page of " + std::to_string(samples) + " samples of " +
                             std::to_string(bits) +
                             " bits per pixel: 1 to 4 samples of up to 16 bits are read");
    }
    Image resolution;
    ReadResolution(tiff, &resolution);
    xDpi_ = resolution.xDpi;
    yDpi_ = resolution.yDpi;
    uint32_t iccLength = 0;
    void *icc = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &iccLength, &icc) && icc) {
      colour_.icc.assign(static_cast<uint8_t *>(icc), static_cast<uint8_t *>(icc) + iccLength);
    }
    uint16_t photometric = 0;
    if (Direct(tiff)) {
      StartDirect();
    } else if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) &&
               photometric == PHOTOMETRIC_SEPARATED) {
      // libtiff's RGBA reader would turn inks into colours naively.
      ImageFailure(path, "ink-separated TIFF pages are read as 8- or 16-bit CMYK in strips "
                         "only");
    } else {
      whole_ = std::make_unique<MemoryRows>(ReadThroughRgba(memoryBudget));
      channels_ = whole_->channels();
    }
  }

  void ReadRow(uint16_t *out) override {
    if (whole_) return whole_->ReadRow(out);
    const uint32_t y = next_++;
    if (TIFFReadScanline(tiff_.get(), line_.data(), y, 0) < 0) {
      ImageFailure(path_, "corrupt or truncated TIFF at row " + std::to_string(y));
    }
    for (size_t i = 0; i < samples_.size(); ++i) {
      uint16_t value;
      if (bits_ == 16) {
        std::memcpy(&value, line_.data() + 2 * i, 2);  // libtiff swaps to host order
      } else {
        value = static_cast<uint16_t>(line_[i] * 257);
      }
      if (minIsWhite_ && (i % rawChannels_) == 0) value = static_cast<uint16_t>(65535 - value);
      samples_[i] = value;
    }
    if (cmyk_) {
      std::memcpy(out, samples_.data(), samples_.size() * sizeof(uint16_t));
      return;
    }
    CompositeRow(samples_.data(), width_, rawChannels_, premultiplied_, out);
  }

 private:
  void StartDirect() {
    TIFF *tiff = tiff_.get();
    uint16_t bits = 0, samples = 0, photometric = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    uint16_t extraCount = 0;
    uint16_t *extra = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0) {
      premultiplied_ = extra[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    bits_ = bits;
    rawChannels_ = samples;
    cmyk_ = IsCmyk(tiff);
    channels_ = cmyk_ ? 4 : samples == 2 || samples == 4 ? samples - 1u : samples;
    minIsWhite_ = photometric == PHOTOMETRIC_MINISWHITE;
    samples_.resize(static_cast<size_t>(width_) * samples);
    line_.resize(TIFFScanlineSize(tiff));
    if (line_.size() < samples_.size() * bits / 8) {
      ImageFailure(path_, "TIFF scanline size is inconsistent");
    }
  }

  // The whole page through libtiff's RGBA reader: four bytes a pixel for
  // its raster and six for the composited RGB page, both held at once.
  Image ReadThroughRgba(uint64_t memoryBudget) {
    TIFF *tiff = tiff_.get();
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tiff, message)) {
      ImageFailure(path_, std::string("unsupported TIFF: ") + message);
    }
    const uint64_t pixels = static_cast<uint64_t>(width_) * height_;
    CheckWholeDecode(path_, TIFFIsTiled(tiff) ? "tiled TIFF" : "TIFF layout", pixels * 10,
                     memoryBudget);
    std::vector<uint32_t> raster(pixels);
    if (!TIFFReadRGBAImageOriented(tiff, width_, height_, raster.data(), ORIENTATION_TOPLEFT, 1)) {
      ImageFailure(path_, "corrupt or truncated TIFF");
    }
    // The RGBA reader hands back associated (premultiplied) alpha; each row
    // is composited on white as it is widened to 16 bits.
    Image image;
    image.width = width_;
    image.height = height_;
    image.channels = 3;
    image.samples.resize(pixels * 3);
    std::vector<uint16_t> row(static_cast<size_t>(width_) * 4);
    for (uint32_t y = 0; y < height_; ++y) {
      const uint32_t *in = raster.data() + static_cast<size_t>(y) * width_;
      for (uint32_t x = 0; x < width_; ++x) {
        row[4 * x] = static_cast<uint16_t>(TIFFGetR(in[x]) * 257);
        row[4 * x + 1] = static_cast<uint16_t>(TIFFGetG(in[x]) * 257);
        row[4 * x + 2] = static_cast<uint16_t>(TIFFGetB(in[x]) * 257);
        row[4 * x + 3] = static_cast<uint16_t>(TIFFGetA(in[x]) * 257);
      }
      CompositeRow(row.data(), width_, 4, true, image.samples.data() + static_cast<size_t>(y) * width_ * 3);
    }
    return image;
  }

  std::filesystem::path path_;
  TiffFile tiff_;
  std::unique_ptr<MemoryRows> whole_;
  uint32_t bits_ = 8, rawChannels_ = 1, next_ = 0;
  bool premultiplied_ = false, minIsWhite_ = false, cmyk_ = false;
  std::vector<uint8_t> line_;
  std::vector<uint16_t> samples_;
};

}  // namespace

bool IsTiff(std::span<const uint8_t> head) {
  // "II" and 42 little-endian, or "MM" and 42 big-endian.
  return head.size() >= 4 && ((head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0) ||
                              (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 42));
}

uint32_t CountTiffPages(const std::filesystem::path &path) {
  TiffFile tiff(path, "r");
  OpenOrFail(tiff, path);
  return TIFFNumberOfDirectories(tiff.get());
}

std::unique_ptr<ImageRows> OpenTiffPage(const std::filesystem::path &path, uint32_t page,
                                        uint64_t memoryBudget) {
  return std::make_unique<TiffRows>(path, page, memoryBudget);
}

}  // namespace inkdot::host::detail
