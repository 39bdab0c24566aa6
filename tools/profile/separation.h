// Colour separation of the virtual four-ink printer: 8-bit RGB to ink
// amounts for cyan, magenta, yellow and black.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace inkdot::profile {

// Ink amounts 0..1 in plane order (cyan, magenta, yellow, black). An amount
// is the share of the paper that the ink darkens: the inks are treated as
// ideal filters whose dots combine multiplicatively.
using InkAmounts = std::array<double, 4>;

// Amounts before black generation: how much cyan, magenta and yellow alone
// would be needed for the colour.
using ProcessAmounts = std::array<double, 3>;

// Total ink limit (sum of the four amounts) and black generation.
constexpr double kTotalInkLimit = 2.8;
constexpr double kBlackStart = 0.25;  // grey component at which black starts
constexpr double kBlackMax = 0.95;    // black amount for full grey component

// Black generation: the black amount for a grey component g (0..1).
double BlackForGrey(double g);

// Replaces the grey component of a CMY colour by black and keeps the sum of
// the four amounts within kTotalInkLimit (cyan, magenta and yellow give way;
// black is kept).
InkAmounts SeparateProcess(const ProcessAmounts &cmy);

// The built-in separation: the complement of each RGB channel, then
// SeparateProcess.
InkAmounts SeparateRgb(uint8_t r, uint8_t g, uint8_t b);

// The black-only amount that matches a neutral grey of value v.
double BlackOnlyForGrey(uint8_t v);

// Maps a whole set of RGB nodes at once (node list given as r, g, b byte
// triplets) to process amounts.
using ProcessSource = std::function<std::vector<ProcessAmounts>(const std::vector<uint8_t> &rgb)>;

// The built-in source: 1 - value / 255 per channel.
std::vector<ProcessAmounts> BuiltInProcessAmounts(const std::vector<uint8_t> &rgb);

// A source through an ICC output profile (CMYK): sRGB to the profile's CMYK
// by perceptual intent, with the profile's black folded back into cyan,
// magenta and yellow so that this printer's own black generation and ink
// limit apply. Throws std::runtime_error naming the file when it cannot be
// used.
ProcessSource IccProcessSource(const std::filesystem::path &icc);

}  // namespace inkdot::profile
