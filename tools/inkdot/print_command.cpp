// SPDX-License-Identifier: Apache-2.0
// inkdot print: images to dot planes (and previews) through a profile.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "commands.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/limits.h"
#include "inkdot/host/page_driver.h"
#include "inkdot/host/print_job.h"
#include "inkdot/host/profile.h"
#include "inkdot/host/system_errors.h"
#include "progress_display.h"
#include "standard_streams.h"

namespace inkdot::cli {

namespace {

struct PrintArgs {
  std::vector<std::filesystem::path> images;
  std::filesystem::path output;
  std::filesystem::path profile;
  std::string resolution = "1440x720";
  std::string dots = "variable";
  std::string method = "diffusion";
  bool gray = false;
  int brightness = 0;
  int contrast = 0;
  int saturation = 0;
  double gamma = 0;
  std::vector<int> offsets;
  std::filesystem::path toneCurves;
  std::vector<int> calibration;
  bool preview = false;
  uint32_t previewDpi = 150;
  std::optional<double> inputDpi;  // unset: the image's own resolution
  std::filesystem::path inputProfile;
  std::string intent = "perceptual";
  bool blackPointCompensation = false;
  unsigned jobs = 0;
  unsigned pageThreads = 4;
  std::string format = "tiff";
  std::string compression = "fast";
  bool quiet = false;
  uint64_t memoryLimit = host::kDefaultMemoryBudget >> 20;  // MiB
};

// The most a tone-curves file holds: three curves of 256 entries.
constexpr uint64_t kToneCurveBytes = 768;
// The largest ICC profile taken for --input-profile; real ones are a few
// kilobytes to a few megabytes.
constexpr uint64_t kIccProfileBytes = 64ull << 20;

uint32_t DotModeFor(const std::string &dots, const host::Profile &profile) {
  if (dots == "variable") return INKDOT_DOTS_MULTI;
  // Single-size dots: the first such mode the profile offers.
  for (uint32_t mode : profile.dotModes) {
    if (mode != INKDOT_DOTS_MULTI) return mode;
  }
  throw host::SettingError("the profile " + profile.name + " offers no single-size dot mode");
}

// Refuses a method and dot size the engine has no kernel for, before any
// work, naming the combinations the profile does offer.
void CheckKernelExists(const PrintArgs &args, const host::Profile &profile,
                       const host::PrintSettings &settings) {
  if (host::HasKernel(settings.method, settings.dotMode)) return;
  std::string offered;
  for (const char *dots : {"variable", "single"}) {
    uint32_t dotMode = INKDOT_DOTS_MULTI;
    if (std::string(dots) == "single") {
      auto single = std::find_if(profile.dotModes.begin(), profile.dotModes.end(),
                                 [](uint32_t mode) { return mode != INKDOT_DOTS_MULTI; });
      if (single == profile.dotModes.end()) continue;
      dotMode = *single;
    } else if (std::find(profile.dotModes.begin(), profile.dotModes.end(), dotMode) ==
               profile.dotModes.end()) {
      continue;
    }
    std::string methods;
    for (const auto &[name, choice] : profile.methods) {
      if (host::HasKernel(choice.method, dotMode)) methods += (methods.empty() ? "" : ", ") + name;
    }
    if (methods.empty()) continue;
    offered += (offered.empty() ? "" : "; ") + std::string("--dots ") + dots + " with " + methods;
  }
  throw host::SettingError("--method " + args.method + " has no halftone kernel with --dots " +
                           args.dots + " (the combinations that exist: " + offered + ")");
}

int PrintWith(const PrintArgs &args, StandardStreams &streams) {
  const auto started = std::chrono::steady_clock::now();
  const std::filesystem::path profileDir =
      args.profile.empty() ? DefaultProfileDir() : args.profile;
  const host::Profile profile = host::LoadProfile(profileDir);

  host::PrintSettings settings;
  const auto [x, y] = ParseSize(args.resolution, "resolution");
  settings.xResolution = x;
  settings.yResolution = y;
  settings.dotMode = DotModeFor(args.dots, profile);
  auto method = profile.methods.find(args.method);
  if (method == profile.methods.end()) {
    throw host::SettingError("the profile " + profile.name + " has no method \"" + args.method +
                             "\"");
  }
  settings.method = method->second.method;
  settings.methodVariant = method->second.variant;
  CheckKernelExists(args, profile, settings);
  settings.grey = args.gray;
  if (args.inputDpi) {
    host::CheckInputDpi(*args.inputDpi, "--input-dpi");
    settings.inputDpi = *args.inputDpi;
  }
  settings.memoryBudget = args.memoryLimit << 20;
  if (!args.inputProfile.empty()) {
    settings.colourInput.profile =
        host::ReadCappedFile(args.inputProfile, kIccProfileBytes, "ICC profile");
    settings.colourInput.profileName = args.inputProfile.string();
  }
  settings.colourInput.intent = args.intent == "relative"     ? host::RenderingIntent::kRelative
                                : args.intent == "saturation" ? host::RenderingIntent::kSaturation
                                : args.intent == "absolute"   ? host::RenderingIntent::kAbsolute
                                                              : host::RenderingIntent::kPerceptual;
  settings.colourInput.blackPointCompensation = args.blackPointCompensation;
  settings.pageThreads = args.pageThreads;
  host::ColourSettings &colour = settings.colour;
  colour.brightness = args.brightness;
  colour.contrast = args.contrast;
  colour.saturation = args.saturation;
  if (!args.offsets.empty()) {
    colour.redOffset = args.offsets[0];
    colour.greenOffset = args.offsets[1];
    colour.blueOffset = args.offsets[2];
  }
  if (args.gamma != 0) {
    if (!(args.gamma >= 1.0 && args.gamma <= 3.0)) {
      throw host::SettingError("gamma " + std::to_string(args.gamma) + " is outside 1.0..3.0");
    }
    colour.gamma = static_cast<int32_t>(std::lround(args.gamma * 100));
  }
  if (!args.toneCurves.empty()) {
    colour.toneCurves = host::ReadCappedFile(args.toneCurves, kToneCurveBytes, "tone curves");
    if (colour.toneCurves.size() != kToneCurveBytes) {
      throw host::SettingError(args.toneCurves.string() + ": tone curves must be 768 bytes (red, "
                               "green, blue), not " +
                               std::to_string(colour.toneCurves.size()));
    }
  }
  for (int value : args.calibration) {
    if (value < 30 || value > 70) {
      throw host::SettingError("calibration value " + std::to_string(value) +
                               " is outside 30..70");
    }
    colour.calibration.push_back(static_cast<uint8_t>(value));
  }

  const bool toStdout = IsStandardStream(args.output);
  std::vector<std::filesystem::path> images;
  for (const auto &image : args.images) images.push_back(streams.Input(image, "stdin"));
  if (toStdout) {
    uint32_t pages = 0;
    for (const auto &image : images) pages += host::CountImagePages(image);
    if (pages != 1 || args.preview || args.format != "tiff") {
      throw host::SettingError("-o - writes a single output to standard output: one page (here " +
                               std::to_string(pages) + "), --format tiff and no --preview");
    }
  }

  host::PrintOutput output;
  output.dir = toStdout ? streams.Output("out") : args.output;
  output.preview = args.preview;
  output.previewOptions.dpi = args.previewDpi;
  output.format = args.format == "netpbm" ? host::PlaneFormat::kNetpbm : host::PlaneFormat::kTiff;
  output.compression = args.compression == "fast"       ? host::PlaneCompression::kFast
                       : args.compression == "packbits" ? host::PlaneCompression::kPackBits
                       : args.compression == "none"     ? host::PlaneCompression::kNone
                                                        : host::PlaneCompression::kDeflate;
  if (args.preview && args.previewDpi == 0) {
    throw host::SettingError("--preview-dpi must be above 0");
  }
  unsigned threads = args.jobs ? args.jobs : std::max(1u, std::thread::hardware_concurrency());

  host::PrintProgress progress;
  host::PrintSummary summary;
  {
    ProgressDisplay display(progress, !args.quiet);
    summary = host::PrintFiles(profile, settings, images, output, threads, &progress);
  }
  if (toStdout) {
    StandardStreams::CopyToStdout(summary.outputs.at(0));
    return 0;  // standard output holds the planes alone
  }
  if (!args.quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double megapixels = summary.devicePixels / 1e6;
    std::printf("%u page%s, %.1f megapixels, %.2f s, %.1f megapixels/s, engine threads %.2f CPU s\n",
                summary.pages, summary.pages == 1 ? "" : "s", megapixels, seconds,
                seconds > 0 ? megapixels / seconds : 0.0, summary.engineSeconds);
  }
  return 0;
}

int RunPrint(const PrintArgs &args) {
  StandardStreams streams;
  try {
    return PrintWith(args, streams);
  } catch (const host::Error &e) {
    // Messages about standard input's private copy name it as the user did.
    throw host::Error(streams.Reword(e.what()));
  }
}

}  // namespace

void AddPrintCommand(CLI::App &app, Runner &run) {
  auto args = std::make_shared<PrintArgs>();
  CLI::App *cmd = app.add_subcommand(
      "print", "Halftone images into dot planes (one TIFF per page, or a netpbm file per ink)");
  cmd->add_option("images", args->images, "PNG, TIFF, JPEG, PGM or PPM images; - reads standard input")->required();
  cmd->add_option("-o,--output", args->output,
                  "Folder for the dot planes; - writes a single page's planes to standard output")
      ->required();
  cmd->add_option("--profile", args->profile, "Printer profile folder (default: the bundled one)");
  cmd->add_option("--resolution", args->resolution, "Device resolution XxY")->capture_default_str();
  cmd->add_option("--dots", args->dots, "Dot sizes")
      ->check(CLI::IsMember({"single", "variable"}))
      ->capture_default_str();
  cmd->add_option("--method", args->method, "Halftoning method")
      ->check(CLI::IsMember({"diffusion", "screen", "dither", "midpoint"}))
      ->capture_default_str();
  cmd->add_flag("--gray", args->gray, "Print in black ink only (grey input)");
  cmd->add_option("--brightness", args->brightness, "-50..50");
  cmd->add_option("--contrast", args->contrast, "-50..50");
  cmd->add_option("--saturation", args->saturation, "-50..50");
  cmd->add_option("--gamma", args->gamma, "1.0..3.0 (default 1.5)");
  cmd->add_option("--offsets", args->offsets, "Red, green, blue offsets R,G,B (-50..50 each)")
      ->delimiter(',')
      ->expected(3);
  cmd->add_option("--tone-curves", args->toneCurves,
                  "File of 768 bytes: red, green and blue curves of 256 entries");
  cmd->add_option("--calibration", args->calibration,
                  "Per-ink calibration values V0,V1,... (30..70, one per ink)")
      ->delimiter(',');
  cmd->add_flag("--preview", args->preview, "Also write a preview PNG per page");
  cmd->add_option("--preview-dpi", args->previewDpi, "Preview resolution")->capture_default_str();
  cmd->add_option(
      "--input-dpi", args->inputDpi,
      "Image resolution, above 0 (default: the image's own, else one image pixel per dot)");
  cmd->add_option("--input-profile", args->inputProfile,
                  "ICC profile of the images, in place of their own (untagged images are "
                  "taken as sRGB; CMYK images need one)");
  cmd->add_option("--intent", args->intent, "Rendering intent from the images' profiles to sRGB")
      ->check(CLI::IsMember({"perceptual", "relative", "saturation", "absolute"}))
      ->capture_default_str();
  cmd->add_flag("--black-point-compensation,--bpc", args->blackPointCompensation,
                "Map the images' black point to sRGB's");
  cmd->add_option("-j,--jobs", args->jobs, "Pages at a time (default: the number of cores)");
  cmd->add_option("--threads", args->pageThreads,
                  "Threads per page: 1 in turn, 2 writes on its own thread, 3 also reads on "
                  "its own, 4 and up share the planes' writing out")
      ->check(CLI::Range(1u, 8u))
      ->capture_default_str();
  cmd->add_option("--format", args->format,
                  "Dot planes' files: tiff (one per page, an image per ink) or netpbm (a PBM "
                  "per ink for single dots, a PGM of maxval 3 for variable dots)")
      ->check(CLI::IsMember({"tiff", "netpbm"}))
      ->capture_default_str();
  cmd->add_option("--compression", args->compression,
                  "TIFF planes' compression: fast (deflate at its fastest level), deflate "
                  "(deflate at a middle level: files a few per cent smaller, deflate taking "
                  "half as long again), packbits (about half the size of none, little time) "
                  "or none")
      ->check(CLI::IsMember({"deflate", "fast", "packbits", "none"}))
      ->capture_default_str();
  cmd->add_option("--memory-limit", args->memoryLimit,
                  "MiB one input may take when it must be decoded whole (interlaced PNG, tiled "
                  "TIFF)")
      ->check(CLI::Range(uint64_t{1}, uint64_t{1} << 20))
      ->capture_default_str();
  cmd->add_flag("-q,--quiet", args->quiet, "No progress bar and no summary");
  cmd->callback([args, &run] { run = [args] { return RunPrint(*args); }; });
}

}  // namespace inkdot::cli
