// Colour separation of the virtual four-ink printer: 8-bit RGB to ink
// amounts for cyan, magenta, yellow and black.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace inkdot::profile {

// Ink amounts 0..1 in plane order (cyan, magenta, yellow, black): the share
// of the paper that each ink covers.
using InkAmounts = std::array<double, 4>;

// Amounts before black generation: how much cyan, magenta and yellow alone
// would be needed for the colour.
using ProcessAmounts = std::array<double, 3>;

// Total ink limit (sum of the four amounts) and black generation.
constexpr double kTotalInkLimit = 2.3;
constexpr double kBlackStart = 0.25;     // grey component at which black starts in colours
constexpr double kBlackMax = 0.95;       // black for a full grey component in colours
constexpr double kNeutralChroma = 0.3;   // below this spread of C, M, Y a colour counts as near-grey

// Black generation for colourful tones: the black amount for a grey
// component g (0..1). Light colours stay free of black dots.
double BlackForGrey(double g);

// Replaces the grey component of a CMY colour by black: all of it for a
// neutral colour (greys print with black only, matching the black-only grey
// axis), BlackForGrey of it for colourful ones, blended smoothly by chroma.
// Then keeps the sum of the four amounts within kTotalInkLimit (cyan,
// magenta and yellow give way; black is kept).
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
