// SPDX-License-Identifier: Apache-2.0
// inkdot profile build and inkdot chart: the profile tools behind the
// command line. Both write under a temporary name and rename when complete.
#include <unistd.h>

#include <memory>

#include "commands.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/image.h"
#include "inkdot/host/limits.h"
#include "inkdot/host/output_files.h"
#include "inkdot/host/temporary_files.h"
#include "colour_inversion.h"
#include "measurements.h"
#include "profile_builder.h"
#include "standard_streams.h"

namespace inkdot::cli {

namespace {

constexpr double kChartDpi = 150;

struct BuildArgs {
  std::filesystem::path output;
  std::filesystem::path icc;
  std::filesystem::path measurements;
  std::string intent = "perceptual";
  bool noBlackPointCompensation = false;
};

struct TargetArgs {
  std::filesystem::path output;
  double inkLimit = 240;
};

struct ChartArgs {
  std::filesystem::path output;
  std::string size = "1200x900";
};

int RunBuild(const BuildArgs &args) {
  if (std::filesystem::exists(args.output)) {
    throw host::SettingError(args.output.string() + " already exists; choose a new folder");
  }
  const std::filesystem::path target = std::filesystem::absolute(args.output);
  // A short name whatever the target's length; removed on a stopping signal.
  const std::filesystem::path temporary =
      target.parent_path() / (".inkdot-" + std::to_string(::getpid()) + ".d");
  // The builder stages its work beside the folder it is given.
  std::filesystem::path staging = temporary;
  staging += ".partial";
  host::RegisterTemporary(temporary, host::TemporaryKind::kTree);
  host::RegisterTemporary(staging, host::TemporaryKind::kTree);
  try {
    profile::BuildOptions options;
    options.icc = args.icc;
    options.measurements = args.measurements;
    options.intent = args.intent == "relative" ? profile::Intent::kRelativeColorimetric
                                               : profile::Intent::kPerceptual;
    options.blackPointCompensation = !args.noBlackPointCompensation;
    profile::BuildProfile(temporary, options);
    std::filesystem::rename(temporary, target);
    host::ForgetTemporary(temporary);
    host::ForgetTemporary(staging);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove_all(temporary, ignored);
    host::ForgetTemporary(temporary);
    host::ForgetTemporary(staging);
    throw;
  }
  return 0;
}

int RunTarget(const TargetArgs &args) {
  host::OutputFiles files;
  profile::WriteTargetCgats(files.Add(args.output), profile::TargetPatches(args.inkLimit / 100));
  files.Commit();
  return 0;
}

int RunChart(const ChartArgs &args) {
  const auto [width, height] = ParseSize(args.size, "chart size");
  // Three bytes a pixel, held whole while the chart is drawn.
  if (width > host::kMaxPageSide || height > host::kMaxPageSide ||
      3ull * width * height > host::kDefaultMemoryBudget) {
    throw host::SettingError("chart size " + args.size + " is too large: at most " +
                             std::to_string(host::kMaxPageSide) + " pixels a side and " +
                             host::MebibyteText(host::kDefaultMemoryBudget) + " of pixels");
  }
  profile::RgbImage chart =
      profile::MakeTestChart(static_cast<int>(width), static_cast<int>(height));
  host::RgbImage8 image;
  image.width = static_cast<uint32_t>(chart.width);
  image.height = static_cast<uint32_t>(chart.height);
  image.rgb = std::move(chart.rgb);
  if (image.rgb.size() != static_cast<size_t>(image.width) * image.height * 3) {
    throw host::Error("the test chart has the wrong number of pixels");
  }
  if (IsStandardStream(args.output)) {
    StandardStreams streams;
    const auto file = streams.Output("chart.png");
    host::WritePng(image, kChartDpi, file);
    StandardStreams::CopyToStdout(file);
    return 0;
  }
  host::OutputFiles files;
  host::WritePng(image, kChartDpi, files.Add(args.output), args.output);
  files.Commit();
  return 0;
}

}  // namespace

void AddProfileCommand(CLI::App &app, Runner &run) {
  CLI::App *cmd = app.add_subcommand("profile", "Printer profiles");
  cmd->require_subcommand(1);
  auto args = std::make_shared<BuildArgs>();
  CLI::App *build = cmd->add_subcommand("build", "Write a complete printer profile folder");
  build->add_option("-o,--output", args->output, "Profile folder to create")->required();
  CLI::Option *icc =
      build->add_option("--icc", args->icc, "CMYK output ICC profile (default: built-in separation)");
  build->add_option("--measurements", args->measurements,
                    "CGATS measurements of the printer (CMYK_C..K with LAB_L/A/B or XYZ_X/Y/Z)")
      ->check(CLI::ExistingFile)
      ->excludes(icc);
  build->add_option("--intent", args->intent, "Gamut mapping: perceptual or relative")
      ->check(CLI::IsMember({"perceptual", "relative"}));
  build->add_flag("--no-bpc", args->noBlackPointCompensation,
                  "With --icc: no black-point compensation")->needs(icc);
  build->callback([args, &run] { run = [args] { return RunBuild(*args); }; });
  auto target = std::make_shared<TargetArgs>();
  CLI::App *targetCmd = cmd->add_subcommand("target", "Write a characterisation target (CGATS ink amounts)");
  targetCmd->add_option("-o,--output", target->output, "CGATS file to write")->required();
  targetCmd->add_option("--ink-limit", target->inkLimit, "Most total ink in percent")->check(CLI::Range(100.0, 400.0));
  targetCmd->callback([target, &run] { run = [target] { return RunTarget(*target); }; });
}

void AddChartCommand(CLI::App &app, Runner &run) {
  auto args = std::make_shared<ChartArgs>();
  CLI::App *cmd = app.add_subcommand("chart", "Write the test chart as a PNG");
  cmd->add_option("-o,--output", args->output, "PNG to write; - for standard output")->required();
  cmd->add_option("--size", args->size, "Size WxH in pixels")->capture_default_str();
  cmd->callback([args, &run] { run = [args] { return RunChart(*args); }; });
}

}  // namespace inkdot::cli
