// SPDX-License-Identifier: Apache-2.0
// Per-ink calibration, driven through the public colour conversation from
// CmNew to CmDelete.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "colour/option_list.h"
#include "inkdot/formats/calibration.h"
#include "inkdot/formats/colour_table.h"
#include "inkdot/formats/selection_table.h"
#include "inkdot/inkdot.h"
#include "support/option_list_builder.h"
#include "support/test_platform.h"

namespace inkdot {

namespace write = formats::write;

namespace {

using write::ChannelMapRecord;
using write::ReferenceValues;
using testing::LiveAllocations;
using testing::PlatformOp;

constexpr int kInks = 4;
constexpr int kTableBytes = 27 * kInks;  // 3 x 3 x 3 nodes
constexpr int32_t kTableId = 12345;
constexpr int32_t kCurveId = 12777;

// Curve n of the curve resource: every curve differs from every other at
// every byte, and none is the identity.
uint8_t CurveByte(int n, int v) { return static_cast<uint8_t>(n == 0 ? 255 - v : v / 2 + n); }

write::SelectionTable Selection(int32_t id, const char *mode, int32_t keyNumber) {
  write::SelectionTable table;
  table.methods = {"none", "diffuse", "dither", "screen"};
  table.keys = {"Plain"};
  table.modes = {"calib", "one", "two", "three", "enh"};
  table.entries = {{id, 250, "screen", "Plain", 720, 720, mode, keyNumber, 0}};
  return table;
}

class CalibrationTest : public ::testing::Test {
 protected:
  CalibrationTest() {
    page_ = {3, 0, 2, 1, 720, 720, 0, 0, 0, 0, 0};
    params_.tableKeyNumber = 5;
    params_.neutralBalance = 50;
    params_.colorAdjustMode = 2;  // match mode 4 for the first table only
    firstTable_ = write::WriteSelectionTable(Selection(kTableId, "enh", 5));
    secondTable_ = write::WriteSelectionTable(Selection(kCurveId, "calib", 5));
    table_.channelCount = kInks;
    table_.nodes1 = table_.nodes2 = table_.nodes3 = write::EvenNodes(3);
    for (int i = 0; i < kTableBytes; ++i) table_.grid.push_back(static_cast<uint8_t>(i * 7 + 3));
    table_.neutralBlack = {0, 0, 0};
    block_ = {"CW:", 3, {55, 30, 70, 50}, {0xFE, 0xFF}};
    map_ = {{1, {3, 3, 3, 3}}, {3, {0, 1, 2, 3}}};
    reference_ = {std::nullopt, {50, 70, 30, 50}};
    std::vector<write::Curve> curves(37);
    for (int n = 0; n < 37; ++n) {
      for (int v = 0; v < 256; ++v) curves[n][v] = CurveByte(n, v);
    }
    curves_ = write::WriteCurves(curves);
  }

  ~CalibrationTest() override {
    if (cm_ != nullptr) CmDelete(cm_);
    EXPECT_EQ(LiveAllocations(), 0);
  }

  ResultCode New() {
    colourTable_ = write::WriteColourTable(table_);
    blockBytes_ = write::WriteCalibrationBlock(block_);
    mapBytes_ = write::WriteChannelMap(map_);
    referenceBytes_ = write::WriteReferenceValues(reference_);
    options_ = {};
    options_.Add(kOptionCalibration, blockBytes_.data());
    params_.options = options_.List();
    nextId_ = 55;
    return CmNew(&params_, &page_, 0, &nextId_, &cm_);
  }

  ResultCode Next() {
    const void *wanted = nullptr;
    switch (nextId_) {
      case 0: wanted = firstTable_.c_str(); break;
      case kTableId: wanted = colourTable_.data(); break;
      case 980: wanted = mapBytes_.data(); break;
      case 990: wanted = referenceBytes_.data(); break;
      case 12900: wanted = secondTable_.c_str(); break;
      case kCurveId: wanted = curves_.data(); break;
    }
    return CmSetResource(cm_, wanted, &nextId_);
  }

