// SPDX-License-Identifier: Apache-2.0
// Cost of the colour-table work that a page pays once: interpolating every
// node of the largest grid (the rebuild's load), the ink-load pass and the
// grey-to-black table.
#include <benchmark/benchmark.h>

#include <vector>

#include "colour/colour_table.h"
#include "colour/interpolate.h"

namespace {

constexpr int kNodes = 36;
constexpr int kChannels = 4;

struct LargestTable {
  CmLut lut{};
  std::vector<uint8_t> data;
  LargestTable() {
    lut.gridSize1 = lut.gridSize2 = lut.gridSize3 = kNodes;
    lut.gridSize4 = 1;
    lut.channelCount = kChannels;
    lut.tableKind = 1;
    lut.inkLoadLight = 250;
    lut.inkLoadDark = 100;
    for (int n = 0; n < kNodes; ++n) {
      const uint8_t node = static_cast<uint8_t>((255 * n + 17) / (kNodes - 1));
      lut.nodes1[n] = lut.nodes2[n] = lut.nodes3[n] = node;
    }
    data.resize(kNodes * kNodes * kNodes * kChannels);
    for (size_t n = 0; n < data.size(); ++n) data[n] = static_cast<uint8_t>(n * 37);
    lut.tableData = data.data();
  }
};

void BM_InterpolateEveryNode(benchmark::State &state) {
  LargestTable t;
  // One run per row of nodes along the blue axis, colours slightly off-node.
  std::vector<uint8_t> input(kNodes * 4), output(kNodes * kChannels);
  for (auto _ : state) {
    for (int a = 0; a < kNodes; ++a) {
      for (int b = 0; b < kNodes; ++b) {
        for (int c = 0; c < kNodes; ++c) {
          input[c * 4 + 1] = static_cast<uint8_t>(t.lut.nodes1[a] ^ 3);
          input[c * 4 + 2] = static_cast<uint8_t>(t.lut.nodes2[b] ^ 5);
          input[c * 4 + 3] = static_cast<uint8_t>(t.lut.nodes3[c] ^ 1);
        }
        inkdot::InterpolateRun(&t.lut, kNodes, input.data(), output.data());
        benchmark::DoNotOptimize(output.data());
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kNodes * kNodes * kNodes);
}
BENCHMARK(BM_InterpolateEveryNode);

void BM_InkLoadPass(benchmark::State &state) {
  LargestTable t;
  for (auto _ : state) {
    inkdot::ApplyInkLoad(&t.lut);
    benchmark::DoNotOptimize(t.data.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(t.data.size()));
}
BENCHMARK(BM_InkLoadPass);

void BM_GrayToBlack(benchmark::State &state) {
  LargestTable t;
  for (auto _ : state) {
    inkdot::BuildGrayToBlack(&t.lut);
    benchmark::DoNotOptimize(t.lut.grayToBlack);
  }
}
BENCHMARK(BM_GrayToBlack);

}  // namespace
