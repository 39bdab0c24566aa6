// SPDX-License-Identifier: Apache-2.0
// Cost of the user's adjustments, paid once per page: the tone curves (the
// gamma search dominates when gamma is not 150) and the rebuild of the
// largest table through them with every correction in force.
#include <benchmark/benchmark.h>

#include <cstring>

#include "colour/cm_context.h"
#include "colour/option_list.h"
#include "colour/rebuild.h"
#include "colour/tone_curves.h"
#include "frame/memory_blocks.h"

namespace {

constexpr int kNodes = 36;
constexpr int kChannels = 4;

// An option list holding one gamma.
struct GammaOption {
  int32_t count = 1;
  CmOption pair;
  explicit GammaOption(const int32_t *gamma) : pair{inkdot::kOptionGamma, gamma} {}
  const CmOptionList *List() const { return reinterpret_cast<const CmOptionList *>(this); }
};

void BM_BuildToneCurves(benchmark::State &state) {
  const int32_t gamma = 220;
  const GammaOption options(&gamma);
  CmParams params{};
  params.brightness = 20;
  params.contrast = 30;
  params.redOffset = 5;
  for (auto _ : state) {
    inkdot::ToneCurves *curves = nullptr;
    inkdot::BuildToneCurves(&params, options.List(), &curves);
    benchmark::DoNotOptimize(curves->curveBlue);
    inkdot::ReleaseToneCurves(curves);
  }
}
BENCHMARK(BM_BuildToneCurves);

void BM_RebuildLargestTable(benchmark::State &state) {
  const int32_t gamma = 180;
  const GammaOption options(&gamma);
  CmParams params{};
  params.saturation = 30;
  params.brightness = 10;
  params.colorAdjustMode = 2;
  params.options = options.List();
  HalftoneParams page{};
  page.method = 3;
  page.inputFormat = 2;
  int32_t nextId = 0;
  CmContext *cm = nullptr;
  inkdot::NewCmContext(&params, &page, &nextId, &cm);
  cm->dominantReduction[0] = 20;
  cm->pairReduction[1] = 10;
  cm->hueShift[2] = -15;
  CmLut *lut = cm->lut;
  lut->channelCount = kChannels;
  lut->gridSize1 = lut->gridSize2 = lut->gridSize3 = kNodes;
  lut->gridSize4 = 1;
  for (int n = 0; n < kNodes; ++n) {
    const uint8_t node = static_cast<uint8_t>((255 * n + 17) / (kNodes - 1));
    lut->nodes1[n] = lut->nodes2[n] = lut->nodes3[n] = node;
  }
  const uint32_t bytes = kNodes * kNodes * kNodes * kChannels;
  void *memory = nullptr;
  inkdot::MemAcquire(bytes, 1, &lut->tableHandle, &memory);
  lut->tableData = static_cast<uint8_t *>(memory);
  for (uint32_t n = 0; n < bytes; ++n) lut->tableData[n] = static_cast<uint8_t>(n * 37);

  for (auto _ : state) {
    inkdot::RebuildTable(cm);
    benchmark::DoNotOptimize(lut->tableData);
  }
  state.SetItemsProcessed(state.iterations() * kNodes * kNodes * kNodes);
  inkdot::DeleteCmContext(cm);
}
BENCHMARK(BM_RebuildLargestTable);

}  // namespace
