// SPDX-License-Identifier: Apache-2.0
// Validation of every resource format: valid resources decode to the values
// they were built with, every truncation is refused, and targeted faults
// are refused with the field and byte offset that hold them.
#include <gtest/gtest.h>

#include <fstream>

#include "inkdot/host/errors.h"
#include "inkdot/host/profile.h"
#include "inkdot/host/resource_formats.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

using testing::Bytes;

const ResourceRef kRef{"res.bin", 77};

// Runs `validate` on every proper prefix of `bytes` and expects a refusal.
template <typename F>
void ExpectEveryTruncationRefused(const Bytes &bytes, F validate) {
  for (size_t length = 0; length < bytes.size(); ++length) {
    Bytes prefix(bytes.begin(), bytes.begin() + length);
    EXPECT_THROW(validate(prefix), ValidationError) << "prefix of " << length << " bytes";
  }
}

// Expects `validate` to refuse with exactly this field and offset.
template <typename F>
void ExpectRefusal(const Bytes &bytes, F validate, const std::string &field, uint64_t offset) {
  try {
    validate(bytes);
    ADD_FAILURE() << "accepted; expected a refusal of " << field;
  } catch (const ValidationError &e) {
    EXPECT_EQ(e.field(), field) << e.what();
    EXPECT_EQ(e.offset(), offset) << e.what();
    EXPECT_EQ(e.resourceId(), kRef.id);
    EXPECT_EQ(e.file(), kRef.file);
  }
}

// ---- selection table ----------------------------------------------------

auto selection = [](const Bytes &b) { return ValidateSelectionTable(b, kRef); };

TEST(SelectionTableFormat, LimitsAreEnforced) {
  std::vector<std::string> lines(200, "1 2 m k 3 4 n 0");
  EXPECT_NO_THROW(selection(testing::SelectionTable(lines)));
  lines.push_back("1 2 m k 3 4 n 0");
  Bytes tooMany = testing::SelectionTable(lines);
  try {
    selection(tooMany);
    ADD_FAILURE();
  } catch (const ValidationError &e) {
    EXPECT_EQ(e.field(), "entries");
  }
  EXPECT_NO_THROW(selection(testing::SelectionTable({"1 2 abcdefghijk"})));
  std::string header = "test table //\r\nid next method key x y mode number dots\r\n";
  ExpectRefusal(testing::SelectionTable({"1 2 abcdefghijkl"}), selection, "method name (column 3)",
                header.size() + 4);
  ExpectRefusal(testing::SelectionTable({"1x 2"}), selection, "colour table id (column 1)",
                header.size());
  ExpectRefusal(testing::SelectionTable({std::string(256, 'a')}), selection, "line",
                header.size());
  std::string thirteen = "a b c d e f g h i j k l m";
  ExpectRefusal(testing::TextBytes("//\nh\n/\n" + thirteen + "\nPk\nm\n"), selection,
                "method list", 7 + 24);
  ExpectRefusal(testing::TextBytes("//\nh\n/\nm\nPk\n" + thirteen + "\n"), selection, "mode list",
                12 + 24);
  ExpectRefusal(testing::TextBytes("no marker\n"), selection, "version marker", 10);
}

// ---- colour table -------------------------------------------------------

auto colour = [](const Bytes &b) { return ValidateColourTable(b, kRef); };

TEST(ColourTableFormat, EveryTruncationIsRefused) {
  ExpectEveryTruncationRefused(testing::ColourTable(), colour);
  testing::ColourTableSpec shape;
  shape.format = 50;
  shape.selector = false;
  shape.grid = 3;
  ExpectEveryTruncationRefused(testing::ColourTable(shape), colour);
}

