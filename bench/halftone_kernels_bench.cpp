// SPDX-License-Identifier: Apache-2.0
// Throughput of the one-bit row kernels on a realistic object: a 256 x 256
// threshold matrix of shuffled ranks, a 32-point colour table, runs of 4096
// pixels of a smooth image with some noise, row after row. Reported in
// Mpx/s of one core (per CPU second, not wall time); kernels with a vector
// path are also run on their portable one (the names ending in Portable).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "frame/memory_blocks.h"
#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/vector_kernels.h"

namespace {

using inkdot::MemoryBlockAlloc;
using inkdot::RowKernel;
using inkdot::RowRun;

constexpr uint32_t kRunPixels = 4096;
constexpr uint32_t kRows = 64;

struct Lcg {
  uint32_t state = 12345;
  uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
};

template <class T>
T *Block(HalftoneContext *ht, int block, uint32_t entries) {
  MemoryBlockAlloc(&ht->blocks[block], entries * sizeof(T), 1);
  return static_cast<T *>(ht->blocks[block].pointer);
}

// An object as the set-up would leave it for a 720 x 720 page.
class BenchObject {
 public:
  BenchObject(uint32_t method, uint32_t colorMode, uint32_t maxPixels)
      : ht_(new HalftoneContext{}) {
    ht_->params = {method,    1, colorMode != 0 ? 2u : 0u, colorMode, 720, 720, 1, 0, 0,
                   maxPixels, 0};
    ht_->replication = 1;
    ht_->vectorPath = inkdot::DetectVectorPath();
    ht_->matrixWidth = ht_->matrixHeight = 256;
    ht_->matrixSize = 65536;
    Lcg lcg;
    uint16_t *matrix = Block<uint16_t>(ht_, inkdot::kThresholdMatrixBlock, 65536);
    for (uint32_t i = 0; i < 65536; ++i) matrix[i] = static_cast<uint16_t>(i);
    for (uint32_t i = 65535; i > 0; --i)
      std::swap(matrix[i], matrix[lcg.Next() % (i + 1)]);

    uint16_t *scale = Block<uint16_t>(ht_, inkdot::kLevelScaleBlock, 256);
    uint16_t *tone = Block<uint16_t>(ht_, inkdot::kToneCurveBlock, 256);
    int16_t *dotCurve = Block<int16_t>(ht_, inkdot::kDotCurveBlock, 256);
    uint8_t *grid = Block<uint8_t>(ht_, inkdot::kGridIndexBlock, 512);
    for (uint32_t v = 0; v < 256; ++v) {
      scale[v] = static_cast<uint16_t>(v * 256);
      tone[v] = static_cast<uint16_t>(255 + (255 - v) * (255 - v) * 382 / 65025);
      dotCurve[v] = static_cast<int16_t>((2 * v + 128) / 3);
      const uint32_t cell = std::min<uint32_t>(v * 31 / 255, 30);
      const uint32_t low = cell * 255 / 31, high = (cell + 1) * 255 / 31;
      grid[2 * v] = static_cast<uint8_t>(cell);
      grid[2 * v + 1] = static_cast<uint8_t>((high - v) * 255 / (high - low));
    }
    if (colorMode != 0) {
      uint32_t *table = Block<uint32_t>(ht_, inkdot::kColourTableBlock, 32 * 32 * 32);
      for (uint32_t a = 0; a < 32; ++a) {
        for (uint32_t b = 0; b < 32; ++b) {
          for (uint32_t c = 0; c < 32; ++c) {
            const uint32_t cyan = 255 - a * 255 / 31, magenta = 255 - b * 255 / 31;
            const uint32_t yellow = 255 - c * 255 / 31;
            const uint32_t black = std::min({cyan, magenta, yellow}) / 2;
            table[(a * 32 + b) * 32 + c] = (cyan - black) | (magenta - black) << 8 |
                                           (yellow - black) << 16 | black << 24;
          }
        }
      }
    } else {
      int16_t *levels = Block<int16_t>(ht_, inkdot::kColourTableBlock, 256);
      for (uint32_t v = 0; v < 256; ++v) levels[v] = static_cast<int16_t>(255 - v);
    }
    const uint32_t limits[4] = {32, 9, 4, 2};
    std::copy(limits, limits + 4, ht_->dotParams);
    const uint32_t lineBytes = ((maxPixels * 4 + 240 - 1) & ~3u) + 4;
    for (int k = 0; k < 4; ++k) {
      MemoryBlockAlloc(&ht_->blocks[inkdot::kErrorLineBlock + k], lineBytes, 1);
    }
    ht_->errorLineCount = 4;
  }
  ~BenchObject() {
    inkdot::MemoryBlocksFree(ht_->blocks);
    delete ht_;
  }
  HalftoneContext *get() { return ht_; }

 private:
  HalftoneContext *ht_;
};

// A smooth gradient with a little noise: neighbouring pixels mostly share
// their grid cells, as in photographs.
std::vector<uint8_t> Image(uint32_t bytesPerPixel, uint32_t width, uint32_t rows) {
  std::vector<uint8_t> image(static_cast<size_t>(bytesPerPixel) * width * rows);
  Lcg lcg;
  size_t i = 0;
  for (uint32_t y = 0; y < rows; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      for (uint32_t c = 0; c < bytesPerPixel; ++c) {
        const uint32_t base = (x * (c + 1) / 16 + y * 3 + c * 85) % 256;
        image[i++] =
            static_cast<uint8_t>(std::min<uint32_t>(255, base + lcg.Next() % 8));
      }
    }
  }
  return image;
}

