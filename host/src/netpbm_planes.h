/* SPDX-License-Identifier: Apache-2.0 */
// Internal: a page's planes as one netpbm file per ink, for driver writers
// who want the dots without a TIFF reader. 1-bit planes are PBM (P4): the
// plane's rows exactly, 1 for a dot (black). 2-bit planes are PGM (P5,
// maxval 3), one byte per pixel holding 3 minus the dot code, so that no
// dot shows as white paper and a large dot as black.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "inkdot/host/dot_page.h"
#include "inkdot/host/plane_sink.h"

namespace inkdot::host::detail {

// The file of ink `ink` of the page named `stem`: the ink's name with
// anything but letters, digits, '-' and '_' replaced by '_', and ".pbm"
// for 1-bit planes, ".pgm" for 2-bit ones.
std::string NetpbmPlaneName(const std::string &stem, const std::string &ink,
                            uint32_t bitsPerPixel);

class NetpbmPlanesWriter : public PlaneSink {
 public:
  // `paths` holds one file per ink of `layout`, in order, written from the
  // start; messages name `shownAs` in its place. Throws ImageError when a
  // file cannot be opened.
  NetpbmPlanesWriter(const DotPage &layout, const std::vector<std::filesystem::path> &paths,
                     const std::vector<std::filesystem::path> &shownAs);
  ~NetpbmPlanesWriter() override;
  NetpbmPlanesWriter(const NetpbmPlanesWriter &) = delete;
  NetpbmPlanesWriter &operator=(const NetpbmPlanesWriter &) = delete;

  void TakeRow(uint32_t y, const uint8_t *planes, size_t planeStride) override;
  bool TakesPlaneRows() const override { return true; }
  void TakePlaneRow(size_t k, uint32_t y, const uint8_t *row) override;
  void Finish() override;

 private:
  struct Plane {
    std::filesystem::path shownAs;
    std::FILE *file = nullptr;
    std::vector<uint8_t> pixels;  // one PGM row
  };
  void Write(Plane &plane, const void *bytes, size_t size);
  DotPage layout_;
  std::vector<Plane> planes_;
};

}  // namespace inkdot::host::detail
