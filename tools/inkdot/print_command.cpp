// inkdot print: images to dot planes (and previews) through a profile.
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
#include "inkdot/host/print_job.h"
#include "inkdot/host/profile.h"
#include "inkdot/host/system_errors.h"
#include "progress_display.h"

namespace inkdot::cli {

namespace {

constexpr uint32_t kMultiSizeDotMode = 2;

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
  std::optional<double> inputDpi;
  unsigned jobs = 0;
  unsigned pageThreads = 4;
  std::string compression = "deflate";
  bool quiet = false;
  uint64_t memoryLimit = host::kDefaultMemoryBudget >> 20;  // MiB
};

// The most a tone-curves file holds: three curves of 256 entries.
constexpr uint64_t kToneCurveBytes = 768;

uint32_t DotModeFor(const std::string &dots, const host::Profile &profile) {
  if (dots == "variable") return kMultiSizeDotMode;
  // Single-size dots: the first such mode the profile offers.
  for (uint32_t mode : profile.dotModes) {
    if (mode != kMultiSizeDotMode) return mode;
  }
  throw host::SettingError("the profile " + profile.name + " offers no single-size dot mode");
}

int RunPrint(const PrintArgs &args) {
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
  settings.grey = args.gray;
  if (args.inputDpi) {
    host::CheckInputDpi(*args.inputDpi, "--input-dpi");
    settings.inputDpi = *args.inputDpi;
  }
  settings.memoryBudget = args.memoryLimit << 20;
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

  host::PrintOutput output;
  output.dir = args.output;
  output.preview = args.preview;
  output.previewOptions.dpi = args.previewDpi;
  output.compression = args.compression == "fast"   ? host::PlaneCompression::kFast
                       : args.compression == "none" ? host::PlaneCompression::kNone
                                                    : host::PlaneCompression::kDeflate;
  if (args.preview && args.previewDpi == 0) {
    throw host::SettingError("--preview-dpi must be above 0");
  }
  unsigned threads = args.jobs ? args.jobs : std::max(1u, std::thread::hardware_concurrency());

  host::PrintProgress progress;
  host::PrintSummary summary;
  {
    ProgressDisplay display(progress, !args.quiet);
    summary = host::PrintFiles(profile, settings, args.images, output, threads, &progress);
  }
  if (!args.quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double megapixels = summary.devicePixels / 1e6;
    std::printf("%u page%s, %.1f megapixels, %.2f s, %.1f megapixels/s\n", summary.pages,
                summary.pages == 1 ? "" : "s", megapixels, seconds,
                seconds > 0 ? megapixels / seconds : 0.0);
  }
  return 0;
}

}  // namespace

void AddPrintCommand(CLI::App &app, Runner &run) {
  auto args = std::make_shared<PrintArgs>();
  CLI::App *cmd = app.add_subcommand("print", "Halftone images into dot planes (one TIFF per page)");
  cmd->add_option("images", args->images, "PNG, TIFF, PGM or PPM images")->required();
  cmd->add_option("-o,--output", args->output, "Folder for the dot planes")->required();
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
  cmd->add_option("--input-dpi", args->inputDpi,
                  "Image resolution (default: the image's own, else one image pixel per dot)");
  cmd->add_option("-j,--jobs", args->jobs, "Pages at a time (default: the number of cores)");
  cmd->add_option("--threads", args->pageThreads,
                  "Threads per page: 1 in turn, 2 writes on its own thread, 3 also reads on "
                  "its own, 4 and up share the planes' writing out")
      ->check(CLI::Range(1u, 8u))
      ->capture_default_str();
  cmd->add_option("--compression", args->compression,
                  "Dot planes' compression: deflate, fast (deflate at its fastest level: "
                  "larger files, less time) or none")
      ->check(CLI::IsMember({"deflate", "fast", "none"}))
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
