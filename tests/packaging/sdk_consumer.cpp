// SPDX-License-Identifier: Apache-2.0
// A host program built against the installed SDK: loads the installed
// default profile, halftones a small gradient and prints a digest of the
// planes, which must not depend on how the program was linked.
#include <cstdio>
#include <exception>

#include "inkdot/host/print_job.h"
#include "inkdot/host/profile.h"
#include "inkdot/inkdot.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sdk_consumer PROFILE_DIR\n");
    return 2;
  }
  try {
    const inkdot::host::Profile profile = inkdot::host::LoadProfile(argv[1]);
    inkdot::host::Image image;
    image.width = 96;
    image.height = 24;
    image.channels = 3;
    for (uint32_t y = 0; y < image.height; ++y) {
      for (uint32_t x = 0; x < image.width; ++x) {
        image.samples.push_back(static_cast<uint16_t>(x * 680));
        image.samples.push_back(static_cast<uint16_t>(y * 2700));
        image.samples.push_back(static_cast<uint16_t>((x + y) * 500));
      }
    }
    inkdot::host::PrintSettings settings;  // variable dots, diffusion, 1440x720
    const inkdot::host::DotPage page = inkdot::host::PrintImage(profile, settings, image);
    uint32_t hash = 2166136261u;  // FNV-1a over every plane
    unsigned long dots = 0;
    for (const auto &plane : page.planes) {
      for (uint8_t byte : plane) {
        hash = (hash ^ byte) * 16777619u;
        dots += byte != 0;
      }
    }
    std::printf("%ux%u, %zu planes, %lu non-zero bytes, digest %08x, %s\n", page.width,
                page.height, page.planes.size(), dots, hash, InkdotResultText(INKDOT_OK));
    return dots > 0 ? 0 : 1;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "sdk_consumer: %s\n", e.what());
    return 1;
  }
}
