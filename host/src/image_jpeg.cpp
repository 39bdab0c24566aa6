// SPDX-License-Identifier: Apache-2.0
// JPEG in through libjpeg-turbo: grey, YCbCr/RGB and CMYK/YCCK (Adobe's
// inverted CMYK included), baseline or progressive, with the ICC profile of
// its APP2 markers. Read scanline by
// scanline; only an EXIF orientation that needs rows out of order (every
// one but 1 and 2) has the image decoded whole first. The resolution comes
// from EXIF when it gives one, else from the JFIF header, and follows the
// orientation. libjpeg reports errors by longjmp, as libpng does: what must
// survive the jump lives on the heap.
#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "exif.h"
#include "image_readers.h"

namespace inkdot::host::detail {

namespace {

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = "unknown libjpeg error";
};

void JpegFail(j_common_ptr info) {
  auto *error = reinterpret_cast<JpegError *>(info->err);
  (*info->err->format_message)(info, error->message);
  std::longjmp(error->jump, 1);
}

void JpegQuiet(j_common_ptr, int) {}

struct FileCloser {
  void operator()(FILE *f) const { std::fclose(f); }
};

// Where display pixel (x, y) lies in the stored image, for EXIF orientation
// 1..8 (W, H: the stored size).
void StoredPosition(uint32_t orientation, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                    uint32_t *sx, uint32_t *sy) {
  switch (orientation) {
    case 2: *sx = w - 1 - x; *sy = y; break;
    case 3: *sx = w - 1 - x; *sy = h - 1 - y; break;
    case 4: *sx = x; *sy = h - 1 - y; break;
    case 5: *sx = y; *sy = x; break;
    case 6: *sx = y; *sy = h - 1 - x; break;
    case 7: *sx = w - 1 - y; *sy = h - 1 - x; break;
    case 8: *sx = w - 1 - y; *sy = x; break;
    default: *sx = x; *sy = y; break;
  }
}

class JpegRows : public ImageRows {
 public:
  JpegRows(const std::filesystem::path &path, uint64_t memoryBudget)
      : path_(path), file_(std::fopen(path.c_str(), "rb")), error_(std::make_unique<JpegError>()) {
    if (!file_) ImageFailure(path, OpenFailure(path));
    info_.err = jpeg_std_error(&error_->manager);
    error_->manager.error_exit = JpegFail;
    error_->manager.emit_message = JpegQuiet;
    if (setjmp(error_->jump)) Corrupt();
    jpeg_create_decompress(&info_);
    jpeg_.created = true;
    jpeg_stdio_src(&info_, file_.get());
    jpeg_save_markers(&info_, JPEG_APP0 + 1, 0xFFFF);  // EXIF
    jpeg_save_markers(&info_, JPEG_APP0 + 2, 0xFFFF);  // ICC profile
    jpeg_read_header(&info_, TRUE);
    CheckImageSize(path, info_.image_width, info_.image_height);
    switch (info_.jpeg_color_space) {
      case JCS_GRAYSCALE: info_.out_color_space = JCS_GRAYSCALE; break;
      case JCS_CMYK:
      case JCS_YCCK: info_.out_color_space = JCS_CMYK; break;
      default: info_.out_color_space = JCS_RGB; break;
    }
    ReadMetadata();
    jpeg_start_decompress(&info_);
    stored_ = {info_.output_width, info_.output_height};
    rawChannels_ = static_cast<uint32_t>(info_.output_components);
    channels_ = rawChannels_;  // CMYK: ink amounts, for the colour conversion
    const bool sideways = orientation_ >= 5;
    width_ = sideways ? stored_.height : stored_.width;
    height_ = sideways ? stored_.width : stored_.height;
    line_.resize(static_cast<size_t>(stored_.width) * rawChannels_);
    if (orientation_ > 2) {
      CheckWholeDecode(path, "rotated JPEG", static_cast<uint64_t>(line_.size()) * stored_.height,
                       memoryBudget);
      whole_.resize(line_.size() * stored_.height);
      for (uint32_t y = 0; y < stored_.height; ++y) ReadScanline(whole_.data() + y * line_.size());
    }
  }

