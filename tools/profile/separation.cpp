#include "separation.h"

#include <algorithm>
#include <cmath>

namespace inkdot::profile {

double BlackForGrey(double g) {
  if (g <= kBlackStart) return 0.0;
  const double t = std::min(1.0, (g - kBlackStart) / (1.0 - kBlackStart));
  // t^1.5 starts with zero slope, so black fades in without a visible edge.
  return kBlackMax * t * std::sqrt(t);
}

InkAmounts SeparateProcess(const ProcessAmounts &cmy) {
  ProcessAmounts in;
  for (int i = 0; i < 3; ++i) in[i] = std::clamp(cmy[i], 0.0, 1.0);
  const double grey = std::min({in[0], in[1], in[2]});
  const double chroma = std::max({in[0], in[1], in[2]}) - grey;
  const double t = std::min(1.0, chroma / kNeutralChroma);
  const double colourful = t * t * (3 - 2 * t);  // smoothstep: no edge where the blend ends
  const double black = grey + (BlackForGrey(grey) - grey) * colourful;
  InkAmounts out{};
  for (int i = 0; i < 3; ++i) out[i] = in[i] - black;  // black <= grey <= in[i]
  out[3] = black;
  const double colour = out[0] + out[1] + out[2];
  if (colour + black > kTotalInkLimit && colour > 0) {
    const double scale = (kTotalInkLimit - black) / colour;
    for (int i = 0; i < 3; ++i) out[i] *= scale;
  }
  return out;
}

InkAmounts SeparateRgb(uint8_t r, uint8_t g, uint8_t b) {
  return SeparateProcess({1.0 - r / 255.0, 1.0 - g / 255.0, 1.0 - b / 255.0});
}

double BlackOnlyForGrey(uint8_t v) { return 1.0 - v / 255.0; }

std::vector<ProcessAmounts> BuiltInProcessAmounts(const std::vector<uint8_t> &rgb) {
  std::vector<ProcessAmounts> out(rgb.size() / 3);
  for (size_t n = 0; n < out.size(); ++n) {
    for (int i = 0; i < 3; ++i) out[n][i] = 1.0 - rgb[3 * n + i] / 255.0;
  }
  return out;
}

}  // namespace inkdot::profile