// `path`: a narrower vector path, or the portable one, than the processor's.
void RunKernel(benchmark::State &state, RowKernel kernel, uint32_t method,
               uint32_t colorMode, int path = -1) {
  const uint32_t bytes = colorMode != 0 ? 4 : 1;
  BenchObject object(method, colorMode, kRunPixels);
  if (path >= 0 && static_cast<uint32_t>(path) < object.get()->vectorPath) {
    object.get()->vectorPath = static_cast<uint32_t>(path);
  }
  const std::vector<uint8_t> image = Image(bytes, kRunPixels, kRows);
  std::vector<uint8_t> planes(4 * kRunPixels / 8);
  uint32_t row = 0;
  for (auto _ : state) {
    const uint8_t *src =
        image.data() + static_cast<size_t>(row % kRows) * kRunPixels * bytes;
    RowRun run{src, planes.data(), kRunPixels / 8, 0, kRunPixels, 0, 0, row, 0, 0};
    benchmark::DoNotOptimize(kernel(object.get(), run));
    benchmark::ClobberMemory();
    ++row;
  }
  state.counters["Mpx/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kRunPixels * 1e-6,
                         benchmark::Counter::kIsRate);
}

// One whole US Letter page at 1440 x 720 (12240 x 7920 pixels) of colour
// error diffusion, row by row, in one run per row.
void BM_ColourDiffusionLetterPage1440(benchmark::State &state) {
  constexpr uint32_t kWidth = 12240, kHeight = 7920, kImageRows = 16;
  BenchObject object(1, 1, kWidth);
  const std::vector<uint8_t> image = Image(4, kWidth, kImageRows);
  std::vector<uint8_t> planes(4 * ((kWidth + 7) / 8));
  for (auto _ : state) {
    for (uint32_t y = 0; y < kHeight; ++y) {
      const uint8_t *src =
          image.data() + static_cast<size_t>(y % kImageRows) * kWidth * 4;
      RowRun run{src, planes.data(), (kWidth + 7) / 8, 0, kWidth, 0, 0, y, 0, 0};
      benchmark::DoNotOptimize(inkdot::DiffuseColourRowFast1440(object.get(), run));
    }
    benchmark::ClobberMemory();
  }
  state.counters["Mpx/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kWidth * kHeight * 1e-6,
                         benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK_CAPTURE(RunKernel, DitherMonoRow, inkdot::DitherMonoRow, 3, 0);
BENCHMARK_CAPTURE(RunKernel, DitherColourRowCorners, inkdot::DitherColourRowCorners, 0,
                  1);
BENCHMARK_CAPTURE(RunKernel, DitherColourRow, inkdot::DitherColourRow, 3, 1);
BENCHMARK_CAPTURE(RunKernel, DitherColourRowAvx2, inkdot::DitherColourRow, 3, 1,
                  inkdot::kAvx2Path);
BENCHMARK_CAPTURE(RunKernel, DitherColourRowPortable, inkdot::DitherColourRow, 3, 1,
                  inkdot::kPortablePath);
BENCHMARK_CAPTURE(RunKernel, DiffuseMonoRow, inkdot::DiffuseMonoRow, 1, 0);
BENCHMARK_CAPTURE(RunKernel, DiffuseMonoRow1440, inkdot::DiffuseMonoRow1440, 1, 0);
BENCHMARK_CAPTURE(RunKernel, DiffuseMonoRowTall, inkdot::DiffuseMonoRowTall, 1, 0);
BENCHMARK_CAPTURE(RunKernel, DiffuseMonoRowAvx2, inkdot::DiffuseMonoRow, 1, 0, inkdot::kAvx2Path);
BENCHMARK_CAPTURE(RunKernel, DiffuseMonoRowPortable, inkdot::DiffuseMonoRow, 1, 0,
                  inkdot::kPortablePath);
BENCHMARK_CAPTURE(RunKernel, DiffuseMonoRow1440Avx2, inkdot::DiffuseMonoRow1440, 1, 0,
                  inkdot::kAvx2Path);
BENCHMARK_CAPTURE(RunKernel, DiffuseMonoRow1440Portable, inkdot::DiffuseMonoRow1440, 1, 0,
                  inkdot::kPortablePath);
BENCHMARK_CAPTURE(RunKernel, DiffuseMonoRowTallAvx2, inkdot::DiffuseMonoRowTall, 1, 0,
                  inkdot::kAvx2Path);
BENCHMARK_CAPTURE(RunKernel, DiffuseMonoRowTallPortable, inkdot::DiffuseMonoRowTall, 1, 0,
                  inkdot::kPortablePath);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRow, inkdot::DiffuseColourRow, 1, 1);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRowFast, inkdot::DiffuseColourRowFast, 1, 1);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRowFastAvx2, inkdot::DiffuseColourRowFast, 1, 1,
                  inkdot::kAvx2Path);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRowFastPortable, inkdot::DiffuseColourRowFast, 1,
                  1, inkdot::kPortablePath);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRow1440, inkdot::DiffuseColourRow1440, 1, 1);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRowFast1440, inkdot::DiffuseColourRowFast1440,
                  1, 1);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRowFast1440Avx2, inkdot::DiffuseColourRowFast1440,
                  1, 1, inkdot::kAvx2Path);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRowFast1440Portable,
                  inkdot::DiffuseColourRowFast1440, 1, 1, inkdot::kPortablePath);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRowTall, inkdot::DiffuseColourRowTall, 1, 1);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRowHybrid, inkdot::DiffuseColourRowHybrid, 3,
                  1);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRowHybridAvx2, inkdot::DiffuseColourRowHybrid, 3,
                  1, inkdot::kAvx2Path);
BENCHMARK_CAPTURE(RunKernel, DiffuseColourRowHybridPortable, inkdot::DiffuseColourRowHybrid,
                  3, 1, inkdot::kPortablePath);
BENCHMARK(BM_ColourDiffusionLetterPage1440)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