  void ReadRow(uint16_t *out) override {
    const uint32_t y = std::min(next_++, height_ - 1);
    if (orientation_ <= 2) {
      if (y < stored_.height && read_ <= y) ReadScanline(line_.data());
      for (uint32_t x = 0; x < width_; ++x) {
        const uint32_t sx = orientation_ == 2 ? width_ - 1 - x : x;
        Convert(line_.data() + static_cast<size_t>(sx) * rawChannels_, out + x * channels_);
      }
      return;
    }
    for (uint32_t x = 0; x < width_; ++x) {
      uint32_t sx, sy;
      StoredPosition(orientation_, x, y, stored_.width, stored_.height, &sx, &sy);
      Convert(whole_.data() + (static_cast<size_t>(sy) * stored_.width + sx) * rawChannels_,
              out + x * channels_);
    }
  }

  uint32_t orientation() const { return orientation_; }

 private:
  struct Size {
    uint32_t width = 0, height = 0;
  };

  [[noreturn]] void Corrupt() {
    ImageFailure(path_, std::string("corrupt or truncated JPEG: ") + error_->message);
  }

  void ReadScanline(uint8_t *into) {
    if (setjmp(error_->jump)) Corrupt();
    JSAMPROW row = into;
    if (jpeg_read_scanlines(&info_, &row, 1) != 1) {
      std::snprintf(error_->message, sizeof error_->message, "the data ends early");
      Corrupt();
    }
    // The file's end is checked with its last row, as for PNG.
    if (++read_ == stored_.height) jpeg_finish_decompress(&info_);
  }

  // One pixel to 16 bits a sample. CMYK comes out as ink amounts (0 = no
  // ink): Adobe's CMYK JPEGs store 255 for no ink, plain ones 0.
  void Convert(const uint8_t *in, uint16_t *out) const {
    const bool inverted = rawChannels_ == 4 && info_.saw_Adobe_marker;
    for (uint32_t c = 0; c < rawChannels_; ++c) {
      out[c] = static_cast<uint16_t>((inverted ? 255 - in[c] : in[c]) * 257);
    }
  }

  void ReadMetadata() {
    double xDpi = 0, yDpi = 0;
    if (info_.saw_JFIF_marker && info_.X_density > 0 && info_.Y_density > 0) {
      const double scale = info_.density_unit == 1 ? 1.0 : info_.density_unit == 2 ? 2.54 : 0.0;
      xDpi = info_.X_density * scale;
      yDpi = info_.Y_density * scale;
    }
    for (jpeg_saved_marker_ptr m = info_.marker_list; m; m = m->next) {
      if (m->marker != JPEG_APP0 + 1) continue;
      const ExifFacts exif = ReadExif(m->data, m->data_length);
      if (exif.orientation >= 1 && exif.orientation <= 8) orientation_ = exif.orientation;
      if (exif.xDpi > 0 && exif.yDpi > 0) {
        xDpi = exif.xDpi;
        yDpi = exif.yDpi;
      }
      break;
    }
    if (orientation_ >= 5) std::swap(xDpi, yDpi);
    JOCTET *icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(&info_, &icc, &iccLength) && icc) {
      colour_.icc.assign(icc, icc + iccLength);
      std::free(icc);
    }
    xDpi_ = WholeDpiWhenClose(xDpi);
    yDpi_ = WholeDpiWhenClose(yDpi);
  }

  std::filesystem::path path_;
  std::unique_ptr<FILE, FileCloser> file_;
  std::unique_ptr<JpegError> error_;
  // Released before error_, and also when the constructor throws.
  struct Decompressor {
    jpeg_decompress_struct info{};
    bool created = false;
    ~Decompressor() {
      if (created) jpeg_destroy_decompress(&info);
    }
  } jpeg_;
  jpeg_decompress_struct &info_ = jpeg_.info;
  Size stored_;
  uint32_t rawChannels_ = 0, orientation_ = 1, next_ = 0, read_ = 0;
  std::vector<uint8_t> line_, whole_;
};

}  // namespace

bool IsJpeg(std::span<const uint8_t> head) {
  // The start-of-image marker and the first byte of the next marker.
  return head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

std::unique_ptr<ImageRows> OpenJpeg(const std::filesystem::path &path, uint64_t memoryBudget) {
  return std::make_unique<JpegRows>(path, memoryBudget);
}

}  // namespace inkdot::host::detail
