/* SPDX-License-Identifier: Apache-2.0 */
// Internal: the per-format row readers behind OpenImagePage and
// ReadImagePage, and the table they register in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "inkdot/host/image.h"

namespace inkdot::host::detail {

// Composites alpha on white for one row: `in` holds `width` pixels of
// `channels` samples (2 and 4 carry alpha last), `out` gets the colours
// alone. Without alpha the samples are copied.
void CompositeRow(const uint16_t *in, uint32_t width, uint32_t channels, bool premultiplied,
                  uint16_t *out);

[[noreturn]] void ImageFailure(const std::filesystem::path &path, const std::string &problem);

// The largest page the readers take: 2^27 pixels (an A3 page at 720 dpi is
// 100 million), 2^17 a side (so that one row stays within a megabyte).
// Checked when a page is opened, before anything is allocated, so that a
// few bytes of header cannot ask for gigabytes or hours of work.
inline constexpr uint64_t kMaxImagePixels = 1ull << 27;
inline constexpr uint64_t kMaxImageSide = 1ull << 17;

// A resolution from a file's metadata, snapped to the nearest whole dpi when
// it lies within half a pixel-per-metre step (0.0127 dpi) of it: files that
// count pixels per metre (PNG) or per centimetre (TIFF) cannot hold 150 dpi
// exactly, and 5906 px/m must still print 150-dpi pages to the dot. Other
// values, and 0 (not given), are kept.
double WholeDpiWhenClose(double dpi);

// Refuses a page of no pixels, of more than kMaxImagePixels or of a side
// above kMaxImageSide.
void CheckImageSize(const std::filesystem::path &path, uint64_t width, uint64_t height);

// Refuses to decode a page whole in `bytes` of memory above `budget`,
// naming the layout that needs it ("interlaced PNG").
void CheckWholeDecode(const std::filesystem::path &path, const char *layout, uint64_t bytes,
                      uint64_t budget);

// The reason the file at `path` cannot be opened for reading, in plain
// words, from errno after a failed open ("permission denied", "is a
// directory").
std::string OpenFailure(const std::filesystem::path &path);

// Hands out the rows of a whole image held in memory, owned or borrowed.
class MemoryRows : public ImageRows {
 public:
  explicit MemoryRows(Image image);
  explicit MemoryRows(const Image *image);
  void ReadRow(uint16_t *out) override;

 private:
  void Adopt();
  Image owned_;
  const Image *image_;
  uint32_t next_ = 0;
};

// One image format: whether a file's first bytes (up to 8) are of it, how
// many pages a file holds, and a reader of one page. Adding a format is one
// row of kImageFormats (image.cpp) and a reader file.
struct ImageFormat {
  const char *names;  // as the refusal of an unknown file lists them
  bool (*sniff)(std::span<const uint8_t> head);
  uint32_t (*pages)(const std::filesystem::path &path);
  std::unique_ptr<ImageRows> (*open)(const std::filesystem::path &path, uint32_t page,
                                     uint64_t memoryBudget);
};

bool IsPng(std::span<const uint8_t> head);
bool IsTiff(std::span<const uint8_t> head);
bool IsJpeg(std::span<const uint8_t> head);
bool IsPnm(std::span<const uint8_t> head);

std::unique_ptr<ImageRows> OpenPng(const std::filesystem::path &path,
                                   uint64_t memoryBudget = kDefaultMemoryBudget);
std::unique_ptr<ImageRows> OpenPnm(const std::filesystem::path &path);
std::unique_ptr<ImageRows> OpenJpeg(const std::filesystem::path &path,
                                    uint64_t memoryBudget = kDefaultMemoryBudget);

// Wraps a format reader (grey, RGB, or 4 = CMYK ink amounts) so that its
// rows come out in sRGB (grey: sRGB's tone curve) through the image's
// profile or `input`'s. Untagged grey and RGB pass untouched; CMYK without
// a profile is refused.
std::unique_ptr<ImageRows> ManageColour(std::unique_ptr<ImageRows> rows,
                                        const std::filesystem::path &path,
                                        const ColourInput &input);
uint32_t CountTiffPages(const std::filesystem::path &path);
std::unique_ptr<ImageRows> OpenTiffPage(const std::filesystem::path &path, uint32_t page,
                                        uint64_t memoryBudget = kDefaultMemoryBudget);

}  // namespace inkdot::host::detail
