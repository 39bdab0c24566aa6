// Inputs the fuzzers found to escape the host's error handling: headers that
// ask for pages of billions of pixels, an empty file handed to a reader, and
// a manifest number too large for any type. Each must be refused with the
// host's own error, in time.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "image_readers.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/image.h"
#include "inkdot/host/profile.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

using testing::Bytes;

void Put(Bytes *out, uint32_t value, int bytes, bool bigEndian) {
  for (int i = 0; i < bytes; ++i) {
    const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
    out->push_back(static_cast<uint8_t>(value >> shift));
  }
}

// A PNG signature and header chunk for a grey page, and no pixel data.
Bytes PngHeader(uint32_t width, uint32_t height) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes chunk = {'I', 'H', 'D', 'R'};
  Put(&chunk, width, 4, true);
  Put(&chunk, height, 4, true);
  chunk.insert(chunk.end(), {8, 0, 0, 0, 0});
  Put(&out, 13, 4, true);
  out.insert(out.end(), chunk.begin(), chunk.end());
  Put(&out, static_cast<uint32_t>(crc32(0, chunk.data(), static_cast<uInt>(chunk.size()))), 4,
      true);
  // An empty data chunk: the header is read up to the first one.
  const Bytes data = {'I', 'D', 'A', 'T'};
  Put(&out, 0, 4, true);
  out.insert(out.end(), data.begin(), data.end());
  Put(&out, static_cast<uint32_t>(crc32(0, data.data(), 4)), 4, true);
  return out;
}

// A little-endian TIFF page of 8-bit grey with one strip of one byte.
Bytes TiffHeader(uint32_t width, uint32_t height) {
  Bytes out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  const uint32_t entries[][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                                 {262, 3, 1},     {273, 4, 8},      {277, 3, 1},
                                 {278, 4, height}, {279, 4, 1}};
  Put(&out, 8, 2, false);
  for (const auto &e : entries) {
    Put(&out, e[0], 2, false);
    Put(&out, e[1], 2, false);
    Put(&out, 1, 4, false);
    Put(&out, e[2], 4, false);
  }
  Put(&out, 0, 4, false);
  return out;
}

TEST(InputLimits, HugePagesAreRefusedBeforeTheyAreAllocated) {
  const std::string pnm = "P5 65535 65535 255\n";
  const struct {
    const char *file;
    Bytes bytes;
  } cases[] = {
      {"huge.png", PngHeader(100000, 100000)},
      {"huge.tif", TiffHeader(16392, 0x62562400)},  // the fuzzer's page: 2^44 pixels
      {"wide.tif", TiffHeader(65536, 2049)},        // just over 2^27
      {"huge.pgm", Bytes(pnm.begin(), pnm.end())},
  };
  testing::TempDir dir;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    testing::WriteFile(dir.path() / c.file, c.bytes);
    try {
      ReadImagePage(dir.path() / c.file, 0);
      ADD_FAILURE() << "read";
    } catch (const ImageError &e) {
      EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
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