TEST(ColourTableFormat, HeaderFaultsNameTheirField) {
  Bytes b = testing::ColourTable();
  b[73] = 3;
  ExpectRefusal(b, colour, "gridSize2", 73);
  b = testing::ColourTable();
  b[72] = b[73] = b[74] = 37;
  ExpectRefusal(b, colour, "gridSize1", 72);
  b[72] = b[73] = b[74] = 1;
  ExpectRefusal(b, colour, "gridSize1", 72);
  b = testing::ColourTable();
  b[75] = 0;
  ExpectRefusal(b, colour, "channelCount", 75);
  b = testing::ColourTable();
  b[77] = 254;  // nodes1 must end at 255
  ExpectRefusal(b, colour, "nodes1", 77);
  testing::ColourTableSpec shape;
  shape.grid = 3;
  b = testing::ColourTable(shape);
  b[80] = 0;  // nodes2 = 0, 0, 255 does not rise
  ExpectRefusal(b, colour, "nodes2", 80);
  // A dark ink load of 0 makes the divisor 0 at full ink.
  b = testing::ColourTable();
  b[50] = b[51] = 0;
  ExpectRefusal(b, colour, "inkLoadLight/inkLoadDark", 48);
}

TEST(ColourTableFormat, SelectorRecordFaults) {
  Bytes b = testing::ColourTable();
  const size_t aux = b.size() - 8;
  b[aux + 4] = 2;
  ExpectRefusal(b, colour, "selector record type", aux + 4);
  b = testing::ColourTable();
  b[aux] = 9;  // the length says more than the record holds
  ExpectRefusal(b, colour, "selector record length", aux);
  b = testing::ColourTable();
  b[20] = 9;  // the auxiliary record runs past the end of the file
  ExpectRefusal(b, colour, "auxiliary record", aux);
}

// ---- calibration resources ----------------------------------------------

TEST(CalibrationFormats, ChannelMapRecords) {
  auto map = [](const Bytes &b) { return ValidateChannelMap(b, 4, kRef); };
  auto records = map(testing::ChannelMap(1, 4));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].headId, 2);
  EXPECT_EQ(records[0].planes, (std::vector<uint8_t>{3, 2, 1, 0}));
  EXPECT_EQ(records[1].headId, 1);
  EXPECT_EQ(records[1].offset, 6u);
  ExpectEveryTruncationRefused(testing::ChannelMap(1, 4), map);
  ExpectRefusal(Bytes{1, 0, 1, 4, 3, 0xFE, 0xFF}, map, "plane number", 3);
  ExpectRefusal(Bytes{1, 0, 1, 2, 0xFE, 0xFF}, map, "record", 0);  // three planes for four inks
  Bytes tooLong(21, 0);
  tooLong[0] = 1;
  tooLong.push_back(0xFE);
  tooLong.push_back(0xFF);
  ExpectRefusal(tooLong, map, "record", 0);
  EXPECT_TRUE(map(Bytes{0xFF}).empty());
}

// ---- halftone resources -------------------------------------------------

TEST(HalftoneFormats, GridCountAndPositions) {
  auto grid = [](const Bytes &b) { return ValidateGrid(b, kRef); };
  std::vector<uint8_t> positions = grid(testing::Grid());
  EXPECT_EQ(positions[1], 8);
  EXPECT_EQ(positions[31], 255);
  ExpectEveryTruncationRefused(testing::Grid(), grid);
  Bytes b = testing::Grid();
  b[0] = 31;
  ExpectRefusal(b, grid, "grid count", 0);
  b = testing::Grid();
  b[2 + 5] = b[2 + 4];
  ExpectRefusal(b, grid, "grid positions", 2 + 5);
  b = testing::Grid();
  b[2] = 1;
  ExpectRefusal(b, grid, "grid positions", 2);
}

