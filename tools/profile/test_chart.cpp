// SPDX-License-Identifier: Apache-2.0
// The test chart: bands from top to bottom, each a share of the height.
#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

#include "profile_builder.h"

namespace inkdot::profile {
namespace {

using Rgb = std::array<uint8_t, 3>;

class Canvas {
 public:
  Canvas(int width, int height) : image_{width, height, std::vector<uint8_t>(size_t(width) * height * 3, 255)} {}

  void Set(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= image_.width || y >= image_.height) return;
    const size_t at = (size_t(y) * image_.width + x) * 3;
    image_.rgb[at] = c[0];
    image_.rgb[at + 1] = c[1];
    image_.rgb[at + 2] = c[2];
  }

  template <class Paint>
  void Fill(int x0, int y0, int x1, int y1, Paint paint) {
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) Set(x, y, paint(x, y));
    }
  }

  RgbImage Take() { return std::move(image_); }

 private:
  RgbImage image_;
};

uint8_t Byte(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

Rgb Mix(Rgb a, Rgb b, double t) {
  Rgb out;
  for (int i = 0; i < 3; ++i) out[i] = Byte(((1 - t) * a[i] + t * b[i]) / 255.0);
  return out;
}

// Hue h (0..1) at full saturation and value.
Rgb Hue(double h) {
  const double r = std::clamp(std::fabs(h * 6 - 3) - 1, 0.0, 1.0);
  const double g = std::clamp(2 - std::fabs(h * 6 - 2), 0.0, 1.0);
  const double b = std::clamp(2 - std::fabs(h * 6 - 4), 0.0, 1.0);
  return {Byte(r), Byte(g), Byte(b)};
}

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

}  // namespace

RgbImage MakeTestChart(int width, int height) {
  if (width < 64 || height < 64 || width > 20000 || height > 20000) {
    throw std::runtime_error("test chart size must be 64 to 20000 pixels each way");
  }
  Canvas canvas(width, height);
  const auto row = [height](double share) { return static_cast<int>(std::lround(share * height)); };
  const double span = std::max(1, width - 1);

  // Grey ramp, smooth on top and in 21 steps below it.
  canvas.Fill(0, row(0.00), width, row(0.06), [&](int x, int) {
    const uint8_t v = Byte(1.0 - x / span);
    return Rgb{v, v, v};
  });
  canvas.Fill(0, row(0.06), width, row(0.10), [&](int x, int) {
    const uint8_t v = Byte(1.0 - std::min(20, x * 21 / width) / 20.0);
    return Rgb{v, v, v};
  });

  // Colour ramps: white to the primary or secondary colour to black.
  const Rgb primaries[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 255, 255}, {255, 0, 255}, {255, 255, 0}};
  for (int i = 0; i < 6; ++i) {
    canvas.Fill(0, row(0.10 + 0.03 * i), width, row(0.13 + 0.03 * i), [&](int x, int) {
      const double t = x / span;
      return t < 0.5 ? Mix(kWhite, primaries[i], t * 2) : Mix(primaries[i], kBlack, t * 2 - 1);
    });
  }

  // Saturated patches, then skin tones, side by side.
  const Rgb patches[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 255, 255}, {255, 0, 255},
                         {255, 255, 0}, {0, 0, 0}, {255, 128, 0}, {128, 0, 255}, {0, 128, 64}};
  const Rgb skins[] = {{255, 224, 196}, {241, 194, 167}, {224, 172, 138}, {198, 134, 103},
                       {161, 102, 70}, {120, 72, 48}, {88, 54, 38}, {232, 190, 172}};
  const int patchTop = row(0.28), patchBottom = row(0.38);
  canvas.Fill(0, patchTop, width, patchBottom, [&](int x, int) {
    const int cell = x * 18 / width;
    return cell < 10 ? patches[cell] : skins[cell - 10];
  });

  // Fine lines: one-pixel black and coloured lines at growing spacing,
  // vertical on the left half, horizontal on the right, and a fan of
  // diagonals beneath.
  const int linesTop = row(0.38), linesBottom = row(0.50);
  canvas.Fill(0, linesTop, width / 2, linesBottom, [&](int x, int) {
    const int group = x * 4 / std::max(1, width / 2);
    const int pitch = 2 + group;
    if (x % pitch != 0) return kWhite;
    return group % 2 ? Rgb{0, 0, 0} : Rgb{200, 0, 40};
  });
  canvas.Fill(width / 2, linesTop, width, linesBottom, [&](int, int y) {
    const int local = y - linesTop;
    const int pitch = 2 + local * 4 / std::max(1, linesBottom - linesTop);
    return local % pitch == 0 ? Rgb{0, 0, 160} : kWhite;
  });
  const int fanTop = row(0.50), fanBottom = row(0.56);
  for (int k = 1; k <= 8; ++k) {
    for (int y = fanTop; y < fanBottom; ++y) {
      const int x = k * width / 10 + (y - fanTop) * k / 3;
      canvas.Set(x, y, kBlack);
    }
  }

  // A smooth photographic-like region: a sky gradient, a shaded sphere and
  // a hue disc fading to white at its centre.
  const int photoTop = row(0.56);
  const double photoHeight = std::max(1, height - photoTop);
  const double sphereX = width * 0.3, sphereY = photoTop + photoHeight * 0.5;
  const double sphereR = std::min(width * 0.22, photoHeight * 0.42);
  const double discX = width * 0.75, discY = sphereY, discR = sphereR;
  canvas.Fill(0, photoTop, width, height, [&](int x, int y) {
    const double u = (y - photoTop) / photoHeight;
    Rgb sky = Mix(Rgb{70, 120, 200}, Rgb{240, 215, 180}, u);  // blue above, warm haze below
    const double sx = (x - sphereX) / sphereR, sy = (y - sphereY) / sphereR;
    const double s2 = sx * sx + sy * sy;
    if (s2 < 1.0) {
      // Lambert shading with the light from the upper left.
      const double z = std::sqrt(1.0 - s2);
      const double light = std::max(0.0, (-0.5 * sx - 0.6 * sy + 0.62 * z) / 0.97);
      return Rgb{Byte(0.15 + 0.80 * light), Byte(0.10 + 0.55 * light), Byte(0.08 + 0.35 * light)};
    }
    const double dx = (x - discX) / discR, dy = (y - discY) / discR;
    const double d2 = dx * dx + dy * dy;
    if (d2 < 1.0) {
      const double hue = (std::atan2(dy, dx) + M_PI) / (2 * M_PI);
      return Mix(kWhite, Hue(hue), std::sqrt(d2));
    }
    return sky;
  });
  return canvas.Take();
}

}  // namespace inkdot::profile
