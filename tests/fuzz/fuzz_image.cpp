// One image reader (chosen at build time: PNG, TIFF or PNM) over arbitrary
// file bytes. Every failure must arrive as an ImageError.
#include <cstdint>

#include "image_readers.h"
#include "inkdot/host/errors.h"
#include "temp_file.h"

namespace {

void ReadAllPages(const std::filesystem::path &path) {
  using namespace inkdot::host::detail;
#if defined(INKDOT_FUZZ_PNG)
  ReadPng(path);
#elif defined(INKDOT_FUZZ_TIFF)
  const uint32_t pages = CountTiffPages(path);
  for (uint32_t page = 0; page < pages && page < 4; ++page) {
    try {
      ReadTiffPage(path, page);
    } catch (const inkdot::host::ImageError &) {
      // Each page fails on its own; the next may still read.
    }
  }
#elif defined(INKDOT_FUZZ_PNM)
  ReadPnm(path);
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
