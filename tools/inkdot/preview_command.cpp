// SPDX-License-Identifier: Apache-2.0
// inkdot preview: a PNG of what earlier dot planes would look like.
#include <algorithm>
#include <memory>

#include "commands.h"
#include "inkdot/host/dot_page.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/limits.h"
#include "inkdot/host/output_files.h"
#include "inkdot/host/preview.h"
#include "inkdot/host/profile.h"
#include "standard_streams.h"

namespace inkdot::cli {

namespace {

struct PreviewArgs {
  std::filesystem::path planes;
  std::filesystem::path output;
  uint32_t dpi = 150;
  std::vector<uint32_t> crop;
  std::filesystem::path profile;  // its printer simulates the print; empty: ink colours
  uint64_t memoryLimit = host::kDefaultMemoryBudget >> 20;  // MiB
};

int RunPreview(const PreviewArgs &args) {
  // The target is checked before the planes are read: a preview never
  // replaces its own planes.
  host::OutputFiles files;
  files.Protect(args.planes);
  const bool toStdout = IsStandardStream(args.output);
  const std::filesystem::path temporary = toStdout ? std::filesystem::path() : files.Add(args.output);
  host::DotPage page = host::ReadDotPageTiff(args.planes, args.memoryLimit << 20);
  host::PreviewOptions options;
  options.dpi = args.dpi;
  if (!args.profile.empty()) options.printer = host::LoadProfile(args.profile).printer;
  if (!args.crop.empty()) {
    options.crop = true;
    options.cropX = args.crop[0];
    options.cropY = args.crop[1];
    options.cropWidth = args.crop[2];
    options.cropHeight = args.crop[3];
  }
  // A preview never has more pixels than the page on either axis.
  const double dpi = args.dpi;
  host::CheckPreviewSize(
      args.output,
      options.crop ? options.cropWidth : page.width * std::min<double>(dpi, page.xDpi) / page.xDpi,
      options.crop ? options.cropHeight : page.height * std::min<double>(dpi, page.yDpi) / page.yDpi,
      args.memoryLimit << 20);
  host::RgbImage8 image = host::RenderPreview(page, options);
  if (toStdout) {
    StandardStreams streams;
    const auto file = streams.Output("preview.png");
    host::WritePng(image, host::PreviewResolution(page, options), file);
    StandardStreams::CopyToStdout(file);
    return 0;
  }
  host::WritePng(image, host::PreviewResolution(page, options), temporary, args.output);
  files.Commit();
  return 0;
}

}  // namespace

void AddPreviewCommand(CLI::App &app, Runner &run) {
  auto args = std::make_shared<PreviewArgs>();
  CLI::App *cmd = app.add_subcommand("preview", "Render dot planes as an sRGB PNG");
  cmd->add_option("planes", args->planes, "Dot planes written by inkdot print")->required();
  cmd->add_option("-o,--output", args->output, "PNG to write; - for standard output")
      ->required();
  cmd->add_option("--dpi", args->dpi, "Viewing resolution")->capture_default_str();
  cmd->add_option("--crop", args->crop, "Show X,Y,W,H at 1:1 (device pixels) to see the dots")
      ->delimiter(',')
      ->expected(4);
  cmd->add_option("--profile", args->profile,
                  "Profile whose printer the planes were printed for: the preview simulates it");
  cmd->add_option("--memory-limit", args->memoryLimit, "MiB the dot planes may take")
      ->check(CLI::Range(uint64_t{1}, uint64_t{1} << 20))
      ->capture_default_str();
  cmd->callback([args, &run] { run = [args] { return RunPreview(*args); }; });
}

}  // namespace inkdot::cli
