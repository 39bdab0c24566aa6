// SPDX-License-Identifier: Apache-2.0
// rastertoinkdot: the CUPS filter. Reads CUPS raster pages (standard input
// or the file argument), halftones each through the profile with the job's
// settings and writes the dot planes as a page stream on standard output.
// Messages go to standard error with the prefixes the scheduler reads.
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "inkdot/host/errors.h"
#include "inkdot/host/print_job.h"
#include "inkdot/host/profile.h"
#include "job_options.h"
#include "page_stream.h"
#include "raster_rows.h"

namespace {

std::atomic<bool> cancelled{false};

extern "C" void OnTerminate(int) { cancelled = true; }

// Thrown between rows once the scheduler has asked the job to stop.
struct Cancelled {};

// The bundled profile: beside an installed filter (prefix/lib/cups/filter
// next to prefix/share, whatever prefix the install chose), at the prefix
// the build was configured for, or in the build tree.
std::filesystem::path ProfileDir() {
  std::vector<std::filesystem::path> candidates;
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    candidates.push_back(self.parent_path() / "../../../share/inkdot/profiles/default");
  }
  candidates.emplace_back(INKDOT_FILTER_PROFILE_DIR);
  if (!error) candidates.push_back(self.parent_path() / INKDOT_BUILD_PROFILE_RELATIVE);
  for (const std::filesystem::path &dir : candidates) {
    if (std::filesystem::exists(dir / "profile.json")) return dir.lexically_normal();
  }
  throw inkdot::host::SettingError("no printer profile at " +
                                   std::string(INKDOT_FILTER_PROFILE_DIR));
}

// A scratch file for one page's planes, removed when the page is done with.
class PageFile {
 public:
  PageFile() {
    std::string name = (std::filesystem::temp_directory_path() / "inkdot-page-XXXXXX").string();
    const int fd = mkstemp(name.data());
    if (fd < 0) throw inkdot::host::Error("cannot make a scratch file in " + name);
    close(fd);
    path_ = name;
  }
  ~PageFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  PageFile(const PageFile &) = delete;
  PageFile &operator=(const PageFile &) = delete;
  const std::filesystem::path &path() const { return path_; }

 private:
  std::filesystem::path path_;
};

int RunFilter(int argc, char **argv) {
  const std::filesystem::path profileDir = ProfileDir();
  std::fprintf(stderr, "DEBUG: Profile %s\n", profileDir.c_str());
  const inkdot::host::Profile profile = inkdot::host::LoadProfile(profileDir);
  const inkdot::cups::JobOptions options = inkdot::cups::ParseJobOptions(argv[5]);
  const inkdot::host::PrintSettings chosen = inkdot::cups::SettingsFromOptions(options, profile);

  int fd = 0;
  if (argc == 7) {
    fd = open(argv[6], O_RDONLY);
    if (fd < 0) throw inkdot::host::Error(std::string(argv[6]) + ": cannot open the raster");
  }
  cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
  if (!raster) throw inkdot::host::Error("cannot read the raster stream");
  struct Closer {
    cups_raster_t *raster;
    int fd;
    ~Closer() {
      cupsRasterClose(raster);
      if (fd > 0) close(fd);
    }
  } closer{raster, fd};

  inkdot::cups::PageStreamWriter stream(stdout);
  cups_page_header2_t header;
  while (cupsRasterReadHeader2(raster, &header)) {
    if (cancelled) throw Cancelled{};
    const uint32_t number = stream.pages() + 1;
    try {
      inkdot::cups::CheckRasterHeader(header);
    } catch (const inkdot::host::Error &error) {
      throw inkdot::host::Error("page " + std::to_string(number) + ": " + error.what());
    }
    inkdot::host::PrintSettings settings = chosen;
    settings.xResolution = header.HWResolution[0];
    settings.yResolution = header.HWResolution[1];
    settings.grey = inkdot::cups::IsGreyRaster(header);
    std::fprintf(stderr, "INFO: Printing page %u (%ux%u pixels at %ux%u dpi)\n", number,
                 header.cupsWidth, header.cupsHeight, header.HWResolution[0],
                 header.HWResolution[1]);

    inkdot::cups::RasterRows rows(raster, header);
    PageFile page;
    try {
      inkdot::host::PrintRows(profile, settings, rows, page.path(),
                              inkdot::host::PlaneCompression::kFast,
                              [](uint32_t, uint32_t) {
                                if (cancelled) throw Cancelled{};
                              });
    } catch (const inkdot::host::Error &error) {
      throw inkdot::host::Error("page " + std::to_string(number) + ": " + error.what());
    }
    stream.AddPage(page.path());
    std::fprintf(stderr, "PAGE: %u 1\n", number);
  }
  if (stream.pages() == 0) throw inkdot::host::Error(
        "the job holds no raster pages (the input is empty or not CUPS raster)");
  stream.Finish();
  std::fprintf(stderr, "INFO: Printed %u page%s\n", stream.pages(),
               stream.pages() == 1 ? "" : "s");
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 6 || argc > 7) {
    std::fprintf(stderr, "Usage: rastertoinkdot job user title copies options [file]\n");
    return 1;
  }
  // Raster and device data are binary; stderr lines must reach the
  // scheduler as they are written.
  std::setvbuf(stderr, nullptr, _IOLBF, 0);
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  try {
    return RunFilter(argc, argv);
  } catch (const Cancelled &) {
    std::fprintf(stderr, "INFO: Job cancelled\n");
    return 0;
  } catch (const std::exception &error) {
    std::fprintf(stderr, "ERROR: %s\n", error.what());
    return 1;
  }
}
