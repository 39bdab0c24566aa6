// Binary PGM (P5) and PPM (P6), maxval up to 65535 (two bytes, big-endian,
// above 255).
#include <fstream>
#include <iterator>

#include "image_readers.h"

namespace inkdot::host::detail {

namespace {

class HeaderReader {
 public:
  HeaderReader(const std::vector<uint8_t> &bytes, const std::filesystem::path &path)
      : bytes_(bytes), path_(path) {}

  uint32_t Number(const char *what) {
    SkipSpaceAndComments();
    uint64_t value = 0;
    size_t start = pos_;
    while (pos_ < bytes_.size() && bytes_[pos_] >= '0' && bytes_[pos_] <= '9') {
      value = value * 10 + (bytes_[pos_++] - '0');
      if (value > 0xFFFFFFFFull) ImageFailure(path_, std::string(what) + " is too large");
    }
    if (pos_ == start) ImageFailure(path_, std::string("PNM header: ") + what + " is missing");
    return static_cast<uint32_t>(value);
  }

  // Exactly one whitespace byte separates the header from the samples.
  size_t DataStart() {
    if (pos_ >= bytes_.size()) ImageFailure(path_, "PNM header: the file ends in the header");
    return pos_ + 1;
  }

 private:
  void SkipSpaceAndComments() {
    while (pos_ < bytes_.size()) {
      uint8_t c = bytes_[pos_];
      if (c == '#') {
        while (pos_ < bytes_.size() && bytes_[pos_] != '\n') ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        ++pos_;
      } else {
        break;
      }
    }
  }

  const std::vector<uint8_t> &bytes_;
  const std::filesystem::path &path_;
  size_t pos_ = 2;
};

}  // namespace

Image ReadPnm(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ImageFailure(path, "cannot open the file");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  // Checked here too, not only by the caller that sniffed the format.
  if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6')) {
    ImageFailure(path, "not a binary PGM or PPM (P5 or P6)");
  }
  const uint32_t channels = bytes[1] == '5' ? 1 : 3;
  HeaderReader header(bytes, path);
  const uint32_t width = header.Number("width");
  const uint32_t height = header.Number("height");
  const uint32_t maxValue = header.Number("maxval");
  CheckImageSize(path, width, height);
  if (maxValue == 0 || maxValue > 65535) ImageFailure(path, "PNM maxval must lie in 1..65535");
  const size_t start = header.DataStart();
  const uint32_t sampleBytes = maxValue > 255 ? 2 : 1;
  const uint64_t count = static_cast<uint64_t>(width) * height * channels;
  if (count > (1ull << 32)) ImageFailure(path, "PNM image is too large");
  if (bytes.size() < start || (bytes.size() - start) / sampleBytes < count) {
    ImageFailure(path, "PNM image is truncated: " + std::to_string(count) +
                           " samples expected, the file ends early");
  }
  std::vector<uint16_t> samples(count);
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t value = sampleBytes == 2
                         ? (bytes[start + 2 * i] << 8) | bytes[start + 2 * i + 1]
                         : bytes[start + i];
    if (value > maxValue) ImageFailure(path, "PNM sample above maxval");
    samples[i] = static_cast<uint16_t>((value * 65535u + maxValue / 2) / maxValue);
  }
  return FinishImage(width, height, channels, std::move(samples), false);
}

}  // namespace inkdot::host::detail
