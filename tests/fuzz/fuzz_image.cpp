// SPDX-License-Identifier: Apache-2.0
// One image reader (chosen at build time: PNG, TIFF, PNM or JPEG) over arbitrary
// file bytes, and the device page its own resolution asks for. Every
// failure must arrive as an ImageError, or a SettingError for a page beyond
// the limits.
#include <cstdint>
#include <memory>
#include <vector>

#include "image_readers.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/limits.h"
#include "temp_file.h"

namespace {

void ReadRows(std::unique_ptr<inkdot::host::ImageRows> rows) {
  try {
    inkdot::host::DevicePageSize("fuzzed", rows->width(), rows->height(), rows->xDpi(),
                                 rows->yDpi(), 1440, 720);
  } catch (const inkdot::host::SettingError &) {
  }
  std::vector<uint16_t> row(static_cast<size_t>(rows->width()) * rows->channels());
  for (uint32_t y = 0; y < rows->height(); ++y) rows->ReadRow(row.data());
}

void ReadAllPages(const std::filesystem::path &path) {
  using namespace inkdot::host::detail;
#if defined(INKDOT_FUZZ_PNG)
  ReadRows(OpenPng(path));
#elif defined(INKDOT_FUZZ_TIFF)
  const uint32_t pages = CountTiffPages(path);
  for (uint32_t page = 0; page < pages && page < 4; ++page) {
    try {
      ReadRows(OpenTiffPage(path, page));
    } catch (const inkdot::host::ImageError &) {
      // Each page fails on its own; the next may still read.
    }
  }
#elif defined(INKDOT_FUZZ_PNM)
  ReadRows(OpenPnm(path));
#elif defined(INKDOT_FUZZ_JPEG)
  ReadRows(OpenJpeg(path));
#else
#error "choose a reader"
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const inkdot::fuzz::TempFile file("image");
  file.Write(data, size);
  try {
    ReadAllPages(file.path());
  } catch (const inkdot::host::ImageError &) {
  }
  return 0;
}
