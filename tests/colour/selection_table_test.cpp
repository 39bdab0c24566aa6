#include "colour/selection_table.h"

#include <string>

#include <gtest/gtest.h>

#include "colour/cm_context.h"
#include "colour_resource_writers.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using resources::SelectionEntry;
using resources::SelectionTable;
using resources::WriteSelectionTable;
using testing::FailNthCall;
using testing::LiveAllocations;
using testing::PlatformOp;

// Page and settings that the entry built by Matching() fits: method 1 is
// "dither" (position 1), key "vivid" stands for 2 (no base), mode 4 is
// "enh" (position 4), 720 x 360 dpi, key number 9, dot mode 2.
class SelectionTableTest : public ::testing::Test {
 protected:
  SelectionTableTest() {
    params_.tableKeyNumber = 9;
    params_.tableKeyName = 2;
    params_.neutralBalance = 50;
    params_.colorAdjustMode = 4;
    page_.method = 1;
    page_.inputFormat = 2;
    page_.colorMode = 1;
    page_.xResolution = 720;
    page_.yResolution = 360;
    page_.dotMode = 2;
    table_.methods = {"diffuse", "dither", "screen", "hybrid"};
    table_.keyBase = 0;
    table_.keys = {"plain", "matte", "vivid"};
    table_.modes = {"none", "one", "two", "three", "enh"};
  }

  ~SelectionTableTest() override {
    if (cm_ != nullptr) DeleteCmContext(cm_);
  }

  static SelectionEntry Matching(int32_t tableId, int32_t halftoneId) {
    return {tableId, halftoneId, "dither", "vivid", 720, 360, "enh", 9, 2};
  }

  CmContext *Context() {
    if (cm_ == nullptr) {
      int32_t nextId = 0;
      EXPECT_EQ(NewCmContext(&params_, &page_, &nextId, &cm_), kOk);
    }
    return cm_;
  }

  int32_t Select(const std::string &text) {
    return SelectTableLine(Context(), reinterpret_cast<const uint8_t *>(text.c_str()));
  }
  int32_t Select() { return Select(WriteSelectionTable(table_)); }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  SelectionTable table_;
  CmContext *cm_ = nullptr;
};

TEST_F(SelectionTableTest, MatchingLineGivesItsIds) {
  SelectionEntry other = Matching(2000, 310);
  other.yResolution = 720;
  table_.entries = {other, Matching(3000, 320), other};
  EXPECT_EQ(Select(), 3000);
  EXPECT_EQ(cm_->matchedId, 3000);
  EXPECT_EQ(cm_->matchedNext, 320);
  EXPECT_EQ(cm_->tableVersion, 300);
}

TEST_F(SelectionTableTest, EveryComparedColumnCanRejectTheLine) {
  // Each variant differs from the page in exactly one column.
  SelectionEntry variants[7];
  for (SelectionEntry &v : variants) v = Matching(4000, 1);
  variants[0].method = "screen";
  variants[1].key = "matte";
  variants[2].xResolution = 360;
  variants[3].yResolution = 720;
  variants[4].mode = "three";
  variants[5].keyNumber = 8;
  variants[6].dotMode = 1;
  for (const SelectionEntry &v : variants) {
    table_.entries = {v};
    EXPECT_EQ(Select(), 0) << v.method << " " << v.key << " " << v.mode;
  }
  EXPECT_EQ(cm_->matchedId, 0);
  EXPECT_EQ(LiveAllocations(), 2);  // only the object: the work area is gone
}

TEST_F(SelectionTableTest, DotModeIsComparedOnlyFromVersion300) {
  SelectionEntry entry = Matching(5000, 1);
  entry.dotMode = 1;  // the page has 2
  table_.entries = {entry};
  struct Case {
    const char *version;
    int16_t wantVersion;
    int32_t wantId;
  };
  const Case cases[] = {{"300", 300, 0},  {"310", 310, 0}, {"200", 200, 5000},
                        {"", 200, 5000},  {"400", 200, 5000},
                        {"299", 200, 5000}};
  for (const Case &c : cases) {
    table_.version = c.version;
    EXPECT_EQ(Select(), c.wantId) << c.version;
    EXPECT_EQ(cm_->tableVersion, c.wantVersion) << c.version;
  }
}

TEST_F(SelectionTableTest, LaterMatchingLineWinsForBothIds) {
  table_.entries = {Matching(1000, 301), Matching(1100, 302)};
  EXPECT_EQ(Select(), 1100);
  EXPECT_EQ(cm_->matchedId, 1100);
  EXPECT_EQ(cm_->matchedNext, 302);
}

