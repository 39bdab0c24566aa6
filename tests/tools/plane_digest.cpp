// SPDX-License-Identifier: Apache-2.0
// Prints what a dot-plane TIFF decodes to, one line per plane: size, depth,
// resolution, ink and a 64-bit FNV-1a digest of the plane's bytes. Two
// files print the same lines when they hold the same planes, whatever
// their compression. Used by scripts/compare-outputs.sh.
#include <cstdio>
#include <exception>

#include "inkdot/host/dot_page.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: plane_digest FILE.tif\n");
    return 2;
  }
  try {
    const inkdot::host::DotPage page = inkdot::host::ReadDotPageTiff(argv[1]);
    for (size_t k = 0; k < page.planes.size(); ++k) {
      uint64_t digest = 14695981039346656037ull;
      for (uint8_t byte : page.planes[k]) digest = (digest ^ byte) * 1099511628211ull;
      const auto &ink = page.inks[k];
      std::printf("%ux%u %u bit %ux%u dpi %s #%02X%02X%02X %016llx\n", page.width, page.height,
                  page.bitsPerPixel, page.xDpi, page.yDpi, ink.name.c_str(), ink.colour[0],
                  ink.colour[1], ink.colour[2], static_cast<unsigned long long>(digest));
    }
  } catch (const std::exception &error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
