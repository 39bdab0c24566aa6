#include "inkdot/host/print_job.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <set>
#include <thread>

#include "inkdot/host/errors.h"
#include "inkdot/host/output_files.h"
#include "inkdot/host/page_driver.h"
#include "inkdot/host/resample.h"

namespace inkdot::host {

namespace {

constexpr uint32_t kMultiSizeDotMode = 2;

class ResampledSource : public RowSource {
 public:
  ResampledSource(const Image &image, uint32_t width, uint32_t height)
      : resampler_(image, width, height) {}
  uint32_t width() const override { return resampler_.width(); }
  uint32_t height() const override { return resampler_.height(); }
  uint32_t channels() const override { return resampler_.channels(); }
  void ReadRow(uint32_t y, uint8_t *out) override { resampler_.Row(y, out); }

 private:
  Resampler resampler_;
};

struct PageJob {
  std::filesystem::path input;
  uint32_t page = 0;
  std::filesystem::path planes;
  std::filesystem::path preview;
};

std::vector<PageJob> PlanJobs(const std::vector<std::filesystem::path> &inputs,
                              const PrintOutput &output) {
  std::vector<PageJob> jobs;
  std::set<std::filesystem::path> names;
  for (const auto &input : inputs) {
    const uint32_t pages = CountImagePages(input);
    for (uint32_t page = 0; page < pages; ++page) {
      std::string stem = input.stem().string();
      if (pages > 1) stem += "-p" + std::to_string(page + 1);
      PageJob job{input, page, output.dir / (stem + ".tif"), output.dir / (stem + ".png")};
      if (!names.insert(job.planes).second) {
        throw SettingError(input.string() + ": its output " + job.planes.string() +
                           " would overwrite another input's output");
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
  page.colorMode = settings.grey ? 0 : 1;
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

DotPage PrintImage(const Profile &profile, const PrintSettings &settings, const Image &image,
                   const std::function<void(uint32_t, uint32_t)> &rowDone) {
  const double xDpi = settings.inputDpi > 0 ? settings.inputDpi : image.xDpi;
  const double yDpi = settings.inputDpi > 0 ? settings.inputDpi : image.yDpi;
  ResampledSource source(image, DeviceSize(image.width, xDpi, settings.xResolution),
                         DeviceSize(image.height, yDpi, settings.yResolution));

  DotPage page;
  page.width = source.width();
  page.height = source.height();
  page.bitsPerPixel = settings.dotMode == kMultiSizeDotMode ? 2 : 1;
  page.xDpi = settings.xResolution;
  page.yDpi = settings.yResolution;
  if (settings.grey) {
    page.inks = {profile.inks.back()};  // grey input prints the last (black) ink
  } else {
    page.inks = profile.inks;
  }
  page.Allocate();

  PageEngine engine(profile, settings.colour, MakePageParams(settings, page.width));
  DotPageSink sink(page);
  BandLayout layout;
  layout.greyInput = settings.grey;
  layout.greyAsInk = settings.grey && GreyKernelReadsInk(settings.method, settings.dotMode);
  layout.planes = static_cast<uint32_t>(page.inks.size());
  layout.bitsPerPixel = page.bitsPerPixel;
  layout.runLength = settings.runLength;
  const uint32_t height = page.height;
  DrivePage(engine.halftone(), source, sink, layout, [&](uint32_t row) {
    if (rowDone) rowDone(row + 1, height);
  });
  return page;
}

PrintSummary PrintFiles(const Profile &profile, const PrintSettings &settings,
                        const std::vector<std::filesystem::path> &inputs, const PrintOutput &output,
                        unsigned threads, PrintProgress *progress) {
  CheckAgainstProfile(profile, settings);
  const std::vector<PageJob> jobs = PlanJobs(inputs, output);
  // A missing output folder is made, and removed again if printing fails.
  bool madeFolder = false;
  if (!std::filesystem::exists(output.dir)) {
    std::error_code error;
    madeFolder = std::filesystem::create_directories(output.dir, error);
    if (error) {
      throw SettingError(output.dir.string() + ": cannot make the output folder: " +
                         error.message());
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
    }
  } folderGuard{output.dir, madeFolder};
  if (progress) progress->pagesTotal = static_cast<uint32_t>(jobs.size());

  OutputFiles files;
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
        Image image = ReadImagePage(job.input, job.page);
        uint64_t reported = 0;
        DotPage page = PrintImage(profile, settings, image, [&](uint32_t done, uint32_t height) {
          if (!progress) return;
          const uint64_t now = static_cast<uint64_t>(done) * 1000000 / height;
          progress->pageMillionths += now - reported;
          reported = now;
        });
        image = Image();
        WriteDotPageTiff(page, files.Add(job.planes));
        if (output.preview) {
          RgbImage8 preview = RenderPreview(page, output.previewOptions);
          WritePng(preview, PreviewResolution(page, output.previewOptions),
                   files.Add(job.preview));
        }
        std::lock_guard<std::mutex> lock(mutex);
        ++summary.pages;
        summary.devicePixels += static_cast<uint64_t>(page.width) * page.height;
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
    summary.outputs.push_back(job.planes);
    if (output.preview) summary.outputs.push_back(job.preview);
  }
  return summary;
}

}  // namespace inkdot::host
