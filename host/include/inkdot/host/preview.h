/* SPDX-License-Identifier: Apache-2.0 */
// Preview of dot planes: what the page would look like. With the profile's
// printer model (four inks), each pixel is the model's mixture of the ink
// combinations its dots make, and pixels are averaged as the model
// averages them (Yule–Nielsen); a measured printer's colour is its measured
// relation at the area's mean ink coverage. Without one, each dot covers a share of its
// pixel by its size and the inks are composited subtractively with their
// display colours (reflectances multiply in linear light). Either way the
// result is averaged down to a viewing resolution, or shown 1:1 on a crop to
// see the dot structure.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "inkdot/host/dot_page.h"
#include "inkdot/host/image.h"
#include "inkdot/host/printer_model.h"

namespace inkdot::host {

struct PreviewOptions {
  uint32_t dpi = 150;  // viewing resolution; capped at the device resolution
  bool crop = false;   // true: the region below at 1:1, no averaging
  uint32_t cropX = 0, cropY = 0, cropWidth = 0, cropHeight = 0;
  std::optional<PrinterModel> printer;  // the profile's printer, for four-ink pages
};

// Share of a pixel that a dot code covers, in 1/256, where there is no
// printer model: 1-bit planes use {0, 256}; 2-bit planes {none, small,
// medium, large} at the default printer's dot sizes.
uint32_t DotCoverage(uint32_t bitsPerPixel, uint8_t code);

// Builds a preview from dot rows as they are made, top to bottom, holding
// one row of sums rather than the page.
class PreviewBuilder {
 public:
  // `page` gives the size, depth, resolution and inks; its planes are not
  // read. Throws SettingError for a crop outside the page or a zero
  // resolution.
  PreviewBuilder(const DotPage &page, const PreviewOptions &options);
  // Row y of every plane, plane k at planes + k * planeStride; rows come in
  // order, every one of them.
  void AddRow(uint32_t y, const uint8_t *planes, size_t planeStride);
  // The preview, once the last row is in.
  RgbImage8 Finish();

 private:
  void Flush();
  void BuildModelMixes(const PrinterModel &model);
  void BuildDisplayColourMixes(const DotPage &page);
  void BuildSpread();
  void Mix(uint32_t k, uint32_t code, uint32_t *r, uint32_t *g, uint32_t *b) const;

  uint32_t bitsPerPixel_, planeCount_, codes_ = 2;
  uint32_t x0_ = 0, y0_ = 0, width_, height_;
  std::vector<uint32_t> factor_;  // per plane and code, the reflectance of each channel
  // Values summed per pixel: reflectances (three) without a model, the
  // model's area terms (up to four) with one.
  static constexpr int kTerms = 4;
  std::vector<uint32_t> mixed_;   // per combination of the planes' codes, its kTerms values
  std::vector<uint64_t> spread_;  // per plane and byte value, its pixels' codes in place
  std::vector<uint64_t> sums_;    // per output pixel, kTerms sums
  std::vector<uint32_t> counts_, column_;
  uint32_t outRow_ = 0;
  std::optional<PrinterModel> model_;   // set when mixing through the printer model
  std::array<uint32_t, 4> white_{};     // the model's paper, for pixels without samples
  RgbImage8 out_;
};

// Throws SettingError for a crop outside the page or a zero resolution.
RgbImage8 RenderPreview(const DotPage &page, const PreviewOptions &options);

// The resolution of the preview RenderPreview makes for `page`.
double PreviewResolution(const DotPage &page, const PreviewOptions &options);

}  // namespace inkdot::host
