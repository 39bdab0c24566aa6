/* SPDX-License-Identifier: Apache-2.0 */
// Authoring of printer profiles: every resource a profile needs, generated
// from a colour separation, and the test chart that shows what a profile
// prints.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace inkdot::profile {

enum class Intent;

struct BuildOptions {
  std::filesystem::path icc;  // a CMYK output profile; empty = built-in separation
  Intent intent{};            // gamut mapping of the characterised tables (perceptual)
  // CGATS measurements of a real printer (CMYK and LAB or XYZ); the profile's
  // printer is then the model fitted to them. Empty = the default printer.
  std::filesystem::path measurements;
  bool blackPointCompensation = true;  // for --icc: Little CMS's black-point compensation
};

// Writes a complete profile folder (profile.json and its resources) to
// `dir`. Throws std::runtime_error with a message naming what failed.
void BuildProfile(const std::filesystem::path &dir, const BuildOptions &options);

// An 8-bit RGB image, rows top to bottom, pixels left to right.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};

// The test chart: grey and colour ramps, saturated patches, skin tones,
// fine lines and a smooth photographic-like region.
RgbImage MakeTestChart(int width, int height);

}  // namespace inkdot::profile
