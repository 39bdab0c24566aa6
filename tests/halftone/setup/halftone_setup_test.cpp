// SPDX-License-Identifier: Apache-2.0
#include "halftone_fixture.h"

namespace inkdot::testing {
namespace {

using ConversationTest = HalftoneSetupTest;

TEST_F(ConversationTest, ChecksReservedThenParamsThenLutWritingNothing) {
  struct Case { uint32_t reserved; bool params, lut; ResultCode want; };
  for (const Case &c : {Case{1, false, false, kBadReserved}, Case{0, false, false, kBadParams},
                        Case{0, false, true, kBadParams}, Case{0, true, false, kBadTable}}) {
    int32_t firstId = 55;
    EXPECT_EQ(NewHalftoneContext(c.params ? &page_ : nullptr, c.lut ? &lut_ : nullptr, c.reserved,
                                 &firstId, &ht_), c.want);
    EXPECT_EQ(firstId, 55);
    EXPECT_EQ(ht_, nullptr);
  }
  EXPECT_EQ(CallCount(PlatformOp::kAlloc), 0);
  // A failed allocation comes after the list id is written.
  for (PlatformOp op : {PlatformOp::kAlloc, PlatformOp::kLock}) {
    FailNthCall(op, 1);
    int32_t firstId = 55;
    EXPECT_EQ(NewHalftoneContext(&page_, &lut_, 0, &firstId, &ht_),
              op == PlatformOp::kAlloc ? kAllocFailed : kLockFailed);
    EXPECT_EQ(firstId, 700);
    EXPECT_EQ(ht_, nullptr);
  }
}

TEST_F(ConversationTest, RefusedFormatPairsLeaveALiveObject) {
  struct Pair { uint32_t inputFormat, colorMode; bool accepted; };
  for (const Pair &p : {Pair{0, 0, true}, Pair{2, 1, true}, Pair{4, 3, true}, Pair{0, 1, false},
                        Pair{4, 0, false}, Pair{1, 0, false}, Pair{1, 1, false}, Pair{3, 2, false}}) {
    page_.inputFormat = p.inputFormat;
    page_.colorMode = p.colorMode;
    int32_t firstId = 0;
    HalftoneContext *ht = nullptr;
    EXPECT_EQ(NewHalftoneContext(&page_, &lut_, 0, &firstId, &ht), p.accepted ? kOk : kBadParams)
        << p.inputFormat << "/" << p.colorMode;
    ASSERT_NE(ht, nullptr);
    EXPECT_EQ(DeleteHalftoneContext(ht), kOk);
  }
}

TEST_F(ConversationTest, IdList) {
  list_ = IdList({300, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0x8001});
  ASSERT_EQ(list_[0] * 256 + list_[1], 300);  // 0x01 0x2C, high byte first
  ASSERT_EQ(Run(1), kOk);
  EXPECT_EQ(next_, 300);
  EXPECT_EQ(ht_->resourceIds[15], 0xFFFF);
  list_ = IdList({0x8001});
  ASSERT_EQ(Run(1), kOk);
  EXPECT_EQ(next_, -32767);  // sign-extended
  list_ = IdList({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  next_ = 55;
  EXPECT_EQ(Run(1), kBadResource);
  EXPECT_EQ(next_, 55);
  EXPECT_EQ(LiveAllocations(), 1);
  // An empty list ends the conversation at once.
  list_ = IdList({});
  ASSERT_EQ(Run(1), kOk);
  EXPECT_EQ(next_, -1);
  EXPECT_EQ(Feed(grid_), kBadResource);
  EXPECT_EQ(ht_->blocks[kColourTableBlock].handle, 0u);
}

TEST_F(ConversationTest, GridRefusalsFreeEveryBlock) {
  Bytes flat = EvenPositions(), late = EvenPositions();
  flat[5] = flat[4];
  late[0] = 1;
  for (const write::GridResource &grid : {write::GridResource{EvenPositions(), 31},
                                             write::GridResource{flat}, write::GridResource{late}}) {
    grid_ = write::WriteGridResource(grid);
    EXPECT_EQ(Run(2), kBadTable);
    EXPECT_TRUE(NoBlocksHeld());
  }
  lut_.tableHandle = 0;
  EXPECT_EQ(Run(2), kBadParams);
  EXPECT_TRUE(NoBlocksHeld());
  EXPECT_EQ(LiveAllocations(), 1);
}

TEST_F(ConversationTest, SelectorRecord) {
  using write::InputPaletteSelector;
  using write::SinglePaletteSelector;
  using write::WriteSelectorRecord;
  Bytes typeTwo = WriteSelectorRecord(SinglePaletteSelector{5});
  typeTwo[4] = 2;  // no writer makes a record of an unknown type
  // Refused: lengths below 4 (also negative), type 2, type 3 shorter than
  // 22, another signature, no record. The host is told -1.
  for (const Bytes &record : {WriteSelectorRecord(SinglePaletteSelector{5, 3}),
                              WriteSelectorRecord(SinglePaletteSelector{5, -1}), typeTwo,
                              WriteSelectorRecord(InputPaletteSelector{1, 0, 2, 0, {0xFB, 0x69, 0xF7, 0xDD}, 21}),
                              WriteSelectorRecord(InputPaletteSelector{1, 0, 2, 0, {0xFB, 0x69, 0xF6, 0xDD}}),
                              Bytes{}}) {
    selector_ = record;
    lut_.selectorRecord = record.empty() ? nullptr : selector_.data();
    ASSERT_EQ(Run(2), kOk);
    const int live = LiveAllocations();
    EXPECT_EQ(Feed(matrix_), kBadResource);
    EXPECT_EQ(next_, -1);
    EXPECT_EQ(LiveAllocations(), live);
    EXPECT_EQ(Feed(palette_), kBadResource);
  }
  struct Case { Bytes record; uint32_t colorMode; int32_t id; uint32_t alt; };
  for (const Case &c : {Case{WriteSelectorRecord(SinglePaletteSelector{0xABCD}), 1, 0xABCD, 0},
                        Case{WriteSelectorRecord(InputPaletteSelector{-2, 1, 40, 7}), 1, -2, 1},
                        Case{WriteSelectorRecord(InputPaletteSelector{-2, 1, 40, -3}), 0, 40, 0xFFFFFFFD}}) {
    selector_ = c.record;
    lut_.selectorRecord = selector_.data();
    page_.colorMode = c.colorMode, page_.inputFormat = c.colorMode == 0 ? 0 : 2;
    ASSERT_EQ(Run(3), kOk);
    EXPECT_EQ(next_, c.id);
    EXPECT_EQ(ht_->altSelector, c.alt);
  }
}

TEST_F(ConversationTest, RefusedMatricesLoadsAndPalettesKeepTheBlocks) {
  struct Case { uint8_t width, height; uint32_t x, y, dotMode; int32_t load; ResultCode want; };
  for (const Case &c : {Case{48, 4, 720, 720, 2, 250, kBadResource}, Case{4, 0, 720, 720, 2, 250, kBadResource},
                        Case{4, 4, 360, 1440, 2, 250, kBadParams}, Case{4, 4, 720, 720, 1, 300, kBadResource},
                        Case{4, 4, 720, 720, 0, 0, kBadResource}}) {  // loads 0, 0: a tone curve of 0
    page_.xResolution = c.x, page_.yResolution = c.y, page_.dotMode = c.dotMode;
    lut_.inkLoadLight = c.load, lut_.inkLoadDark = c.load == 0 ? 0 : 100;
    matrix_ = MatrixResource(c.width, c.height, 16, 1);
    EXPECT_EQ(Run(3), c.want) << int(c.width) << " " << c.x;
    EXPECT_NE(ht_->blocks[kColourTableBlock].handle, 0u);
  }
  write::DotPalette palette = SumPalette();
  palette.levels[7] = {100, 100, 56};  // sums to 256
  palette_ = write::WriteDotPalette(palette);
  page_.dotMode = 2, lut_.inkLoadLight = 250, lut_.inkLoadDark = 100;
  matrix_ = MatrixResource(4, 4, 16, 1);
  EXPECT_EQ(Run(4), kBadPalette);
  EXPECT_EQ(next_, -1);
  EXPECT_EQ(LiveAllocations(), 6);
}

}  // namespace
}  // namespace inkdot::testing
