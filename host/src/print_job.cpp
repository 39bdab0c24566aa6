// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/print_job.h"

#include <time.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <exception>
#include <mutex>
#include <set>
#include <thread>

#include "inkdot/host/errors.h"
#include "inkdot/host/output_files.h"
#include "inkdot/host/page_driver.h"
#include "inkdot/host/resample.h"
#include "inkdot/host/system_errors.h"
#include "inkdot/host/temporary_files.h"
#include "page_outputs.h"
#include "page_stages.h"

namespace inkdot::host {

namespace {

class ResampledSource : public RowSource {
 public:
  explicit ResampledSource(Resampler &resampler) : resampler_(resampler) {}
  uint32_t width() const override { return resampler_.width(); }
  uint32_t height() const override { return resampler_.height(); }
  uint32_t channels() const override { return resampler_.channels(); }
  void ReadRow(uint32_t y, uint8_t *out) override { resampler_.Row(y, out); }
  bool ReadsSourceRows(const BandLayout &layout) const override {
    return !layout.greyInput || resampler_.MakesGreyRows();
  }
  void ReadSourceRow(uint32_t y, const BandLayout &layout, uint8_t *out) override {
    if (layout.greyInput) {
      resampler_.RowGrey(y, out, layout.greyAsInk);
    } else {
      resampler_.RowRgb0(y, out);
    }
  }

