// SPDX-License-Identifier: Apache-2.0
// rastertoinkdot as the scheduler runs it: raster in, page stream out,
// messages on standard error, a scratch folder of its own as TMPDIR.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "inkdot/host/dot_page.h"
#include "inkdot/host/errors.h"
#include "page_stream.h"
#include "raster_test_support.h"

namespace inkdot::cups {
namespace {

struct FilterRun {
  int status = -1;  // exit status
  std::vector<uint8_t> out;
  std::string err;
};

std::string ReadText(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the filter with `args` after the program name; standard input from
// `input` (a path) or, when `feed` is set, from a pipe handed to `feed`.
FilterRun RunFilter(const std::vector<std::string> &args, const std::filesystem::path &scratch,
              const std::filesystem::path &input = "/dev/null",
              const std::function<void(int fd, pid_t pid)> &feed = {}) {
  const auto outPath = scratch / "out", errPath = scratch / "err", tmp = scratch / "tmp";
  std::filesystem::create_directories(tmp);
  int pipeFds[2] = {-1, -1};
  if (feed && pipe(pipeFds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = feed ? pipeFds[0] : open(input.c_str(), O_RDONLY);
    dup2(in, 0);
    dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    if (feed) close(pipeFds[1]);
    setenv("TMPDIR", tmp.c_str(), 1);
    std::vector<char *> argv = {const_cast<char *>(RASTERTOINKDOT)};
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    execv(RASTERTOINKDOT, argv.data());
    _exit(127);
  }
  if (feed) {
    close(pipeFds[0]);
    feed(pipeFds[1], pid);
    close(pipeFds[1]);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  FilterRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = host::ReadFileBytes(outPath);
  run.err = ReadText(errPath);
  EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "scratch files left behind";
  return run;
}

std::vector<std::string> JobArgs(const std::string &options, const std::string &file = "") {
  std::vector<std::string> args = {"7", "user", "title", "1", options};
  if (!file.empty()) args.push_back(file);
  return args;
}

host::DotPage DecodePage(const std::vector<uint8_t> &tiff, const std::filesystem::path &dir) {
  const auto path = dir / "page.tif";
  testing::WriteFile(path, tiff);
  return host::ReadDotPageTiff(path);
}

// Each raster page becomes one page of the stream, announced to the
// scheduler. What the pages hold, against `inkdot print` of the same
// raster, is checked through a real spooler (Cups.PrintThroughSpooler).
TEST(Filter, ColourAndGreyPagesOfBothDepthsBecomeDotPlanes) {
  testing::TempDir dir;
  const auto raster = dir.path() / "job.ras";
  const auto colour = RasterHeader(CUPS_CSPACE_RGB, 8, 64, 48);
  const auto grey = RasterHeader(CUPS_CSPACE_SW, 16, 32, 16);
  WriteRaster(raster, {{colour, PixelRows(colour, {200, 40, 90})},
                       {grey, PixelRows(grey, {0x4000})}});
  const FilterRun run = RunFilter(JobArgs("InkdotMethod=Screen InkdotDots=Single", raster.string()),
                            dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("PAGE: 1 1\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("PAGE: 2 1\n"), std::string::npos) << run.err;
  const auto pages = ReadPageStream(run.out);
  ASSERT_EQ(pages.size(), 2u);
  const host::DotPage first = DecodePage(pages[0], dir.path());
  EXPECT_EQ(first.bitsPerPixel, 1u);  // single-size dots
  EXPECT_EQ(first.inks.size(), 4u);
  EXPECT_EQ(DecodePage(pages[1], dir.path()).inks.size(), 1u);
}

TEST(Filter, FailuresAreAnErrorLineAndNoFinishedStream) {
  testing::TempDir dir;
  const auto good = RasterHeader(CUPS_CSPACE_RGB, 8, 40, 30);
  const auto cmyk = RasterHeader(CUPS_CSPACE_CMYK, 8, 40, 30);
  std::vector<uint8_t> tenRows = PixelRows(good, {255, 255, 255});
  tenRows.resize(good.cupsBytesPerLine * 10);
  struct Case {
    const char *name;
    std::vector<std::pair<cups_page_header2_t, std::vector<uint8_t>>> pages;
    std::string options;
    const char *message;
  };
  const std::vector<Case> cases = {
      {"page cut short", {{good, tenRows}}, "", "page 1: raster stream ends inside a page"},
      {"CMYK second page",
       {{good, PixelRows(good, {1, 2, 3})}, {cmyk, PixelRows(cmyk, {0, 0, 0, 0})}},
       "",
       "page 2: raster colour space"},
      {"bad option", {{good, PixelRows(good, {1, 2, 3})}}, "InkdotBrightness=80",
       "InkdotBrightness=80"},
      {"no pages", {}, "", "no raster pages"},
  };
  for (const Case &c : cases) {
    const auto raster = dir.path() / "job.ras";
    WriteRaster(raster, c.pages);
    const FilterRun run = RunFilter(JobArgs(c.options, raster.string()), dir.path());
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_EQ(run.err.rfind("ERROR: "), run.err.find("ERROR: ")) << c.name << ": " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << ": " << run.err;
    EXPECT_THROW(ReadPageStream(run.out), host::Error) << c.name;
  }
  const FilterRun usage = RunFilter({"1", "2", "3"}, dir.path());
  EXPECT_EQ(usage.status, 1);
  EXPECT_NE(usage.err.find("Usage: rastertoinkdot job user title copies options [file]"),
            std::string::npos);
}

TEST(Filter, TerminateStopsThePageBetweenRows) {
  testing::TempDir dir;
  const auto header = RasterHeader(CUPS_CSPACE_RGB, 8, 64, 400);
  const auto raster = dir.path() / "job.ras";
  WriteRaster(raster, {{header, PixelRows(header, {10, 200, 30})}});
  const std::vector<uint8_t> bytes = host::ReadFileBytes(raster);
  // The header and a quarter of the rows, then SIGTERM while the filter
  // waits for more, then the rest, as a scheduler's pipe would.
  const size_t split = bytes.size() / 4;
  const FilterRun run = RunFilter(JobArgs(""), dir.path(), "", [&](int fd, pid_t pid) {
    ASSERT_EQ(write(fd, bytes.data(), split), static_cast<ssize_t>(split));
    // The filter sets its handler before it reads, so once it has drained
    // the pipe it is waiting for rows; a slow start (sanitizers, a loaded
    // machine) must not let the signal arrive first.
    int unread = 1;
    for (int tries = 0; tries < 1000 && unread > 0; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      ASSERT_EQ(ioctl(fd, FIONREAD, &unread), 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    signal(SIGPIPE, SIG_IGN);  // the filter may have gone
    [[maybe_unused]] ssize_t ignored = write(fd, bytes.data() + split, bytes.size() - split);
  });
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("INFO: Job cancelled"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("PAGE:"), std::string::npos) << run.err;
  EXPECT_THROW(ReadPageStream(run.out), host::Error);
}

}  // namespace
}  // namespace inkdot::cups
