/* SPDX-License-Identifier: Apache-2.0 */
// Internal: the kinds of a printed page's outputs. Each kind names the
// files it makes for a page and opens the sink that writes them, so that job
// planning knows neither extensions nor formats.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "inkdot/host/dot_page.h"
#include "inkdot/host/plane_sink.h"
#include "inkdot/host/preview.h"

namespace inkdot::host::detail {

class PageOutput {
 public:
  virtual ~PageOutput() = default;
  // The files, in `dir`, of the page named `stem`; only the inks and depth
  // of `shape` are read.
  virtual std::vector<std::filesystem::path> Names(const std::filesystem::path &dir,
                                                   const std::string &stem,
                                                   const DotPage &shape) const = 0;
  // A sink writing the page `shape` to `files` (in the order of Names);
  // messages name `shownAs` in their place.
  virtual std::unique_ptr<PlaneSink> Open(
      const DotPage &shape, const std::vector<std::filesystem::path> &files,
      const std::vector<std::filesystem::path> &shownAs) const = 0;
};

// The planes in `format`; `compression` applies to TIFF.
std::unique_ptr<PageOutput> PlanesOutput(PlaneFormat format, PlaneCompression compression);

// A PNG preview; each page is checked against `memoryBudget` first.
std::unique_ptr<PageOutput> PreviewOutput(const PreviewOptions &options, uint64_t memoryBudget);

}  // namespace inkdot::host::detail
