/* SPDX-License-Identifier: Apache-2.0 */
// A CMYK output ICC profile as the source of a profile's colour: its CMYK
// for sRGB colours, and the colours it says its printer prints.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "measurements.h"

namespace inkdot::profile {

// sRGB bytes (r, g, b triplets) to the CMYK (0..1) of a CMYK output ICC
// profile, as the profile gives it, by perceptual or relative colorimetric
// intent, with or without black-point compensation. Throws
// std::runtime_error naming the file when it cannot be used.
std::vector<std::array<double, 4>> IccCmyk(const std::filesystem::path &icc,
                                           const std::vector<uint8_t> &rgb,
                                           bool perceptual,
                                           bool blackPointCompensation);

// The colours (CIELAB D50, relative colorimetric) the ICC profile gives
// for ink amounts: the printer it describes, "measured" through it.
std::vector<Measurement> IccMeasurements(
    const std::filesystem::path &icc,
    const std::vector<std::array<double, 4>> &patches);

}  // namespace inkdot::profile