 private:
  Resampler &resampler_;
};

// One page of one input, and the files of each of the run's output kinds.
struct PageJob {
  std::filesystem::path input;
  uint32_t page = 0;
  std::vector<std::vector<std::filesystem::path>> files;  // per output kind
};

// The page's name: the input's, "-pN" added for multi-page inputs.
std::string PageStem(const std::filesystem::path &input, uint32_t page, uint32_t pages) {
  std::string stem = input.stem().string();
  if (pages > 1) stem += "-p" + std::to_string(page + 1);
  return stem;
}

std::vector<PageJob> PlanJobs(const std::vector<std::filesystem::path> &inputs,
                              const std::filesystem::path &dir,
                              const std::vector<std::unique_ptr<detail::PageOutput>> &outputs,
                              const DotPage &shape) {
  std::vector<PageJob> jobs;
  std::set<std::filesystem::path> names;
  for (const auto &input : inputs) {
    const uint32_t pages = CountImagePages(input);
    for (uint32_t page = 0; page < pages; ++page) {
      PageJob job{input, page, {}};
      for (const auto &output : outputs) {
        job.files.push_back(output->Names(dir, PageStem(input, page, pages), shape));
        for (const auto &name : job.files.back()) {
          if (!names.insert(name).second) {
            throw SettingError(input.string() + ": its output " + name.string() +
                               " would overwrite another output of the run");
          }
        }
      }
      jobs.push_back(std::move(job));
    }
  }
  return jobs;
}

}  // namespace

HalftoneParams MakePageParams(const PrintSettings &settings, uint32_t width) {
  HalftoneParams page{};
  page.method = settings.method;
  page.methodVariant = settings.methodVariant;
  page.inputFormat = settings.grey ? kGreyInputFormat : kColourInputFormat;
  page.colorMode = settings.grey ? INKDOT_COLOR_GREY : INKDOT_COLOR_TABLE;
  page.xResolution = settings.xResolution;
  page.yResolution = settings.yResolution;
  page.dotMode = settings.dotMode;
  page.magnification = 0;
  page.maxPixels = width;
  return page;
}

void CheckAgainstProfile(const Profile &profile, const PrintSettings &settings) {
  const auto resolution = std::make_pair(settings.xResolution, settings.yResolution);
  if (std::find(profile.resolutions.begin(), profile.resolutions.end(), resolution) ==
      profile.resolutions.end()) {
    std::string offered;
    for (const auto &[x, y] : profile.resolutions) {
      offered += (offered.empty() ? "" : ", ") + std::to_string(x) + "x" + std::to_string(y);
    }
    throw SettingError("the profile " + profile.name + " does not offer " +
                       std::to_string(settings.xResolution) + "x" +
                       std::to_string(settings.yResolution) + " (it offers " + offered + ")");
  }
  if (std::find(profile.dotModes.begin(), profile.dotModes.end(), settings.dotMode) ==
      profile.dotModes.end()) {
    throw SettingError("the profile " + profile.name + " does not offer dot mode " +
                       std::to_string(settings.dotMode));
  }
  if (!settings.grey && profile.inks.size() != 4) {
    throw SettingError("colour printing needs a four-ink profile; " + profile.name + " has " +
                       std::to_string(profile.inks.size()) + " inks");
  }
  CheckColourSettings(settings.colour, profile.inks.size());
}

namespace {

// The page's size, depth, resolution and inks, without planes.
DotPage PageShape(const Profile &profile, const PrintSettings &settings, uint32_t width,
                  uint32_t height) {
  DotPage page;
  page.width = width;
  page.height = height;
  page.bitsPerPixel = settings.dotMode == INKDOT_DOTS_MULTI ? 2 : 1;
  page.xDpi = settings.xResolution;
  page.yDpi = settings.yResolution;
  if (settings.grey) {
    page.inks = {profile.inks.back()};  // grey input prints the last (black) ink
  } else {
    page.inks = profile.inks;
  }
  return page;
}

BandLayout PageBands(const PrintSettings &settings, const DotPage &page) {
  BandLayout layout;
  layout.greyInput = settings.grey;
  layout.greyAsInk = settings.grey && GreyKernelReadsInk(settings.method, settings.dotMode);
  layout.planes = static_cast<uint32_t>(page.inks.size());
  layout.bitsPerPixel = page.bitsPerPixel;
  layout.runLength = settings.runLength;
  return layout;
}

// The page's device size, checked against the page limits: from
// --input-dpi, else the image's own resolution, else one pixel per dot.
PageSize DevicePage(const PrintSettings &settings, const ImageRows &rows,
                    const std::filesystem::path &input) {
  const double xDpi = settings.inputDpi > 0 ? settings.inputDpi : rows.xDpi();
  const double yDpi = settings.inputDpi > 0 ? settings.inputDpi : rows.yDpi();
  return DevicePageSize(input, rows.width(), rows.height(), xDpi, yDpi, settings.xResolution,
                        settings.yResolution);
}

Resampler DeviceResampler(const PrintSettings &settings, ImageRows &rows,
                          const std::filesystem::path &input) {
  const PageSize size = DevicePage(settings, rows, input);
  return Resampler(rows, size.width, size.height);
}

}  // namespace

DotPage PrintImage(const Profile &profile, const PrintSettings &settings, const Image &image,
                   const std::function<void(uint32_t, uint32_t)> &rowDone) {
  std::unique_ptr<ImageRows> rows = RowsOfImage(image);
  Resampler resampler = DeviceResampler(settings, *rows, "the image");
  ResampledSource source(resampler);
  DotPage page = PageShape(profile, settings, source.width(), source.height());
  page.Allocate();

  PageEngine engine(profile, settings.colour, MakePageParams(settings, page.width));
  DotPageSink sink(page);
  const uint32_t height = page.height;
  DrivePage(engine.halftone(), source, sink, PageBands(settings, page), [&](uint32_t row) {
    if (rowDone) rowDone(row + 1, height);
  });
  return page;
}

namespace {

// Prints one page from its rows to each kind of output, streaming: rows
// flow from the reader through the resampler and the engine into the
// outputs' sinks. Returns the page's device pixels. `temporaries` are the
// files the outputs write (per kind, as job.files); messages name the
// job's own, and its input.
uint64_t PrintPageRows(const Profile &profile, const PrintSettings &settings, ImageRows &rows,
                       const PageJob &job,
                       const std::vector<std::unique_ptr<detail::PageOutput>> &outputs,
                       const std::vector<std::vector<std::filesystem::path>> &temporaries,
                       const std::function<void(uint32_t, uint32_t)> &rowDone) {
  Resampler resampler = DeviceResampler(settings, rows, job.input);
  ResampledSource source(resampler);
  const DotPage shape = PageShape(profile, settings, source.width(), source.height());
  std::vector<std::unique_ptr<PlaneSink>> owned;
  std::vector<PlaneSink *> sinks;
  for (size_t i = 0; i < outputs.size(); ++i) {
    owned.push_back(outputs[i]->Open(shape, temporaries[i], job.files[i]));
    sinks.push_back(owned.back().get());
  }
  PageEngine engine(profile, settings.colour, MakePageParams(settings, shape.width));
  const auto engineRowDone = [&](uint32_t row) {
    if (rowDone) rowDone(row + 1, shape.height);
  };

  const BandLayout bands = PageBands(settings, shape);
  if (settings.pageThreads <= 1) {
    DrivePage(engine.halftone(), source, sinks, bands, engineRowDone);
  } else {
    detail::RunPageStages(engine.halftone(), source, bands, sinks, settings.pageThreads,
                          engineRowDone);
  }
  for (PlaneSink *sink : sinks) sink->Finish();
  return static_cast<uint64_t>(shape.width) * shape.height;
}

// CPU seconds the calling thread has used so far.
double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

uint64_t PrintPage(const Profile &profile, const PrintSettings &settings, const PageJob &job,
                   const std::vector<std::unique_ptr<detail::PageOutput>> &outputs,
                   const std::vector<std::vector<std::filesystem::path>> &temporaries,
                   const std::function<void(uint32_t, uint32_t)> &rowDone) {
  std::unique_ptr<ImageRows> rows =
      OpenImagePage(job.input, job.page, settings.colourInput, settings.memoryBudget);
  return PrintPageRows(profile, settings, *rows, job, outputs, temporaries, rowDone);
}

// The run's kinds of output: the planes, then the preview when asked for.
std::vector<std::unique_ptr<detail::PageOutput>> OutputKinds(const Profile &profile,
                                                             const PrintSettings &settings,
                                                             const PrintOutput &output) {
  std::vector<std::unique_ptr<detail::PageOutput>> kinds;
  kinds.push_back(detail::PlanesOutput(output.format, output.compression));
  if (output.preview) {
    PreviewOptions options = output.previewOptions;
    if (!options.printer) options.printer = profile.printer;
    kinds.push_back(detail::PreviewOutput(options, settings.memoryBudget));
  }
  return kinds;
}

}  // namespace

uint64_t PrintRows(const Profile &profile, const PrintSettings &settings, ImageRows &rows,
                   const std::filesystem::path &planesPath, PlaneCompression compression,
                   const std::function<void(uint32_t, uint32_t)> &rowDone) {
  CheckAgainstProfile(profile, settings);
  std::vector<std::unique_ptr<detail::PageOutput>> outputs;
  outputs.push_back(detail::PlanesOutput(PlaneFormat::kTiff, compression));
  const PageJob job{"the page's rows", 0, {{planesPath}}};
  return PrintPageRows(profile, settings, rows, job, outputs, job.files, rowDone);
}

PrintSummary PrintFiles(const Profile &profile, const PrintSettings &settings,
                        const std::vector<std::filesystem::path> &inputs, const PrintOutput &output,
                        unsigned threads, PrintProgress *progress) {
  CheckAgainstProfile(profile, settings);
  const std::vector<std::unique_ptr<detail::PageOutput>> outputs =
      OutputKinds(profile, settings, output);
  const std::vector<PageJob> jobs =
      PlanJobs(inputs, output.dir, outputs, PageShape(profile, settings, 0, 0));
  // A missing output folder is made, and removed again if printing fails.
  bool madeFolder = false;
  if (!std::filesystem::exists(output.dir)) {
    std::error_code error;
    RegisterTemporary(output.dir, TemporaryKind::kEmptyFolder);
    madeFolder = std::filesystem::create_directories(output.dir, error);
    if (error) {
      ForgetTemporary(output.dir);
      throw SettingError(output.dir.string() + ": cannot make the output folder: " +
                         PlainReason(error));
    }
  } else if (!std::filesystem::is_directory(output.dir)) {
    throw SettingError(output.dir.string() + ": the output path is not a folder");
  }
  struct FolderGuard {
    const std::filesystem::path &dir;
    bool remove;
    ~FolderGuard() {
      std::error_code ignored;
      if (remove) std::filesystem::remove(dir, ignored);  // only removes it when empty
      ForgetTemporary(dir);
    }
  } folderGuard{output.dir, madeFolder};
  if (progress) progress->pagesTotal = static_cast<uint32_t>(jobs.size());

  // Every output's temporary file is made before any page starts, so that a
  // refused target (an input, a folder, a device) fails the run at once.
  OutputFiles files;
  for (const auto &input : inputs) files.Protect(input);
  std::vector<std::vector<std::vector<std::filesystem::path>>> temporaries;
  for (const PageJob &job : jobs) {
    auto &page = temporaries.emplace_back();
    for (const auto &names : job.files) {
      auto &kind = page.emplace_back();
      for (const auto &name : names) kind.push_back(files.Add(name));
    }
  }
  PrintSummary summary;
  std::mutex mutex;
  std::exception_ptr failure;
  std::atomic<size_t> next{0};
  std::atomic<bool> stop{false};

  auto worker = [&]() {
    while (!stop) {
      const size_t index = next++;
      if (index >= jobs.size()) return;
      const PageJob &job = jobs[index];
      try {
        uint64_t reported = 0;
        const double cpuBefore = ThreadCpuSeconds();
        const uint64_t pixels = PrintPage(
            profile, settings, job, outputs, temporaries[index],
            [&](uint32_t done, uint32_t height) {
              if (!progress) return;
              const uint64_t now = static_cast<uint64_t>(done) * 1000000 / height;
              progress->pageMillionths += now - reported;
              reported = now;
            });
        const double cpu = ThreadCpuSeconds() - cpuBefore;
        std::lock_guard<std::mutex> lock(mutex);
        ++summary.pages;
        summary.devicePixels += pixels;
        summary.engineSeconds += cpu;
        if (progress) ++progress->pagesDone;
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failure) failure = std::current_exception();
        stop = true;
      }
    }
  };

  const unsigned count = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(jobs.size())));
  std::vector<std::thread> pool;
  for (unsigned i = 1; i < count; ++i) pool.emplace_back(worker);
  worker();
  for (std::thread &thread : pool) thread.join();
  if (failure) std::rethrow_exception(failure);

  files.Commit();
  folderGuard.remove = false;
  for (const PageJob &job : jobs) {
    for (const auto &names : job.files)
      summary.outputs.insert(summary.outputs.end(), names.begin(), names.end());
  }
  return summary;
}

}  // namespace inkdot::host
