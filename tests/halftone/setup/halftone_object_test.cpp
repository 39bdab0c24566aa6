#include "halftone_fixture.h"

namespace inkdot::testing {
namespace {

using HalftoneObjectTest = HalftoneSetupTest;

TEST_F(HalftoneObjectTest, ChecksReservedThenParamsThenLutWritingNothing) {
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

TEST_F(HalftoneObjectTest, NewObjectHoldsCopiesAndNoBlocks) {
  page_.magnification = 5;
  ASSERT_EQ(Run(0), kOk);
  EXPECT_EQ(std::memcmp(&ht_->params, &page_, sizeof page_), 0);
  EXPECT_EQ(std::memcmp(&ht_->cmLut, &lut_, sizeof lut_), 0);
  EXPECT_EQ(ht_->phase + ht_->lastRow + ht_->lastEndX, 0u);
  EXPECT_TRUE(NoBlocksHeld());
  EXPECT_EQ(ht_->blocks[kErrorLineBlock].pointer, nullptr);
  EXPECT_EQ(DeleteHalftoneContext(ht_), kOk);
  ht_ = nullptr;
  EXPECT_EQ(CallCount(PlatformOp::kFree), 1);
}

TEST_F(HalftoneObjectTest, RefusedFormatPairsLeaveALiveObject) {
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

TEST_F(HalftoneObjectTest, DeleteKeepsTheObjectWhenABlockWillNotGo) {
  ASSERT_EQ(Run(1), kOk);  // one error-line allocation beside the object
  FailNthCall(PlatformOp::kUnlock, 1);
  EXPECT_EQ(DeleteHalftoneContext(ht_), kUnlockFailed);
  EXPECT_EQ(LiveAllocations(), 2);
  FailNthCall(PlatformOp::kFree, 2);  // the object's own free
  EXPECT_EQ(DeleteHalftoneContext(ht_), kFreeFailed);
  EXPECT_EQ(LiveAllocations(), 1);
  ht_ = nullptr;
  ResetPlatform();
}

}  // namespace
}  // namespace inkdot::testing
