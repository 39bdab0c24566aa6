// SPDX-License-Identifier: Apache-2.0
// Cost of creating and releasing a colour-matching object: two allocations
// and the mode rules, paid once per page by a host.
#include <benchmark/benchmark.h>

#include "inkdot/inkdot.h"

static void BM_CmNewDelete(benchmark::State &state) {
  CmParams params{};
  HalftoneParams page{};
  page.method = 1;
  page.inputFormat = 2;
  page.colorMode = 1;
  for (auto _ : state) {
    int32_t nextId = 0;
    CmContext *cm = nullptr;
    CmNew(&params, &page, 0, &nextId, &cm);
    benchmark::DoNotOptimize(CmGetLut(cm));
    CmDelete(cm);
  }
}
BENCHMARK(BM_CmNewDelete);
