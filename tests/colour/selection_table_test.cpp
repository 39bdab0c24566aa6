#include "colour/selection_table.h"

#include <string>

#include <gtest/gtest.h>

#include "colour/cm_context.h"
#include "colour_resource_writers.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using resources::SelectionEntry;

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
  int32_t Select() { return Select(resources::WriteSelectionTable(table_)); }
  // A hand-written table around `entries` with the fixture's lists.
  static std::string Text(const std::string &entries, const std::string &tail = "0\n") {
    return "//300\nh\n" + entries + "/\ndiffuse dither\n0 plain matte vivid\nnone one two three enh\n" + tail;
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  resources::SelectionTable table_;
  CmContext *cm_ = nullptr;
};

TEST_F(SelectionTableTest, OnlyALineFittingEveryColumnIsSelected) {
  SelectionEntry v[7];
  for (SelectionEntry &e : v) e = Fit(4000, 1);
  v[0].method = "screen", v[1].key = "matte", v[2].xResolution = 360, v[3].yResolution = 720;
  v[4].mode = "three", v[5].keyNumber = 8, v[6].dotMode = 1;
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

TEST_F(SelectionTableTest, KeyNamesCountFromTheListBase) {
  table_.entries = {Fit(1000, 1)};
  table_.keyBase = 2;  // "vivid" stands for 4 now
  EXPECT_EQ(Select(), 0);
  cm_->params.tableKeyName = 4;
  EXPECT_EQ(Select(), 1000);
  table_.entries[0].key = "glossy";  // missing: 0, not the base
  EXPECT_EQ(Select(), 0);
  cm_->params.tableKeyName = 0;
  EXPECT_EQ(Select(), 1000);
  // A list led by a name beginning with P has base 0.
  table_.keyBase.reset();
  table_.keys = {"Photo", "Plain", "vivid"};
  table_.entries[0].key = "Plain";
  cm_->params.tableKeyName = 1;
  EXPECT_EQ(Select(), 1000);
}

TEST_F(SelectionTableTest, MissingNamesReadZeroAndDuplicatesTheLaterPosition) {
  table_.entries = {Fit(1000, 1)};
  table_.entries[0].mode = "unknown";
  EXPECT_EQ(Select(), 0);
  cm_->matchMode = 0;
  EXPECT_EQ(Select(), 1000);
  table_.methods = {"dither", "x", "dither"};
  EXPECT_EQ(Select(), 0);
  cm_->page.method = 2;
  EXPECT_EQ(Select(), 1000);
}

TEST_F(SelectionTableTest, IntegersAddEveryCharacterAndNegateOnAnyMinus) {
  // Column 8: "1-5" is -15, "1A" is 1 * 10 + ('A' - '0') = 27, "--3" is -3.
  const std::string text = Text(
      "11 1 dither vivid 720 360 enh 1-5 2\n12 3-0-1 dither vivid 720 360 enh 1A 2\n"
      "13 1 dither vivid 720 360 enh --3 2\n");
  const int32_t keys[] = {-15, 27, -3};
  for (int n = 0; n < 3; ++n) {
    cm_->params.tableKeyNumber = keys[n];
    EXPECT_EQ(Select(text), 11 + n);
  }
  cm_->params.tableKeyNumber = 27;
  Select(text);
  EXPECT_EQ(cm_->matchedNext, -301);
}

TEST_F(SelectionTableTest, ScannerHonoursLineEndRunsSeparatorsAndEndBytes) {
  const std::string runs =
      "pre//300 \r\n\n\rhead ing\r\r\n  7000\t\t 1  dither vivid\t720 360 enh 9 2 x y\n\n"
      "\t/ end\r\ndiffuse  dither\r\n2\tplain vivid\rnone one two three enh\n";
  cm_->params.tableKeyName = 3;  // base 2: "vivid" is 3
  EXPECT_EQ(Select(runs), 7000);
  // Missing trailing fields read as empty: column 9 is 0.
  const std::string eight = Text("7000 1 dither vivid 720 360 enh 9\n");
  cm_->params.tableKeyName = 2;
  EXPECT_EQ(Select(eight), 0);
  cm_->page.dotMode = 0;
  EXPECT_EQ(Select(eight), 7000);
  cm_->page.dotMode = 2;
  // NUL or 0x1A right after the entries leaves no lists: every name reads 0.
  table_.entries = {Fit(1000, 1)};
  const std::string full = resources::WriteSelectionTable(table_);
  EXPECT_EQ(Select(full), 1000);
  for (char end : {'\0', '\x1A'}) {
    std::string cut = full;
    cut[full.find("/end")] = end;
    EXPECT_EQ(Select(cut), 0);
    cut[0] = end;  // before the "//": no table at all
    EXPECT_EQ(Select(cut), 0);
  }
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

TEST_F(SelectionTableTest, WorkAreaFailureGivesMinusOne) {
  table_.entries = {Fit(1000, 1)};
  for (auto op : {testing::PlatformOp::kAlloc, testing::PlatformOp::kLock}) {
    testing::FailNthCall(op, 1);
    EXPECT_EQ(Select(), -1);
    EXPECT_EQ(cm_->matchedId, 0);
    EXPECT_EQ(testing::LiveAllocations(), 2);
  }
}

}  // namespace
}  // namespace inkdot
