// SPDX-License-Identifier: Apache-2.0
// The reading thread's per-pixel work on a colour page: area resampling of
// a 300 dpi RGB image to 1440 x 720 dpi (4.8 times across, 2.4 down), and
// the conversion of the resampled rows into the engine's 4-byte pixels
// (the resampler makes those itself now, and grey bytes for grey pages).
// Items are output pixels, so the rates compare with the kernels'.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "inkdot/host/image.h"
#include "inkdot/host/page_driver.h"
#include "inkdot/host/resample.h"

namespace {

constexpr uint32_t kSourceWidth = 2480;  // A4 at 300 dpi
constexpr uint32_t kSourceRows = 100;
constexpr uint32_t kOutputWidth = kSourceWidth * 1440 / 300;
constexpr uint32_t kOutputRows = kSourceRows * 720 / 300;

// Smooth ramps with a little texture, so that neighbouring sums differ.
inkdot::host::Image SourceImage() {
  inkdot::host::Image image;
  image.width = kSourceWidth;
  image.height = kSourceRows;
  image.channels = 3;
  image.samples.resize(size_t{kSourceWidth} * kSourceRows * 3);
  uint32_t noise = 12345;
  for (uint32_t y = 0; y < kSourceRows; ++y) {
    for (uint32_t x = 0; x < kSourceWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      uint16_t *px = &image.samples[(size_t{y} * kSourceWidth + x) * 3];
      px[0] = static_cast<uint16_t>(x * 26 + (noise >> 24));
      px[1] = static_cast<uint16_t>(y * 600 + (noise >> 16 & 0xFF));
      px[2] = static_cast<uint16_t>((x + y) * 20);
    }
  }
  return image;
}

void BM_ResampleRgb1440x720(benchmark::State &state) {
  const inkdot::host::Image image = SourceImage();
  std::vector<uint8_t> row(size_t{kOutputWidth} * 3);
  for (auto _ : state) {
    inkdot::host::Resampler resampler(image, kOutputWidth, kOutputRows);
    for (uint32_t y = 0; y < kOutputRows; ++y) resampler.Row(y, row.data());
    benchmark::DoNotOptimize(row.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kOutputWidth} * kOutputRows);
}
BENCHMARK(BM_ResampleRgb1440x720)->Unit(benchmark::kMillisecond);

// The same rows made straight in the engine's 4-byte pixels, which the
// reading thread asks for: compare with the one above plus a Convert a row.
void BM_ResampleRgb0_1440x720(benchmark::State &state) {
  const inkdot::host::Image image = SourceImage();
  std::vector<uint8_t> row(size_t{kOutputWidth} * 4);
  for (auto _ : state) {
    inkdot::host::Resampler resampler(image, kOutputWidth, kOutputRows);
    for (uint32_t y = 0; y < kOutputRows; ++y) resampler.RowRgb0(y, row.data());
    benchmark::DoNotOptimize(row.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kOutputWidth} * kOutputRows);
}
BENCHMARK(BM_ResampleRgb0_1440x720)->Unit(benchmark::kMillisecond);

// The grey bytes a grey page's kernels read, luminance made per run.
void BM_ResampleGrey1440x720(benchmark::State &state) {
  const inkdot::host::Image image = SourceImage();
  std::vector<uint8_t> row(size_t{kOutputWidth});
  for (auto _ : state) {
    inkdot::host::Resampler resampler(image, kOutputWidth, kOutputRows);
    for (uint32_t y = 0; y < kOutputRows; ++y) resampler.RowGrey(y, row.data(), false);
    benchmark::DoNotOptimize(row.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kOutputWidth} * kOutputRows);
}
BENCHMARK(BM_ResampleGrey1440x720)->Unit(benchmark::kMillisecond);

void BM_ConvertRgbRow(benchmark::State &state) {
  const inkdot::host::BandRows rows(kOutputWidth, inkdot::host::BandLayout{});
  std::vector<uint8_t> pixels(size_t{kOutputWidth} * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> source(rows.sourceStride);
  for (auto _ : state) {
    rows.Convert(pixels.data(), 3, source.data());
    benchmark::DoNotOptimize(source.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kOutputWidth});
}
BENCHMARK(BM_ConvertRgbRow);

}  // namespace
