#include "colour/colour_table.h"

#include <vector>

#include <gtest/gtest.h>

#include "colour/cm_context.h"
#include "colour_resource_writers.h"
#include "support/test_platform.h"

namespace inkdot {
namespace {

using resources::ColourTable;
using resources::EvenNodes;
using testing::LiveAllocations;
using testing::PlatformOp;
using Bytes = std::vector<uint8_t>;

// `size` nodes per axis, `channels` inks of noise, black values 3 + 7 i.
ColourTable MakeTable(int size, int channels) {
  ColourTable t;
  t.channelCount = uint8_t(channels);
  t.nodes1 = t.nodes2 = t.nodes3 = EvenNodes(size);
  for (int n = 0; n < size * size * size * channels; ++n) t.grid.push_back(uint8_t(n * 37 + 11));
  for (int i = 0; i < size; ++i) t.neutralBlack.push_back(uint8_t(3 + 7 * i));
  return t;
}

class ColourTableTest : public ::testing::Test {
 protected:
  ColourTableTest() {
    params_.neutralBalance = 50;
    page_.method = 3, page_.inputFormat = 2, page_.colorMode = 1;
  }
  ~ColourTableTest() override { Drop(); }

  ResultCode Decode(const ColourTable &table) {
    Drop();
    int32_t nextId = 0;
    EXPECT_EQ(NewCmContext(&params_, &page_, &nextId, &cm_), kOk);
    cm_->matchedId = 4000, cm_->matchedNext = 310;
    resource_ = resources::WriteColourTable(table);
    return DecodeColourTable(cm_, resource_.data());
  }
  void Drop() {
    if (cm_ != nullptr) {
      EXPECT_EQ(DeleteCmContext(cm_), kOk);
    }
    cm_ = nullptr;
    EXPECT_EQ(LiveAllocations(), 0);
  }

  testing::PlatformGuard guard_;
  CmParams params_{};
  HalftoneParams page_{};
  CmContext *cm_ = nullptr;
  Bytes resource_;
};

TEST_F(ColourTableTest, UnusableResourcesAreRefusedBeforeAnythingIsTaken) {
  std::vector<void (*)(ColourTable &)> changes = {
      [](ColourTable &t) { t.nodes1.clear(), t.nodes2.clear(), t.nodes3.clear(); },
      [](ColourTable &t) { t.nodes1 = t.nodes2 = t.nodes3 = {0}; },
      [](ColourTable &t) { t.nodes1 = t.nodes2 = t.nodes3 = EvenNodes(37); },
      [](ColourTable &t) { t.nodes2 = EvenNodes(5); },
      [](ColourTable &t) { t.nodes1 = {1, 80, 160, 255}; },
      [](ColourTable &t) { t.nodes2 = {0, 80, 160, 254}; },
      [](ColourTable &t) { t.nodes3 = {0, 80, 80, 255}; },
      [](ColourTable &t) { t.channelCount = 0; },
      [](ColourTable &t) { t.format = 128, t.nodes4 = EvenNodes(3); },
      [](ColourTable &t) { t.format = 128, t.nodes4 = {0, 90, 90, 255}; },
      [](ColourTable &t) { t.kind = 3, t.inkLoadDark = 0; },  // the curve is needed
  };
  for (size_t n = 0; n < changes.size(); ++n) {
    ColourTable t = MakeTable(4, 3);
    t.selector = {1, 2, 3};
    changes[n](t);
    EXPECT_EQ(Decode(t), kBadResource) << n;
    EXPECT_EQ(cm_->lut->tableResourceId, 0) << n;
    EXPECT_EQ(LiveAllocations(), 2) << n;
  }
  ColourTable t = MakeTable(36, 1);  // the largest grid, and a pair only
  t.kind = 1, t.inkLoadDark = 0;     // unusable where it is not needed
  ASSERT_EQ(Decode(t), kOk);
  EXPECT_EQ(cm_->lut->tableData[36 * 36 * 36 - 1], 3 + 7 * 35);
}

TEST_F(ColourTableTest, EveryAllocationFailureGivesItsCodeAndLeaksNothing) {
  const struct { bool selector; PlatformOp op; int nth; ResultCode want; int kept; } steps[] = {
      {true, PlatformOp::kAlloc, 1, kAllocFailed, 0}, {true, PlatformOp::kLock, 1, kLockFailed, 0},
      {true, PlatformOp::kAlloc, 2, kAllocFailed, 1}, {true, PlatformOp::kLock, 2, kLockFailed, 1},
      {false, PlatformOp::kAlloc, 1, kAllocFailed, 0}, {false, PlatformOp::kLock, 1, kLockFailed, 0}};
  for (const auto &s : steps) {
    ColourTable t = MakeTable(3, 2);
    if (s.selector) t.selector = {4, 4};
    // The object takes two allocations and two locks first.
    testing::FailNthCall(s.op, s.nth + 2);
    EXPECT_EQ(Decode(t), s.want) << s.nth;
    EXPECT_EQ(cm_->lut->tableHandle, 0u);
    EXPECT_EQ(LiveAllocations(), 2 + s.kept) << s.nth;  // a selector copy stays for CmDelete
    Drop();
  }
}

}  // namespace
}  // namespace inkdot