TEST(HalftoneFormats, MatrixSizeWidthAndRanks) {
  auto matrix = [](const Bytes &b) { return ValidateMatrix(b, kRef); };
  ThresholdMatrix m = matrix(testing::Matrix(16, 16));
  EXPECT_EQ(m.width, 16u);
  EXPECT_TRUE(m.isPermutation);
  EXPECT_EQ(m.maxThreshold, 255);
  ExpectEveryTruncationRefused(testing::Matrix(8, 4), matrix);
  ExpectRefusal(testing::Matrix(12, 16), matrix, "matrix width", 0);
  ExpectRefusal(Bytes{16, 0, 0, 0}, matrix, "matrix height", 1);
  Bytes b = testing::Matrix(4, 4);
  b[4 + 2 * 5] = 16;  // rank 16 in a 16-entry matrix
  ExpectRefusal(b, matrix, "threshold", 4 + 2 * 5);
  b = testing::Matrix(4, 4);
  b[4] = b[6];
  b[5] = b[7];
  EXPECT_FALSE(matrix(b).isPermutation);
  EXPECT_EQ(formats::matrix_layout::DecodeSide(255), 256u);
  EXPECT_EQ(formats::matrix_layout::DecodeSide(239), 512u);
  // 256 x 512 thresholds cannot all be ranks of a 16-bit level scale.
  ExpectRefusal(Bytes{255, 239, 0, 0}, matrix, "matrix size", 0);
}

TEST(HalftoneFormats, PaletteSums) {
  auto palette = [](const Bytes &b) { return ValidatePalette(b, kRef); };
  std::vector<PaletteEntry> entries = palette(testing::Palette());
  EXPECT_EQ(entries[255].small + entries[255].medium + entries[255].large, 255);
  ExpectEveryTruncationRefused(testing::Palette(), palette);
  Bytes b = testing::Palette();
  b[21] = 100;
  b[22] = 100;
  b[23] = 56;  // entry 7 sums to 256
  ExpectRefusal(b, palette, "palette entry 7", 21);
}

// ---- whole profiles -----------------------------------------------------

TEST(ProfileLoading, RefusalsNameTheFile) {
  testing::TempDir dir;
  testing::TestProfileOptions options;
  testing::ColourTableSpec shape;
  shape.channels = 3;
  options.colourTable = testing::ColourTable(shape);
  testing::WriteTestProfile(dir.path(), options);
  try {
    LoadProfile(dir.path());
    ADD_FAILURE();
  } catch (const ValidationError &e) {
    EXPECT_EQ(e.field(), "channelCount");
    EXPECT_EQ(e.resourceId(), 5000);
    EXPECT_NE(std::string(e.what()).find("5000.ctb"), std::string::npos) << e.what();
  }
  testing::WriteTestProfile(dir.path());
  std::filesystem::remove(dir.path() / "halftone/410.grid");
  try {
    LoadProfile(dir.path());
    ADD_FAILURE();
  } catch (const Error &e) {
    EXPECT_NE(std::string(e.what()).find("410.grid"), std::string::npos) << e.what();
  }
}

TEST(ProfileLoading, ManifestFaults) {
  testing::TempDir dir;
  testing::WriteTestProfile(dir.path());
  const auto manifest = dir.path() / "profile.json";
  std::string text;
  {
    std::ifstream in(manifest);
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  // Hex digits of either case.
  EXPECT_EQ(LoadManifest(dir.path()).inks[1].colour, (std::array<uint8_t, 3>{0xE4, 0x00, 0x7C}));
  auto expectRefused = [&](const std::string &from, const std::string &to,
                           const std::string &mention) {
    std::string changed = text;
    changed.replace(changed.find(from), from.size(), to);
    testing::WriteFile(manifest, testing::TextBytes(changed));
    try {
      LoadManifest(dir.path());
      ADD_FAILURE() << "accepted " << to;
    } catch (const Error &e) {
      EXPECT_NE(std::string(e.what()).find(mention), std::string::npos) << e.what();
    }
  };
  expectRefused("\"kind\": \"grid\"", "\"kind\": \"gird\"", "unknown kind");
  expectRefused("\"kind\": \"grid\"", "\"kind\": \"colourTable\"", "does not belong");
  expectRefused("#00A0E4", "#00A0E", "not #RRGGBB");
  expectRefused("#00A0E4", "#00A0E40", "not #RRGGBB");
  expectRefused("\"format\": 1", "\"format\": 2", "not supported");
  expectRefused("{\"id\": 411", "{\"id\": 410", "appears twice");
  expectRefused("\"format\": 1,", "", "\"format\" is missing");
}

}  // namespace
}  // namespace inkdot::host
