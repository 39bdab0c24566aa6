// SPDX-License-Identifier: Apache-2.0
// Inputs the fuzzers found to escape the host's error handling: headers that
// ask for pages of billions of pixels, an empty file handed to a reader, and
// a manifest number too large for any type. Each must be refused with the
// host's own error, in time.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "image_readers.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/image.h"
#include "inkdot/host/limits.h"
#include "inkdot/host/output_files.h"
#include "inkdot/host/profile.h"
#include "inkdot/host/resample.h"
#include "inkdot/host/system_errors.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

using testing::Bytes;

TEST(InputLimits, HugePagesAreRefusedBeforeTheyAreAllocated) {
  // Headers alone: a PNG of 10^10 pixels, a PGM of 2^32, the fuzzer's TIFF
  // page of 2^44 pixels, a TIFF page just over the limit of 2^27, and the
  // fuzzer's TIFF page of 5632 samples per pixel (a 36 GB strip).
  const std::pair<const char *, const char *> cases[] = {
      {"huge.png", "too large"}, {"huge.tif", "too large"},  {"wide.tif", "too large"},
      {"huge.pgm", "too large"}, {"many-samples.tif", "5632 samples"}};
  for (const auto &[name, mention] : cases) {
    SCOPED_TRACE(name);
    try {
      ReadImagePage(std::filesystem::path(INKDOT_CRASHERS_DIR) / name, 0);
      ADD_FAILURE() << "read";
    } catch (const ImageError &e) {
      EXPECT_NE(std::string(e.what()).find(mention), std::string::npos) << e.what();
    }
  }
}

TEST(InputLimits, EachReaderRefusesFilesTooShortForItsMagic) {
  testing::TempDir dir;
  for (const Bytes &bytes : {Bytes{}, Bytes{'P'}, Bytes{'P', '7'}}) {
    testing::WriteFile(dir.path() / "short", bytes);
    EXPECT_THROW(detail::OpenPnm(dir.path() / "short"), ImageError) << bytes.size();
    EXPECT_THROW(detail::OpenPng(dir.path() / "short"), ImageError) << bytes.size();
    EXPECT_THROW(detail::OpenTiffPage(dir.path() / "short", 0), ImageError) << bytes.size();
  }
}

TEST(InputLimits, ManifestNumbersBeyondEveryTypeAreAManifestError) {
  testing::TempDir dir;
  const std::string manifest = "{\"format\": 3333E333}";
  testing::WriteFile(dir.path() / "profile.json", Bytes(manifest.begin(), manifest.end()));
  try {
    LoadProfile(dir.path());
    ADD_FAILURE() << "loaded";
  } catch (const Error &e) {
    EXPECT_NE(std::string(e.what()).find("not valid JSON"), std::string::npos) << e.what();
  }
}

TEST(InputLimits, DevicePagesAtTheLimitsPassAndOneDotMoreFails) {
  const struct {
    uint32_t width, height;
    double dpi;
    uint32_t resolution;
    bool fits;
  } cases[] = {
      {131072, 1, 0, 720, true},        // one pixel per dot: the side limit itself
      {131073, 1, 0, 720, false},
      {65536, 32768, 0, 720, true},     // 2^31 dots in all
      {65536, 32769, 0, 720, false},
      {1000, 200, 7.2, 720, true},      // 100000 x 20000 dots, within both
      {1000, 2000, 7.2, 720, false},    // 200000 dots a side
      {32, 32, 0.0254, 1440, false},    // one pixel per metre
      {3, 2, 1e-300, 1440, false},      // a page beyond any integer
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at " +
                 std::to_string(c.dpi));
    try {
      const PageSize page =
          DevicePageSize("p.png", c.width, c.height, c.dpi, c.dpi, c.resolution, c.resolution);
      EXPECT_TRUE(c.fits);
      EXPECT_EQ(page.width, DeviceSize(c.width, c.dpi, c.resolution));
      EXPECT_EQ(page.height, DeviceSize(c.height, c.dpi, c.resolution));
    } catch (const SettingError &e) {
      EXPECT_FALSE(c.fits) << e.what();
      EXPECT_NE(std::string(e.what()).find("p.png: the page would be"), std::string::npos);
    }
  }
}

TEST(InputLimits, FilesAreReadUpToTheirCapOnly) {
  testing::TempDir dir;
  testing::WriteFile(dir.path() / "768", Bytes(768, 1));
  testing::WriteFile(dir.path() / "769", Bytes(769, 1));
  EXPECT_EQ(ReadCappedFile(dir.path() / "768", 768, "curves").size(), 768u);
  EXPECT_THROW(ReadCappedFile(dir.path() / "769", 768, "curves"), Error);
  // Endless devices and folders: the inkdot command's hostile-input rows.
  EXPECT_TRUE(ReadCappedFile("/dev/null", 768, "curves").empty());
}

TEST(OutputFilesTest, TemporariesAreShortAndGoUnlessCommitted) {
  testing::TempDir dir;
  const std::filesystem::path target = dir.path() / (std::string(250, 'x') + ".png");
  {
    OutputFiles files;
    const std::filesystem::path temporary = files.Add(target);
    EXPECT_EQ(temporary.parent_path(), dir.path());
    EXPECT_EQ(temporary.filename().string().size(), 14u);  // ".inkdot-" and six
    EXPECT_TRUE(std::filesystem::exists(temporary));
    EXPECT_THROW(files.Add(target), SettingError);  // the same target twice
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  OutputFiles files;
  testing::WriteFile(files.Add(target), Bytes{1, 2, 3});
  files.Commit();
  EXPECT_EQ(std::filesystem::file_size(target), 3u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace inkdot::host
