// SPDX-License-Identifier: Apache-2.0
#include "plot.h"

#include <algorithm>
#include <cmath>

namespace inkdot::bench {
namespace {

constexpr int kMargin = 12;

struct Canvas {
  host::RgbImage8 image;
  Canvas(uint32_t w, uint32_t h) {
    image.width = w;
    image.height = h;
    image.rgb.assign(static_cast<size_t>(w) * h * 3, 255);
  }
  void Set(int x, int y, std::array<uint8_t, 3> c) {
    if (x < 0 || y < 0 || x >= static_cast<int>(image.width) ||
        y >= static_cast<int>(image.height))
      return;
    std::copy(c.begin(), c.end(),
              image.rgb.begin() + (static_cast<size_t>(y) * image.width + x) * 3);
  }
  void Line(double xa, double ya, double xb, double yb, std::array<uint8_t, 3> c,
            int thick = 1) {
    const int steps =
        static_cast<int>(std::max(std::abs(xb - xa), std::abs(yb - ya))) + 1;
    for (int i = 0; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      const int x = static_cast<int>(std::lround(xa + (xb - xa) * t));
      const int y = static_cast<int>(std::lround(ya + (yb - ya) * t));
      for (int dy = 0; dy < thick; ++dy) {
        for (int dx = 0; dx < thick; ++dx)
          Set(x + dx - thick / 2, y + dy - thick / 2, c);
      }
    }
  }
};

}  // namespace

host::RgbImage8 LinePlot(const std::vector<Series> &series, double x0, double x1,
                         double y0, double y1, double xStep, double yStep) {
  const int w = 640, h = 400;
  Canvas canvas(w, h);
  const auto px = [&](double x) {
    return kMargin + (x - x0) / (x1 - x0) * (w - 2 * kMargin);
  };
  const auto py = [&](double y) {
    return h - kMargin - (y - y0) / (y1 - y0) * (h - 2 * kMargin);
  };
  for (double x = x0; x <= x1 + 1e-9; x += xStep)
    canvas.Line(px(x), py(y0), px(x), py(y1), {225, 225, 225});
  for (double y = y0; y <= y1 + 1e-9; y += yStep)
    canvas.Line(px(x0), py(y), px(x1), py(y), {225, 225, 225});
  canvas.Line(px(x0), py(y0), px(x1), py(y0), {0, 0, 0});
  canvas.Line(px(x0), py(y0), px(x0), py(y1), {0, 0, 0});
  for (const Series &s : series) {
    for (size_t i = 1; i < s.points.size(); ++i) {
      canvas.Line(px(s.points[i - 1].first), py(s.points[i - 1].second),
                  px(s.points[i].first), py(s.points[i].second), s.colour, 2);
    }
  }
  return std::move(canvas.image);
}

host::RgbImage8 BarPlot(const std::vector<Bar> &bars, double yMax, double yStep) {
  const int barWidth = 2;
  const int w = static_cast<int>(bars.size()) * barWidth + 2 * kMargin, h = 300;
  Canvas canvas(static_cast<uint32_t>(w), h);
  const auto py = [&](double y) {
    return h - kMargin - std::min(y, yMax) / yMax * (h - 2 * kMargin);
  };
  for (double y = 0; y <= yMax + 1e-9; y += yStep)
    canvas.Line(kMargin, py(y), w - kMargin, py(y), {225, 225, 225});
  for (size_t i = 0; i < bars.size(); ++i) {
    const double x = kMargin + static_cast<double>(i) * barWidth;
    for (int dx = 0; dx < barWidth; ++dx)
      canvas.Line(x + dx, py(0), x + dx, py(bars[i].value), bars[i].colour);
  }
  canvas.Line(kMargin, py(0), w - kMargin, py(0), {0, 0, 0});
  return std::move(canvas.image);
}

}  // namespace inkdot::bench
