/* SPDX-License-Identifier: Apache-2.0 */
// Printing whole images: read, scale to the device grid, halftone, write the
// dot planes (and optionally a preview). Pages are independent: each runs
// on its own engine objects, several at a time, and gives the same bytes
// whatever the number of threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "inkdot/host/dot_page.h"
#include "inkdot/host/image.h"
#include "inkdot/host/limits.h"
#include "inkdot/host/preview.h"
#include "inkdot/host/profile.h"
#include "inkdot/host/session.h"

namespace inkdot::host {

struct PrintSettings {
  ColourSettings colour;
  uint32_t method = 1;
  uint32_t methodVariant = 0;
  uint32_t xResolution = 1440;
  uint32_t yResolution = 720;
  uint32_t dotMode = 2;
  bool grey = false;      // grey input: one plane, the last ink
  double inputDpi = 0;    // overrides the image's own resolution when above 0
  ColourInput colourInput;  // how the images' colours reach sRGB
  uint32_t runLength = 0; // pixels per Halftone call; 0 = whole rows
  // Threads per page in PrintFiles: 1 reads, halftones and writes in turn;
  // 2 writes (TIFF and preview) on a thread of its own; 3 also reads and
  // resamples on its own; from 4, the planes' compression is shared out
  // among count - 2 writing threads. The bytes are the same for every count.
  unsigned pageThreads = 4;
  // The most memory one input may take at once (whole-image decoding).
  uint64_t memoryBudget = kDefaultMemoryBudget;
};

// The page parameters for a page `width` device pixels wide.
HalftoneParams MakePageParams(const PrintSettings &settings, uint32_t width);

// Throws SettingError when the profile does not offer the resolution or dot
// mode asked for.
void CheckAgainstProfile(const Profile &profile, const PrintSettings &settings);

// Halftones one image. `rowDone` (optional) is called after every row with
// the number of rows done and the page height.
DotPage PrintImage(const Profile &profile, const PrintSettings &settings, const Image &image,
                   const std::function<void(uint32_t, uint32_t)> &rowDone = {});

// Prints one page handed over row by row (from a reader other than the image
// files, such as a print spooler's raster) to a planes TIFF at `planesPath`,
// streaming as PrintFiles does. `rowDone` is called after every row with the
// rows done and the page height; an exception it throws stops the page and
// leaves the caller to remove the partial file. Returns the device pixels.
uint64_t PrintRows(const Profile &profile, const PrintSettings &settings, ImageRows &rows,
                   const std::filesystem::path &planesPath,
                   PlaneCompression compression = PlaneCompression::kFast,
                   const std::function<void(uint32_t, uint32_t)> &rowDone = {});

struct PrintOutput {
  std::filesystem::path dir;
  bool preview = false;
  PreviewOptions previewOptions;
  PlaneFormat format = PlaneFormat::kTiff;
  PlaneCompression compression = PlaneCompression::kFast;  // of TIFF planes
};

// Live counters that a progress display may read while PrintFiles runs.
struct PrintProgress {
  std::atomic<uint32_t> pagesTotal{0};
  std::atomic<uint32_t> pagesDone{0};
  // Sum over pages of the finished fraction, in millionths of a page.
  std::atomic<uint64_t> pageMillionths{0};
};

struct PrintSummary {
  uint32_t pages = 0;
  uint64_t devicePixels = 0;
  // CPU seconds of the threads that ran the pages' engines, summed over
  // pages: each page's serial part (opening it, the band calls, joining its
  // TIFF), so the floor of its wall time whatever the other threads do.
  double engineSeconds = 0;
  std::vector<std::filesystem::path> outputs;
};

// Prints every page of every input to `output.dir` (one TIFF per page, or
// a PBM or PGM per ink and page named after the ink as well, named after
// the input, "-pN" added for multi-page inputs; previews as PNG beside
// them) with `threads` pages at a time, each page streamed row
// by row so that its memory grows with its width, not its area. All outputs appear only
// if every page succeeds; a missing output folder is made for them. No
// output may replace an input or anything but a regular file (see
// OutputFiles); every page's size is checked against the device page
// limits before any page starts. Throws the first failure.
PrintSummary PrintFiles(const Profile &profile, const PrintSettings &settings,
                        const std::vector<std::filesystem::path> &inputs, const PrintOutput &output,
                        unsigned threads, PrintProgress *progress = nullptr);

}  // namespace inkdot::host
