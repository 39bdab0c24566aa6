// SPDX-License-Identifier: Apache-2.0
#include "colour/selection_table.h"

#include <string>

#include <gtest/gtest.h>

#include "colour/cm_context.h"
#include "inkdot/formats/selection_table.h"
#include "support/test_platform.h"

namespace inkdot {

namespace write = formats::write;

namespace {

using write::SelectionEntry;

// The page fits the line Fit(): method 1 "dither", key "vivid" (2 with base
// 0), 720 x 360 dpi, mode 4 "enh", key number 9, dot mode 2.
class SelectionTableTest : public ::testing::Test {
 protected:
  SelectionTableTest() {
    params_.tableKeyNumber = 9, params_.tableKeyName = 2, params_.colorAdjustMode = 4;
    page_.method = 1, page_.inputFormat = 2, page_.dotMode = 2;
    page_.xResolution = 720, page_.yResolution = 360;
    table_.methods = {"diffuse", "dither", "screen"};
    table_.keyBase = 0;
    table_.keys = {"plain", "matte", "vivid"};
    table_.modes = {"none", "one", "two", "three", "enh"};
    int32_t nextId = 0;
    EXPECT_EQ(NewCmContext(&params_, &page_, &nextId, &cm_), kOk);
  }
  ~SelectionTableTest() override { DeleteCmContext(cm_); }

  static SelectionEntry Fit(int32_t id, int32_t next) {
    return {id, next, "dither", "vivid", 720, 360, "enh", 9, 2};
  }
  int32_t Select(const std::string &text) {
    return SelectTableLine(cm_, reinterpret_cast<const uint8_t *>(text.c_str()));
  }
  int32_t Select() { return Select(write::WriteSelectionTable(table_)); }
  // A hand-written table around `entries` with the fixture's lists.
  static std::string Text(const std::string &entries, const std::string &tail = "0\n") {
    return "//300\nh\n" + entries + "/\ndiffuse dither\n0 plain matte vivid\nnone one two three enh\n" + tail;
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  write::SelectionTable table_;
  CmContext *cm_ = nullptr;
};

TEST_F(SelectionTableTest, OnlyALineFittingEveryColumnIsSelected) {
  SelectionEntry v[8];  // each differs from the page in one column
  for (SelectionEntry &e : v) e = Fit(4000, 1);
  v[0].method = "screen", v[1].key = "matte", v[2].xResolution = 360, v[3].yResolution = 720;
  v[4].mode = "three", v[5].keyNumber = 8, v[6].keyNumber = 10, v[7].dotMode = 1;
  for (const SelectionEntry &e : v) {
    table_.entries = {e, Fit(3000, 320), e};
    EXPECT_EQ(Select(), 3000);
    table_.entries = {e};
    EXPECT_EQ(Select(), 0) << e.method << e.key << e.xResolution << e.mode << e.keyNumber;
  }
  EXPECT_EQ(cm_->matchedId, 3000);
  EXPECT_EQ(cm_->matchedNext, 320);
  EXPECT_EQ(testing::LiveAllocations(), 2);  // the work area is released
}

TEST_F(SelectionTableTest, DotModeIsComparedOnlyFromVersion300) {
  table_.entries = {Fit(5000, 1)};
  table_.entries[0].dotMode = 1;
  const struct { const char *version; int16_t stored; int32_t id; } cases[] = {
      {"300", 300, 0}, {"310", 310, 0}, {"200", 200, 5000}, {"", 200, 5000}, {"400", 200, 5000}};
  for (const auto &c : cases) {
    table_.version = c.version;
    EXPECT_EQ(Select(), c.id) << c.version;
    EXPECT_EQ(cm_->tableVersion, c.stored) << c.version;
  }
}

TEST_F(SelectionTableTest, LaterLineWinsForBothIdsAndZeroNextReadsMinusOne) {
  table_.entries = {Fit(1000, 301), Fit(1100, 0)};
  EXPECT_EQ(Select(), 1100);
  EXPECT_EQ(cm_->matchedId, 1100);
  EXPECT_EQ(cm_->matchedNext, -1);
}

TEST_F(SelectionTableTest, TablesBeyondTheLimitsAreRefused) {
  const std::string line = "1000 1 dither vivid 720 360 enh 9 2";  // 35 characters
  EXPECT_EQ(Select(Text(line + "\n")), 1000);
  EXPECT_EQ(Select("/300\nh\n" + line + "\n/\ndiffuse dither\n0 vivid\nnone enh\n"), 0);  // no "//"
  EXPECT_EQ(Select(Text(line + std::string(220, ' ') + "\n")), 1000);
  EXPECT_EQ(Select(Text(line + std::string(221, ' ') + "\n")), 0);
  EXPECT_EQ(Select(Text(line + "\n", std::string(255, '7'))), 1000);  // the last field
  EXPECT_EQ(Select(Text(line + "\n", std::string(256, '7'))), 0);

  SelectionEntry filler = Fit(1, 1);
  filler.keyNumber = 1;
  table_.entries.assign(199, filler);
  table_.entries.push_back(Fit(2000, 1));
  EXPECT_EQ(Select(), 2000);
  table_.entries.push_back(filler);
  EXPECT_EQ(Select(), 0);

  table_.entries = {Fit(1000, 1)};
  table_.methods = {"diffuse", "dither", "abcdefghijk"};
  EXPECT_EQ(Select(), 1000);
  table_.methods[2] = "abcdefghijkl";
  EXPECT_EQ(Select(), 0);
  table_.methods.pop_back();
  const struct { std::vector<std::string> *list; size_t limit; } lists[] = {
      {&table_.methods, 12}, {&table_.keys, 32}, {&table_.modes, 12}};
  for (const auto &l : lists) {
    const std::vector<std::string> saved = *l.list;
    while (l.list->size() < l.limit) l.list->push_back(std::string("f").append(std::to_string(l.list->size())));
    EXPECT_EQ(Select(), 1000) << l.limit;
    l.list->push_back("g");
    EXPECT_EQ(Select(), 0) << l.limit;
    *l.list = saved;
  }
}

}  // namespace
}  // namespace inkdot
