/* SPDX-License-Identifier: Apache-2.0 */
// Hand-made resources and a small four-ink profile for the host tests. The
// values are chosen so that expected results can be worked out by hand: a
// 2-point colour cube (white gives no ink, black gives black ink only), a
// 16 x 16 ordered-dither matrix holding every rank once, and a palette that
// splits each level evenly between the three dot sizes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace inkdot::testing {

using Bytes = std::vector<uint8_t>;

Bytes TextBytes(const std::string &text);

// A selection table: the entries lines, then the lists the test profile
// uses (methods dither diffusion midpoint screen; key base 0 with keyA;
// modes normal m1 m2 m3 enhanced). `version` is written after "//".
Bytes SelectionTable(const std::vector<std::string> &entries, const std::string &version = "");

// The test profile's entries: every method and both match modes at each of
// the resolutions, selecting `tableId` and halftone list `listId`.
std::vector<std::string> SelectionEntries(int tableId, int listId);

struct ColourTableSpec {
  uint8_t format = 0;
  uint8_t kind = 0;
  uint8_t grid = 2;      // nodes per axis, evenly spread from 0 to 255
  uint8_t channels = 4;
  int16_t inkLoadLight = 250;
  int16_t inkLoadDark = 100;
  bool selector = true;  // type-1 selector record naming `paletteId`
  uint16_t paletteId = 420;
};

// The ink amounts at input (r, g, b): under-colour removal into black.
void SeparationAt(uint8_t r, uint8_t g, uint8_t b, uint8_t out[4]);

Bytes ColourTable(const ColourTableSpec &shape = {});
Bytes IdList(const std::vector<uint16_t> &ids);
Bytes Grid();
Bytes Matrix(uint8_t widthCode, uint8_t heightCode);  // Bayer ranks for square powers of two
Bytes Palette();
Bytes ChannelMap(uint8_t head, uint8_t channels);
Bytes ReferenceValues(uint8_t value, uint8_t channels);
Bytes IdentityCurves(int count);

struct TestProfileOptions {
  Bytes colourTable;  // empty: ColourTable()
  Bytes matrix;       // empty: Matrix(16, 16)
};

// Writes a complete profile folder: inks cyan, magenta, yellow, black;
// resolutions 720x720 and 1440x720; dot modes 0 and 2; calibration
// resources with identity curves for head 1.
void WriteTestProfile(const std::filesystem::path &dir, const TestProfileOptions &options = {});

void WriteFile(const std::filesystem::path &path, const Bytes &bytes);

// A fresh empty folder under the system's temporary folder, removed by the
// destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path &path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace inkdot::testing
