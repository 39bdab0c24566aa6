// SPDX-License-Identifier: Apache-2.0
#include "chart_measurement.h"

#include <stdexcept>

#include "inkdot/host/preview.h"

namespace inkdot::profile {

ChartMeasurement PrintAndMeasure(const host::Profile &profile,
                                 const host::PrintSettings &settings,
                                 const std::vector<Rgb8> &patches, uint32_t columns,
                                 uint32_t patchPixels) {
  if (!profile.printer)
    throw std::runtime_error("the profile describes no printer to measure");
  const uint32_t rows = static_cast<uint32_t>((patches.size() + columns - 1) / columns);
  host::Image image;
  image.width = columns * patchPixels;
  image.height = rows * patchPixels;
  image.channels = 3;
  image.samples.assign(static_cast<size_t>(image.width) * image.height * 3, 0xFFFF);
  ChartMeasurement out;
  out.chart.width = columns * 16;
  out.chart.height = rows * 16;
  out.chart.rgb.assign(static_cast<size_t>(out.chart.width) * out.chart.height * 3,
                       255);
  for (size_t p = 0; p < patches.size(); ++p) {
    const uint32_t px = static_cast<uint32_t>(p % columns),
                   py = static_cast<uint32_t>(p / columns);
    for (uint32_t y = py * patchPixels; y < (py + 1) * patchPixels; ++y) {
      for (uint32_t x = px * patchPixels; x < (px + 1) * patchPixels; ++x) {
        for (int c = 0; c < 3; ++c) {
          image.samples[(static_cast<size_t>(y) * image.width + x) * 3 + c] =
              patches[p][c] * 257;
        }
      }
    }
    for (uint32_t y = py * 16; y < (py + 1) * 16; ++y) {
      for (uint32_t x = px * 16; x < (px + 1) * 16; ++x) {
        for (int c = 0; c < 3; ++c)
          out.chart.rgb[(static_cast<size_t>(y) * out.chart.width + x) * 3 + c] =
              patches[p][c];
      }
    }
  }
  const host::DotPage page = host::PrintImage(profile, settings, image);
  host::PreviewOptions options;
  options.dpi = 90;
  options.printer = profile.printer;
  out.preview = host::RenderPreview(page, options);

  // Preview pixels per patch along each axis, and the central half of them.
  const double sx = static_cast<double>(out.preview.width) / image.width;
  const double sy = static_cast<double>(out.preview.height) / image.height;
  for (size_t p = 0; p < patches.size(); ++p) {
    const double x0 = static_cast<double>(p % columns) * patchPixels,
                 y0 = static_cast<double>(p / columns) * patchPixels;
    const uint32_t ax = static_cast<uint32_t>((x0 + patchPixels * 0.25) * sx);
    const uint32_t bx = static_cast<uint32_t>((x0 + patchPixels * 0.75) * sx);
    const uint32_t ay = static_cast<uint32_t>((y0 + patchPixels * 0.25) * sy);
    const uint32_t by = static_cast<uint32_t>((y0 + patchPixels * 0.75) * sy);
    std::array<double, 3> sum{};
    uint32_t count = 0;
    for (uint32_t y = ay; y < by; ++y) {
      for (uint32_t x = ax; x < bx; ++x) {
        for (int c = 0; c < 3; ++c) {
          sum[c] += host::SrgbToLinear(
              out.preview
                  .rgb[(static_cast<size_t>(y) * out.preview.width + x) * 3 + c] /
              255.0);
        }
        ++count;
      }
    }
    if (count == 0) throw std::runtime_error("chart patches too small for the preview");
    for (double &v : sum) v /= count;
    out.measured.push_back(host::LinearSrgbToLab(sum));
  }
  return out;
}

}  // namespace inkdot::profile
