/* SPDX-License-Identifier: Apache-2.0 */
// Banding: turns pixel rows into dot rows through a halftone object. Rows are
// converted to the source layout the input format needs (one byte per pixel
// for grey input, four bytes R, G, B, 0 for colour input), Halftone is
// called once per row or once per run, and finished plane rows go to a sink.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "inkdot/host/dot_page.h"
#include "inkdot/host/plane_sink.h"
#include "inkdot/inkdot.h"

namespace inkdot::host {

struct BandLayout;

// Where pixel rows come from: 8-bit grey (1 channel) or RGB (3 channels).
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual uint32_t width() const = 0;
  virtual uint32_t height() const = 0;
  virtual uint32_t channels() const = 0;
  virtual void ReadRow(uint32_t y, uint8_t *out) = 0;
  // Whether ReadSourceRow can write rows straight in the source layout of
  // `layout` (the bytes BandRows::Convert makes of ReadRow's), sparing a
  // pass.
  virtual bool ReadsSourceRows(const BandLayout & /*layout*/) const { return false; }
  virtual void ReadSourceRow(uint32_t /*y*/, const BandLayout & /*layout*/, uint8_t * /*out*/) {}
};

// Collects rows into a DotPage whose size, depth and inks are set.
class DotPageSink : public PlaneSink {
 public:
  explicit DotPageSink(DotPage &page) : page_(page) {}
  void TakeRow(uint32_t y, const uint8_t *planes, size_t planeStride) override;
  bool TakesPlaneRows() const override { return true; }
  void TakePlaneRow(size_t k, uint32_t y, const uint8_t *row) override;

 private:
  DotPage &page_;
};

struct BandLayout {
  bool greyInput = false;     // inputFormat 0: one byte per pixel
  bool greyAsInk = false;     // grey bytes are ink amounts (0 = white), not lightness
  uint32_t planes = 4;        // planes the kernels write
  uint32_t bitsPerPixel = 1;  // 2 for the multi-size-dot engine
  uint32_t runLength = 0;     // pixels per Halftone call; 0 = whole rows
};

// The input format values the host uses.
inline constexpr uint32_t kGreyInputFormat = INKDOT_INPUT_GREY;
inline constexpr uint32_t kColourInputFormat = INKDOT_INPUT_RGB;  // pixels handed over as R, G, B, 0

// Whether the engine has a row kernel for this method and dot mode at all:
// multi-size dots are only diffused or screened, and method 2 sets up no
// error lines for the diffusion kernels it ends in. (A few resolutions lack
// a kernel as well; the profile's resolutions leave those out.)
inline bool HasKernel(uint32_t method, uint32_t dotMode) {
  if (dotMode == INKDOT_DOTS_MULTI) {
    return method == INKDOT_METHOD_DIFFUSION || method == INKDOT_METHOD_SCREEN;
  }
  return method != INKDOT_METHOD_UNBUFFERED_DIFFUSION;
}

// Whether the grey kernel of these page parameters reads ink amounts: the
// single-size-dot dither kernels (methods 0 and 3) take a grey byte as the
// ink level itself, where every other grey kernel maps lightness through the
// profile's grey curve.
inline bool GreyKernelReadsInk(uint32_t method, uint32_t dotMode) {
  return dotMode != INKDOT_DOTS_MULTI &&
         (method == INKDOT_METHOD_MIDPOINT || method == INKDOT_METHOD_SCREEN);
}

// The row buffers of a page `width` pixels wide: a source row holds the
// pixels as the input format wants them, a dot row `planes` plane rows
// planeStride bytes apart. Both end in spare bytes, since kernels that
// work on pixel pairs may touch one pixel past a run's end.
struct BandRows {
  BandRows(uint32_t pageWidth, const BandLayout &bands);
  uint32_t width;
  BandLayout layout;
  size_t rowBytes;      // bytes of one plane's row
  size_t planeStride;   // rowBytes and the spare bytes
  size_t sourceStride;  // bytes of a source row, spare bytes included
  static constexpr size_t kSpareBytes = 16;  // at the end of each row

  // Writes `width` pixels of `channels` 8-bit samples (1 grey, 3 RGB) as a
  // source row; its spare bytes are left as they are.
  void Convert(const uint8_t *pixels, uint32_t channels, uint8_t *source) const;
  // Reads row y of `source` as a source row, through `pixels` (width x
  // channels bytes) and Convert unless the source writes the layout itself.
  void Read(RowSource &source, uint32_t y, uint8_t *pixels, uint8_t *row) const;
  // Halftones row y of the page from a source row into a dot row, which it
  // clears first. Throws EngineError when a Halftone call fails.
  void Halftone(HalftoneContext *ht, uint32_t y, const uint8_t *source, uint8_t *dots) const;
};

// Halftones every row of `source` into each of `sinks`, on the calling
// thread alone (Finish is left to the caller). Calls `rowDone` after each
// row. Throws EngineError when a Halftone call fails.
void DrivePage(HalftoneContext *ht, RowSource &source, std::span<PlaneSink *const> sinks,
               const BandLayout &layout, const std::function<void(uint32_t)> &rowDone = {});
inline void DrivePage(HalftoneContext *ht, RowSource &source, PlaneSink &sink,
                      const BandLayout &layout,
                      const std::function<void(uint32_t)> &rowDone = {}) {
  PlaneSink *const sinks[] = {&sink};
  DrivePage(ht, source, sinks, layout, rowDone);
}

}  // namespace inkdot::host
