// Internal: the per-format readers behind ReadImagePage.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "inkdot/host/image.h"

namespace inkdot::host::detail {

// Samples already scaled to 0..65535; `channels` 1..4 (2 and 4 carry alpha
// last). Composites alpha on white and returns a grey or RGB image.
Image FinishImage(uint32_t width, uint32_t height, uint32_t channels,
                  std::vector<uint16_t> samples, bool premultiplied);

[[noreturn]] void ImageFailure(const std::filesystem::path &path, const std::string &problem);

// The largest page the readers take: 2^27 pixels (an A3 page at 720 dpi is
// 100 million). Checked before anything is allocated, so that a few bytes
// of header cannot ask for gigabytes.
inline constexpr uint64_t kMaxImagePixels = 1ull << 27;

// Refuses a page of no pixels or of more than kMaxImagePixels.
void CheckImageSize(const std::filesystem::path &path, uint64_t width, uint64_t height);

Image ReadPng(const std::filesystem::path &path);
Image ReadPnm(const std::filesystem::path &path);
uint32_t CountTiffPages(const std::filesystem::path &path);
Image ReadTiffPage(const std::filesystem::path &path, uint32_t page);

}  // namespace inkdot::host::detail
