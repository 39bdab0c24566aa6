// SPDX-License-Identifier: Apache-2.0
// Runs the scenario pages through the engine linked into this program and
// prints one digest line per page and one over all pages.
//
//   inkdot_scenario [--require-complete]
//
// With --require-complete the exit status is 1 unless every page completed.
#include <cstdio>
#include <cstring>

#include "pages.h"

int main(int argc, char **argv) {
  bool requireComplete = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--require-complete") == 0) {
      requireComplete = true;
    } else {
      std::fprintf(stderr, "inkdot_scenario: unknown argument '%s'\n", argv[i]);
      return 2;
    }
  }
  const inkdot::scenario::EngineApi api = {CmNew,       CmSetResource,       CmDelete,
                                           CmGetLut,    HalftoneNew,         HalftoneSetResource,
                                           Halftone,    HalftoneDelete};
  const auto reports = inkdot::scenario::RunPages(api);
  std::fputs(inkdot::scenario::FormatReport(reports).c_str(), stdout);
  if (requireComplete) {
    for (const auto &report : reports) {
      if (!report.complete) return 1;
    }
  }
  return 0;
}
