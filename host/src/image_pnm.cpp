// SPDX-License-Identifier: Apache-2.0
// Binary PGM (P5) and PPM (P6), maxval up to 65535 (two bytes, big-endian,
// above 255), read row by row.
#include <fstream>

#include "image_readers.h"

namespace inkdot::host::detail {

namespace {

class HeaderReader {
 public:
  HeaderReader(std::istream &in, const std::filesystem::path &path) : in_(in), path_(path) {
    in_.seekg(2);  // past the magic
  }

  uint32_t Number(const char *what) {
    SkipSpaceAndComments();
    uint64_t value = 0;
    bool any = false;
    while (in_.peek() >= '0' && in_.peek() <= '9') {
      value = value * 10 + (in_.get() - '0');
      any = true;
      if (value > 0xFFFFFFFFull) ImageFailure(path_, std::string(what) + " is too large");
    }
    if (!any) ImageFailure(path_, std::string("PNM header: ") + what + " is missing");
    return static_cast<uint32_t>(value);
  }

  // Exactly one whitespace byte separates the header from the samples.
  void SkipToData() {
    if (in_.get() == std::char_traits<char>::eof()) {
      ImageFailure(path_, "PNM header: the file ends in the header");
    }
  }

 private:
  void SkipSpaceAndComments() {
    for (;;) {
      const int c = in_.peek();
      if (c == '#') {
        while (in_.peek() != std::char_traits<char>::eof() && in_.get() != '\n') {
        }
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        in_.get();
      } else {
        break;
      }
    }
  }

  std::istream &in_;
  const std::filesystem::path &path_;
};

class PnmRows : public ImageRows {
 public:
  explicit PnmRows(const std::filesystem::path &path) : path_(path), in_(path, std::ios::binary) {
    if (!in_) ImageFailure(path, OpenFailure(path));
    char magic[2] = {};
    in_.read(magic, 2);
    // Checked here too, not only by the caller that sniffed the format.
    if (!in_ || magic[0] != 'P' || (magic[1] != '5' && magic[1] != '6')) {
      ImageFailure(path, "not a binary PGM or PPM (P5 or P6)");
    }
    channels_ = magic[1] == '5' ? 1 : 3;
    HeaderReader header(in_, path);
    width_ = header.Number("width");
    height_ = header.Number("height");
    maxValue_ = header.Number("maxval");
    CheckImageSize(path, width_, height_);
    if (maxValue_ == 0 || maxValue_ > 65535) ImageFailure(path, "PNM maxval must lie in 1..65535");
    header.SkipToData();
    const uint64_t start = static_cast<uint64_t>(in_.tellg());
    const uint32_t sampleBytes = maxValue_ > 255 ? 2 : 1;
    const uint64_t count = static_cast<uint64_t>(width_) * height_ * channels_;
    // The size is checked now so that a short file fails before any row.
    std::error_code error;
    const uint64_t size = std::filesystem::file_size(path, error);
    if (error || size < start || (size - start) / sampleBytes < count) {
      ImageFailure(path, "PNM image is truncated: " + std::to_string(count) +
                             " samples expected, the file ends early");
    }
    bytes_.resize(static_cast<size_t>(width_) * channels_ * sampleBytes);
  }

  void ReadRow(uint16_t *out) override {
    if (!in_.read(reinterpret_cast<char *>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()))) {
      ImageFailure(path_, "PNM image is truncated: the file ends early");
    }
    const size_t count = static_cast<size_t>(width_) * channels_;
    const bool wide = maxValue_ > 255;
    for (size_t i = 0; i < count; ++i) {
      const uint32_t value = wide ? (bytes_[2 * i] << 8) | bytes_[2 * i + 1] : bytes_[i];
      if (value > maxValue_) ImageFailure(path_, "PNM sample above maxval");
      out[i] = static_cast<uint16_t>((value * 65535u + maxValue_ / 2) / maxValue_);
    }
  }

 private:
  std::filesystem::path path_;
  std::ifstream in_;
  uint32_t maxValue_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace

bool IsPnm(std::span<const uint8_t> head) {
  // Binary PGM (P5) and PPM (P6).
  return head.size() >= 2 && head[0] == 'P' && (head[1] == '5' || head[1] == '6');
}

std::unique_ptr<ImageRows> OpenPnm(const std::filesystem::path &path) {
  return std::make_unique<PnmRows>(path);
}

}  // namespace inkdot::host::detail
