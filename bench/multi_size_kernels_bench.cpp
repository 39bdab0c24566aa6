// SPDX-License-Identifier: Apache-2.0
// Throughput of the multi-size-dot kernels on 4096-pixel runs, row after
// row, over a hand-built halftone object with plausible tables: a 128 × 128
// matrix of scattered ranks, a palette that moves from small to large dots
// with the level, and a smooth colour gradient. Reported in Mpx/s.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "halftone/kernels/row_kernels.h"
#include "halftone/kernels/vector_kernels.h"

namespace inkdot {
namespace {

constexpr uint32_t kRun = 4096;

class BenchObject {
 public:
  BenchObject(uint32_t inputFormat, uint32_t colorMode, uint32_t width = kRun)
      : ht_(std::make_unique<HalftoneContext>()), width_(width) {
    HalftoneContext &ht = *ht_;
    ht.params.inputFormat = inputFormat;
    ht.params.colorMode = colorMode;
    ht.params.dotMode = 2;
    ht.params.maxPixels = width;
    ht.vectorPath = DetectVectorPath();
    ht.matrixWidth = ht.matrixHeight = 128;
    ht.matrixSize = 16384;
    ht.dotParams[0] = 15;
    ht.dotParams[1] = 3;
    ht.dotParams[2] = 1;
    for (int k = 0; k < 4; ++k) Alloc(kErrorLineBlock + k, width * 4 + 240);
    auto *matrix = static_cast<uint16_t *>(Alloc(kThresholdMatrixBlock, 16384 * 2));
    for (uint32_t i = 0; i < 16384; ++i)
      matrix[i] = (i * 7919u) & 16383;  // a permutation
    auto *levels = static_cast<uint16_t *>(Alloc(kLevelScaleBlock, 1024));
    for (uint32_t i = 0; i < 256; ++i) levels[i] = static_cast<uint16_t>(i * 64);
    auto *curve = static_cast<int16_t *>(Alloc(kDotCurveBlock, 512));
    auto *grid = static_cast<uint8_t *>(Alloc(kGridIndexBlock, 512));
    auto *palette = static_cast<uint8_t *>(Alloc(kDotPaletteBlock, 768));
    for (uint32_t v = 0; v < 256; ++v) {
      grid[2 * v] = static_cast<uint8_t>(v == 255 ? 31 : v / 8);
      grid[2 * v + 1] = static_cast<uint8_t>(v == 255 ? 255 : 255 - (v % 8) * 32);
      const uint32_t s = v < 96 ? v : 96 - (v - 96) * 96 / 160;
      const uint32_t m = v < 64 ? 0 : (v - 64) / 3;
      const uint32_t l = v < 160 ? 0 : (v - 160);
      palette[3 * v] = static_cast<uint8_t>(s);
      palette[3 * v + 1] = static_cast<uint8_t>(m);
      palette[3 * v + 2] = static_cast<uint8_t>(l);
      curve[v] = static_cast<int16_t>((2 * (s + m + l) + 128) / 3);
      ht.paletteLimits[v] = levels[l] | (levels[m] + levels[l]) << 16;
      ht.paletteAmounts[v] = s | (s + m + l) << 16;
      ht.paletteTotals[v] = levels[s] + levels[m] + levels[l];
    }
    if (colorMode != 0) {
      auto *table = static_cast<uint32_t *>(Alloc(kColourTableBlock, 32768 * 4));
      for (uint32_t i = 0; i < 32768; ++i) {
        const uint32_t c = 255 - (i >> 10) * 8, m = 255 - ((i >> 5) & 31) * 8,
                       y = 255 - (i & 31) * 8, k = (c < m ? c : m) / 2;
        table[i] = (c - k) | (m - k) << 8 | (y < k ? 0 : y - k) << 16 | k << 24;
      }
    } else {
      auto *grey = static_cast<uint16_t *>(Alloc(kColourTableBlock, 2 * 270));
      grey[0] = 8;
      for (uint32_t i = 0; i < 264; ++i) {
        grey[1 + i] = static_cast<uint16_t>(i < 4 ? 0 : i > 259 ? 255 : i - 4);
      }
    }
    const uint32_t bytes = inputFormat == 0 ? 1 : 4;
    source_.resize(width * bytes);
    for (uint32_t i = 0; i < source_.size(); ++i) {
      source_[i] =
          static_cast<uint8_t>((i * 255 / source_.size() + (i % bytes) * 80) & 0xFF);
    }
    output_.resize(width + 4);
  }
  ~BenchObject() { MemoryBlocksFree(ht_->blocks); }
  HalftoneContext &get() { return *ht_; }

  void Row(RowKernel kernel, uint32_t row) {
    RowRun run{
        source_.data(), output_.data(), width_ / 4 + 1, 0, width_, 0, 0, row, 0, 0};
    benchmark::DoNotOptimize(kernel(ht_.get(), run));
    benchmark::ClobberMemory();
  }