  // The whole conversation: the first non-zero code, or 0.
  ResultCode Converse(std::vector<int32_t> *ids = nullptr) {
    ResultCode result = New();
    while (result == kOk && nextId_ != -1) {
      result = Next();
      if (ids != nullptr) ids->push_back(nextId_);
    }
    return result;
  }

  void Delete() {
    CmDelete(cm_);
    cm_ = nullptr;
    EXPECT_EQ(LiveAllocations(), 0);
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  write::ColourTable table_;
  write::CalibrationBlock block_;
  std::vector<ChannelMapRecord> map_;
  ReferenceValues reference_;
  testing::OptionListBuilder options_;
  std::string firstTable_, secondTable_;
  std::vector<uint8_t> colourTable_, blockBytes_, mapBytes_, referenceBytes_, curves_;
  CmContext *cm_ = nullptr;
  int32_t nextId_ = 0;
};

TEST_F(CalibrationTest, InvalidBlocksSkipTheCalibration) {
  const std::vector<uint8_t> ok = {50, 50, 50, 50};
  const write::CalibrationBlock invalid[] = {
      {"CW:", 3, {50, 29, 50, 50}, {0xFE, 0xFF}},
      {"CW:", 3, {50, 50, 50, 71}, {0xFE, 0xFF}},
      {"CW:", 3, ok, {0xFE, 0x00}},
      {"CW:", 3, ok, {0xFF, 0xFF}},
      {"CW;", 3, ok, {0xFE, 0xFF}},
      {"CW:", 3, {50, 50, 50}, {0xFE, 0xFF, 0xFF}},  // one value short
  };
  for (const auto &block : invalid) {
    block_ = block;
    std::vector<int32_t> ids;
    ASSERT_EQ(Converse(&ids), kOk);
    EXPECT_EQ(ids, (std::vector<int32_t>{kTableId, -1}));
    EXPECT_EQ(LiveAllocations(), 3);
    Delete();
  }
  // The edges of the value range are valid.
  block_ = {"CW:", 3, {30, 70, 30, 70}, {0xFE, 0xFF}};
  ASSERT_EQ(New(), kOk);
  ASSERT_EQ(Next(), kOk);
  ASSERT_EQ(Next(), kOk);
  EXPECT_EQ(nextId_, 980);
}

TEST_F(CalibrationTest, RefusedCallsReleaseTheState) {
  const std::vector<std::vector<ChannelMapRecord>> refusedMaps = {
      {{3, {0, 1, 4, 3}}},                 // plane 4 of 4 channels
      {{3, {0, 1, 2}}},                    // a plane number missing
      {{5, std::vector<uint8_t>(20, 0)}},  // 21 bytes before the 0xFE
  };
  for (const auto &map : refusedMaps) {
    map_ = map;
    EXPECT_EQ(Converse(), kBadResource);
    EXPECT_EQ(LiveAllocations(), 3);
    Delete();
  }
  // 20 bytes is still a record, and other heads' planes are not checked.
  map_ = {{5, std::vector<uint8_t>(19, 9)}, {3, {0, 1, 2, 3}}};
  ASSERT_EQ(Converse(), kOk);
  Delete();

  // The second selection table has no line for the settings.
  secondTable_ = write::WriteSelectionTable(Selection(kCurveId, "calib", 6));
  ASSERT_EQ(New(), kOk);
  for (int call = 1; call <= 4; ++call) ASSERT_EQ(Next(), kOk);
  EXPECT_EQ(LiveAllocations(), 5);  // with the state and its planes
  EXPECT_EQ(Next(), kBadResource);
  EXPECT_EQ(nextId_, 0);
  EXPECT_EQ(LiveAllocations(), 3);
  nextId_ = kCurveId;
  EXPECT_EQ(Next(), kBadResource);  // nothing released is touched
}

}  // namespace
}  // namespace inkdot
