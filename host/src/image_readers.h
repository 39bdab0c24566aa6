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

Image ReadPng(const std::filesystem::path &path);
Image ReadPnm(const std::filesystem::path &path);
uint32_t CountTiffPages(const std::filesystem::path &path);
Image ReadTiffPage(const std::filesystem::path &path, uint32_t page);

}  // namespace inkdot::host::detail