TEST_F(SelectionTableTest, HalftoneIdZeroReadsAsMinusOne) {
  table_.entries = {Matching(1000, 0)};
  EXPECT_EQ(Select(), 1000);
  EXPECT_EQ(cm_->matchedNext, -1);
}

TEST_F(SelectionTableTest, KeyListBaseOffsetsFoundNamesOnly) {
  // Base 2: "matte" (position 1) stands for 3.
  table_.keyBase = 2;
  table_.keys = {"plain", "matte", "vivid"};
  SelectionEntry entry = Matching(1000, 1);
  entry.key = "matte";
  table_.entries = {entry};
  params_.tableKeyName = 3;
  EXPECT_EQ(Select(), 1000);

  // A name missing from the list is 0, not the base.
  cm_->params.tableKeyName = 2;
  table_.entries[0].key = "glossy";
  EXPECT_EQ(Select(), 0);
  cm_->params.tableKeyName = 0;
  EXPECT_EQ(Select(), 1000);
}

TEST_F(SelectionTableTest, KeyListLedByANameBeginningWithPHasBaseZero) {
  table_.keyBase.reset();
  table_.keys = {"Photo", "Plain", "vivid"};
  SelectionEntry entry = Matching(1000, 1);
  entry.key = "Plain";
  table_.entries = {entry};
  params_.tableKeyName = 1;
  EXPECT_EQ(Select(), 1000);
}

TEST_F(SelectionTableTest, MissingNamesMatchASettingOfZero) {
  SelectionEntry entry = Matching(1000, 1);
  entry.mode = "unknown";
  table_.entries = {entry};
  EXPECT_EQ(Select(), 0);  // matchMode is 4
  Context()->matchMode = 0;
  EXPECT_EQ(Select(), 1000);
  // A mode literally in position 0 matches just the same.
  table_.entries[0].mode = "none";
  EXPECT_EQ(Select(), 1000);
}

TEST_F(SelectionTableTest, DuplicateNamesTakeTheLaterPosition) {
  table_.methods = {"dither", "x", "y", "dither"};
  table_.entries = {Matching(1000, 1)};
  EXPECT_EQ(Select(), 0);  // "dither" is 3 now, the page has method 1
  page_.method = 3;
  CmContext *cm = Context();
  cm->page.method = 3;
  EXPECT_EQ(Select(), 1000);
}

TEST_F(SelectionTableTest, IntegersAddEveryCharacterAndNegateOnAnyMinus) {
  // Column 8 of each line: "1-5" is -15; "1A" is 1 * 10 + ('A' - '0') = 27;
  // "--3" is -3. Column 2 "3-0-1" is -301.
  const std::string text =
      "x//300\nheading\n"
      "11 1 dither vivid 720 360 enh 1-5 2\n"
      "12 3-0-1 dither vivid 720 360 enh 1A 2\n"
      "13 1 dither vivid 720 360 enh --3 2\n"
      "/\ndiffuse dither\n0 vivid x vivid\nnone one two three enh\n0\n";
  const int32_t keys[] = {-15, 27, -3};
  for (int n = 0; n < 3; ++n) {
    Context()->params.tableKeyNumber = keys[n];
    EXPECT_EQ(Select(text), 11 + n) << keys[n];
  }
  Context()->params.tableKeyNumber = 27;
  Select(text);
  EXPECT_EQ(cm_->matchedNext, -301);
}

TEST_F(SelectionTableTest, LineEndsAndSeparatorsInAnyRun) {
  const std::string text =
      "//300 \r\n\n\rhead ing\r\r\n"
      "  7000\t\t 1  dither vivid\t720 360 enh 9 2 extra fields ignored\n\n\n"
      "\t/ end\r\n"
      "diffuse  dither\r\n2\tplain vivid\rnone one two three enh\n";
  // Base 2: "vivid" is 3.
  params_.tableKeyName = 3;
  EXPECT_EQ(Select(text), 7000);
}

TEST_F(SelectionTableTest, MissingTrailingFieldsReadAsEmpty) {
  // Eight fields only: column 9 reads as 0, which version 300 compares.
  const std::string text =
      "//300\nh\n7000 1 dither vivid 720 360 enh 9\n/\n"
      "diffuse dither\n0 plain matte vivid\nnone one two three enh\n0\n";
  EXPECT_EQ(Select(text), 0);
  Context()->page.dotMode = 0;
  EXPECT_EQ(Select(text), 7000);
}

TEST_F(SelectionTableTest, NulAndEndOfFileByteEndTheText) {
  table_.entries = {Matching(1000, 1)};
  const std::string full = WriteSelectionTable(table_);
  EXPECT_EQ(Select(full), 1000);
  // Cut right after the entries: the lists are gone, so the names all
  // resolve to 0 and no longer fit the page.
  const size_t cut = full.find("/end");
  for (char end : {'\0', '\x1A'}) {
    std::string text = full;
    text[cut] = end;
    EXPECT_EQ(Select(text), 0) << int(end);
  }
  // An end byte before the "//" leaves no table at all.
  std::string early = full;
  early[0] = '\x1A';
  EXPECT_EQ(Select(early), 0);
}

