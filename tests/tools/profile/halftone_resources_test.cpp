#include "halftone_resources.h"

#include <gtest/gtest.h>

#include "selection_table.h"

namespace inkdot::profile {
namespace {

TEST(HalftoneResources, IdListIsBigEndianEndedByFfff) {
  EXPECT_EQ(EncodeIdList({300, 0x1234}), (Bytes{0x01, 0x2C, 0x12, 0x34, 0xFF, 0xFF}));
  EXPECT_NO_THROW(EncodeIdList(std::vector<uint16_t>(15, 1)));
  EXPECT_THROW(EncodeIdList(std::vector<uint16_t>(16, 1)), std::runtime_error);
}

TEST(HalftoneResources, GridHas32RisingPositionsFrom0To255) {
  const Bytes grid = EncodeGrid(GridPositions(32));
  ASSERT_EQ(grid.size(), 34u);
  EXPECT_EQ(grid[0], 32);
  EXPECT_EQ(grid[1], 0);
  EXPECT_EQ(grid[2], 0);
  EXPECT_EQ(grid[33], 255);
  for (int i = 3; i < 34; ++i) {
    EXPECT_GT(grid[i], grid[i - 1]);
    EXPECT_LE(grid[i] - grid[i - 1], 9);  // evenly spread: 255 / 31 apart
  }
}

TEST(HalftoneResources, SelectorRecordOfType3) {
  const Bytes r = EncodeSelectorRecord({420, 1}, {-2, 0});
  ASSERT_GE(r.size(), 26u);
  const uint32_t length = r[0] | r[1] << 8 | r[2] << 16 | uint32_t(r[3]) << 24;
  EXPECT_GE(length, 22u);
  EXPECT_EQ(length + 4, r.size());
  EXPECT_EQ(r[4] | r[5] << 8, 3);
  EXPECT_EQ(Bytes(r.begin() + 8, r.begin() + 12), (Bytes{0xFB, 0x69, 0xF7, 0xDD}));
  EXPECT_EQ(r[16] | r[17] << 8, 420);
  EXPECT_EQ(r[18] | r[19] << 8, 1);
  EXPECT_EQ(int16_t(r[20] | r[21] << 8), -2);
  EXPECT_EQ(r[22] | r[23] << 8, 0);
}

TEST(SelectionTableText, RefusesWhatTheReaderCouldNotReadBack) {
  SelectionTable t;
  t.methods = {"screen"};
  t.keys = {"Plain"};
  t.modes = {"plain"};
  t.lines.push_back({5000, 100, "screen", "Plain", 720, 720, "plain", 0, 0});
  const std::string text = EncodeSelectionTable(t);
  EXPECT_EQ(text.rfind("//300", 0), 0u);
  SelectionTable longName = t;
  longName.lines[0].method = "twelve-chars";
  EXPECT_THROW(EncodeSelectionTable(longName), std::runtime_error);
  SelectionTable keyBase = t;
  keyBase.keys = {"Glossy"};  // would be read as a list base number
  EXPECT_THROW(EncodeSelectionTable(keyBase), std::runtime_error);
  SelectionTable tooMany = t;
  tooMany.lines.assign(201, t.lines[0]);
  EXPECT_THROW(EncodeSelectionTable(tooMany), std::runtime_error);
}

}  // namespace
}  // namespace inkdot::profile
