// SPDX-License-Identifier: Apache-2.0
// Writes the bundled default profile into the folder named on the command
// line; run by the build.
#include <cstdio>
#include <exception>

#include "profile_builder.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  try {
    inkdot::profile::BuildProfile(argv[1], {});
  } catch (const std::exception &e) {
    std::fprintf(stderr, "make_default_profile: %s\n", e.what());
    return 1;
  }
  return 0;
}