TEST_F(SelectionTableTest, TextWithoutDoubleSlashIsRefused) {
  const std::string text =
      "/300\nh\n7000 1 dither vivid 720 360 enh 9 2\n/\n"
      "diffuse dither\n0 plain matte vivid\nnone one two three enh\n0\n";
  EXPECT_EQ(Select(text), 0);
  EXPECT_EQ(LiveAllocations(), 2);
}

TEST_F(SelectionTableTest, TwoHundredEntriesAreReadAndMoreAreRefused) {
  SelectionEntry filler = Matching(1, 1);
  filler.keyNumber = 1;  // does not fit the page
  table_.entries.assign(199, filler);
  table_.entries.push_back(Matching(2000, 1));
  EXPECT_EQ(Select(), 2000);
  table_.entries.push_back(filler);
  EXPECT_EQ(Select(), 0);
}

TEST_F(SelectionTableTest, NamesUpToElevenCharacters) {
  table_.methods = {"diffuse", "abcdefghijk"};
  SelectionEntry entry = Matching(1000, 1);
  entry.method = "abcdefghijk";
  table_.entries = {entry};
  EXPECT_EQ(Select(), 1000);
  table_.methods[1] = "abcdefghijkl";
  table_.entries[0].method = "abcdefghijkl";
  EXPECT_EQ(Select(), 0);
  // Too long in the entry alone is refused as well.
  table_.methods[1] = "abcdefghijk";
  EXPECT_EQ(Select(), 0);
}

TEST_F(SelectionTableTest, ListsUpToTheirLimits) {
  table_.entries = {Matching(1000, 1)};
  auto fill = [](std::vector<std::string> &list, size_t size) {
    while (list.size() < size) list.push_back("f" + std::to_string(list.size()));
  };
  struct Limit {
    std::vector<std::string> *list;
    size_t limit;
  };
  for (Limit l : {Limit{&table_.methods, 12}, Limit{&table_.keys, 32},
                  Limit{&table_.modes, 12}}) {
    const std::vector<std::string> saved = *l.list;
    fill(*l.list, l.limit);
    EXPECT_EQ(Select(), 1000) << l.limit;
    fill(*l.list, l.limit + 1);
    EXPECT_EQ(Select(), 0) << l.limit;
    *l.list = saved;
  }
}

TEST_F(SelectionTableTest, FieldsAndLinesUpTo255Characters) {
  SelectionEntry entry = Matching(1000, 1);
  table_.entries = {entry};
  const std::string line =
      "1000 1 dither vivid 720 360 enh 9 2";  // 35 characters
  auto tableWith = [&](const std::string &entryLine) {
    return "//300\nh\n" + entryLine + "\n/\ndiffuse dither\n0 plain matte vivid\n"
           "none one two three enh\n0\n";
  };
  EXPECT_EQ(Select(tableWith(line + std::string(220, ' '))), 1000);
  EXPECT_EQ(Select(tableWith(line + std::string(221, ' '))), 0);
  // Column 8 padded with leading zeros to exactly 255 characters, then 256.
  const std::string head = "1000 1 dither vivid 720 360 enh ";
  const std::string nine255 = std::string(254, '0') + "9";
  EXPECT_EQ(Select(tableWith(head + nine255)), 0);  // line too long now
  EXPECT_EQ(Select("//300\nh\n1000 1 dither vivid 720 360 enh 9 2\n/\n"
                   "diffuse dither\n0 plain matte vivid\nnone one two three enh\n" +
                   std::string(256, 'x') + "\n"),
            0);
  EXPECT_EQ(Select("//300\nh\n1000 1 dither vivid 720 360 enh 9 2\n/\n"
                   "diffuse dither\n0 plain matte vivid\nnone one two three enh\n" +
                   std::string(255, 'x') + "\n"),
            1000);
}

TEST_F(SelectionTableTest, WorkAreaFailureGivesMinusOne) {
  table_.entries = {Matching(1000, 1)};
  const std::string text = WriteSelectionTable(table_);
  for (PlatformOp op : {PlatformOp::kAlloc, PlatformOp::kLock}) {
    Context();
    FailNthCall(op, 1);
    EXPECT_EQ(Select(text), -1);
    EXPECT_EQ(cm_->matchedId, 0);
    EXPECT_EQ(LiveAllocations(), 2);
  }
}

}  // namespace
}  // namespace inkdot