 private:
  void *Alloc(int index, uint32_t size) {
    MemoryBlockAlloc(&ht_->blocks[index], size, 1);
    return ht_->blocks[index].pointer;
  }
  std::unique_ptr<HalftoneContext> ht_;
  std::vector<uint8_t> source_;
  std::vector<uint8_t> output_;
  uint32_t width_;
};

// With `portable`, the portable path even where a vector path would run;
// with `avx2`, the AVX2 path where AVX-512 would run.
void RunRows(benchmark::State &state, RowKernel kernel, uint32_t inputFormat,
             uint32_t colorMode, bool portable = false, bool avx2 = false) {
  BenchObject object(inputFormat, colorMode);
  if (portable) object.get().vectorPath = kPortablePath;
  if (avx2 && object.get().vectorPath > kAvx2Path) object.get().vectorPath = kAvx2Path;
  uint32_t row = 0;
  for (auto _ : state) object.Row(kernel, row++);
  state.counters["Mpx/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kRun * 1e-6,
                         benchmark::Counter::kIsRate);
}

void BM_HybridColourRow(benchmark::State &s) { RunRows(s, HybridColourRow, 2, 1); }
void BM_HybridColourRowWide(benchmark::State &s) {
  RunRows(s, HybridColourRowWide, 2, 1);
}
void BM_HybridColourRow2880(benchmark::State &s) {
  RunRows(s, HybridColourRow2880, 2, 1);
}
void BM_HybridColourRowInks(benchmark::State &s) { RunRows(s, HybridColourRow, 4, 1); }
void BM_HybridColourRowPortable(benchmark::State &s) {
  RunRows(s, HybridColourRow, 2, 1, true);
}
void BM_HybridColourRowWidePortable(benchmark::State &s) {
  RunRows(s, HybridColourRowWide, 2, 1, true);
}
void BM_HybridColourRow2880Portable(benchmark::State &s) {
  RunRows(s, HybridColourRow2880, 2, 1, true);
}
void BM_HybridColourRowTall(benchmark::State &s) { RunRows(s, HybridColourRowTall, 2, 1); }
void BM_HybridColourRowTallPortable(benchmark::State &s) {
  RunRows(s, HybridColourRowTall, 2, 1, true);
}
void BM_DotDitherColourRow(benchmark::State &s) { RunRows(s, DotDitherColourRow, 2, 1); }
void BM_DotDitherColourRowAvx2(benchmark::State &s) {
  RunRows(s, DotDitherColourRow, 2, 1, false, true);
}
void BM_DotDitherColourRowPortable(benchmark::State &s) {
  RunRows(s, DotDitherColourRow, 2, 1, true);
}
void BM_DotDitherMonoRow(benchmark::State &s) { RunRows(s, DotDitherMonoRow, 0, 0); }
void BM_DotDitherMonoRowTall(benchmark::State &s) { RunRows(s, DotDitherMonoRowTall, 0, 0); }
void BM_DotDitherInkRow(benchmark::State &s) { RunRows(s, DotDitherInkRow, 4, 1); }
void BM_DotDiffuseMonoRow(benchmark::State &s) { RunRows(s, DotDiffuseMonoRow, 0, 0); }
void BM_DotDiffuseMonoRow1440(benchmark::State &s) {
  RunRows(s, DotDiffuseMonoRow1440, 0, 0);
}
void BM_DotDiffuseMonoRowTall(benchmark::State &s) {
  RunRows(s, DotDiffuseMonoRowTall, 0, 0);
}
void BM_DotDiffuseMonoRow2880(benchmark::State &s) {
  RunRows(s, DotDiffuseMonoRow2880, 0, 0);
}

// A whole colour page of a US Letter sheet, row by row: 12240 × 7920 pixels
// at 1440 × 720, 6120 × 7920 at 720 × 720.
void RunPage(benchmark::State &state, RowKernel kernel, uint32_t width, uint32_t rows) {
  BenchObject object(2, 1, width);
  for (auto _ : state) {
    for (uint32_t row = 0; row < rows; ++row) object.Row(kernel, row);
  }
  state.counters["Mpx/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * width * rows * 1e-6,
      benchmark::Counter::kIsRate);
}

void BM_HybridColourRowWidePage(benchmark::State &s) {
  RunPage(s, HybridColourRowWide, 12240, 7920);
}
void BM_HybridColourRowPage(benchmark::State &s) { RunPage(s, HybridColourRow, 6120, 7920); }

BENCHMARK(BM_HybridColourRow);
BENCHMARK(BM_HybridColourRowPortable);
BENCHMARK(BM_HybridColourRowWidePage)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_HybridColourRowPage)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_HybridColourRowWide);
BENCHMARK(BM_HybridColourRowWidePortable);
BENCHMARK(BM_HybridColourRow2880);
BENCHMARK(BM_HybridColourRow2880Portable);
BENCHMARK(BM_HybridColourRowTall);
BENCHMARK(BM_HybridColourRowTallPortable);
BENCHMARK(BM_HybridColourRowInks);
BENCHMARK(BM_DotDitherColourRow);
BENCHMARK(BM_DotDitherColourRowAvx2);
BENCHMARK(BM_DotDitherColourRowPortable);
BENCHMARK(BM_DotDitherInkRow);
BENCHMARK(BM_DotDitherMonoRow);
BENCHMARK(BM_DotDitherMonoRowTall);
BENCHMARK(BM_DotDiffuseMonoRow);
BENCHMARK(BM_DotDiffuseMonoRow1440);
BENCHMARK(BM_DotDiffuseMonoRowTall);
BENCHMARK(BM_DotDiffuseMonoRow2880);

}  // namespace
}  // namespace inkdot
