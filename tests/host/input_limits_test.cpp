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
#include "inkdot/host/profile.h"
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

}  // namespace
}  // namespace inkdot::host
