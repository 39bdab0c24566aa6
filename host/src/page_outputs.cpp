// SPDX-License-Identifier: Apache-2.0
#include "page_outputs.h"

#include <algorithm>

#include "inkdot/host/image.h"
#include "inkdot/host/limits.h"
#include "netpbm_planes.h"

namespace inkdot::host::detail {

namespace {

class TiffOutput : public PageOutput {
 public:
  explicit TiffOutput(PlaneCompression compression) : compression_(compression) {}
  std::vector<std::filesystem::path> Names(const std::filesystem::path &dir,
                                           const std::string &stem,
                                           const DotPage &) const override {
    return {dir / (stem + ".tif")};
  }
  std::unique_ptr<PlaneSink> Open(const DotPage &shape,
                                  const std::vector<std::filesystem::path> &files,
                                  const std::vector<std::filesystem::path> &shownAs) const override {
    return std::make_unique<DotPageWriter>(shape, files.at(0), compression_, shownAs.at(0));
  }

 private:
  PlaneCompression compression_;
};

class NetpbmOutput : public PageOutput {
 public:
  std::vector<std::filesystem::path> Names(const std::filesystem::path &dir,
                                           const std::string &stem,
                                           const DotPage &shape) const override {
    std::vector<std::filesystem::path> names;
    for (const Ink &ink : shape.inks)
      names.push_back(dir / NetpbmPlaneName(stem, ink.name, shape.bitsPerPixel));
    return names;
  }
  std::unique_ptr<PlaneSink> Open(const DotPage &shape,
                                  const std::vector<std::filesystem::path> &files,
                                  const std::vector<std::filesystem::path> &shownAs) const override {
    return std::make_unique<NetpbmPlanesWriter>(shape, files, shownAs);
  }
};

// The preview builder, taking whole rows, and the PNG it ends in.
class PreviewSink : public PlaneSink {
 public:
  PreviewSink(const DotPage &shape, const PreviewOptions &options, std::filesystem::path path,
              std::filesystem::path shownAs)
      : builder_(shape, options),
        dpi_(PreviewResolution(shape, options)),
        path_(std::move(path)),
        shownAs_(std::move(shownAs)) {}
  void TakeRow(uint32_t y, const uint8_t *planes, size_t planeStride) override {
    builder_.AddRow(y, planes, planeStride);
  }
  void Finish() override { WritePng(builder_.Finish(), dpi_, path_, shownAs_); }

 private:
  PreviewBuilder builder_;
  double dpi_;
  std::filesystem::path path_, shownAs_;
};

class PngPreviewOutput : public PageOutput {
 public:
  PngPreviewOutput(const PreviewOptions &options, uint64_t memoryBudget)
      : options_(options), memoryBudget_(memoryBudget) {}
  std::vector<std::filesystem::path> Names(const std::filesystem::path &dir,
                                           const std::string &stem,
                                           const DotPage &) const override {
    return {dir / (stem + ".png")};
  }
  std::unique_ptr<PlaneSink> Open(const DotPage &shape,
                                  const std::vector<std::filesystem::path> &files,
                                  const std::vector<std::filesystem::path> &shownAs) const override {
    // A preview never has more pixels than the page on either axis.
    const double dpi = options_.dpi;
    CheckPreviewSize(shownAs.at(0), shape.width * std::min<double>(dpi, shape.xDpi) / shape.xDpi,
                     shape.height * std::min<double>(dpi, shape.yDpi) / shape.yDpi,
                     memoryBudget_);
    return std::make_unique<PreviewSink>(shape, options_, files.at(0), shownAs.at(0));
  }

 private:
  PreviewOptions options_;
  uint64_t memoryBudget_;
};

}  // namespace

std::unique_ptr<PageOutput> PlanesOutput(PlaneFormat format, PlaneCompression compression) {
  if (format == PlaneFormat::kNetpbm) return std::make_unique<NetpbmOutput>();
  return std::make_unique<TiffOutput>(compression);
}

std::unique_ptr<PageOutput> PreviewOutput(const PreviewOptions &options, uint64_t memoryBudget) {
  return std::make_unique<PngPreviewOutput>(options, memoryBudget);
}

}  // namespace inkdot::host::detail
