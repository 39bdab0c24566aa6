#include "halftone/kernels/dispatcher.h"

#include <gtest/gtest.h>

#include <vector>

#include "halftone/kernels/hand_built_object.h"

namespace inkdot {
namespace {

using testing::Bits;

struct Choice {
  uint32_t dotMode, method, methodVariant, inputFormat, colorMode, x, y;
  int32_t magnification;
  uint32_t altSelector;
  RowKernel expected;
};

void ExpectChoices(const std::vector<Choice> &choices, uint32_t errorLines = 4) {
  for (const Choice &c : choices) {
    HalftoneContext ht{};
    ht.params = {c.method, c.methodVariant, c.inputFormat,   c.colorMode, c.x,
                 c.y,      c.dotMode,       c.magnification, 0,           100,
                 0};
    ht.altSelector = c.altSelector;
    ht.errorLineCount = errorLines;
    EXPECT_EQ(ChooseRowKernel(&ht), c.expected)
        << "dotMode " << c.dotMode << " method " << c.method << " variant "
        << c.methodVariant << " format " << c.inputFormat << " " << c.x << "x" << c.y
        << " magnification " << c.magnification << " alt " << c.altSelector;
  }
}

TEST(ChooseRowKernel, SingleSizeDots) {
  ExpectChoices({
      {1, 0, 0, 2, 1, 720, 720, 0, 0, DitherColorRowCorners},
      {1, 0, 0, 0, 0, 720, 720, 0, 0, DitherMonoRow},
      {1, 3, 1, 2, 1, 720, 720, 0, 0, DitherColorRow},
      {1, 3, 0, 2, 1, 720, 720, 0, 0, DiffuseColorRowHybrid},
      {1, 3, 2, 2, 1, 720, 720, 0, 0, DiffuseColorRowHybrid},
      {1, 3, 2, 0, 0, 720, 720, 0, 0, DitherMonoRow},
      {1, 1, 0, 0, 0, 1440, 720, 0, 0, DiffuseMonoRow1440},
      {1, 1, 0, 0, 0, 2880, 720, 0, 0, DiffuseMonoRow},
      {1, 1, 0, 0, 0, 360, 720, 0, 0, DiffuseMonoRowTall},
      {1, 1, 0, 2, 1, 1440, 720, 0, 0, DiffuseColorRowFast1440},
      {1, 1, 0, 4, 1, 1440, 720, 0, 0, DiffuseColorRow1440},
      {1, 1, 0, 2, 1, 1440, 720, -1, 0, DiffuseColorRow1440},
      {1, 1, 0, 2, 1, 720, 720, 1, 0, DiffuseColorRowFast},
      {1, 1, 0, 4, 1, 720, 720, 0, 0, DiffuseColorRow},
      {1, 1, 0, 2, 1, 720, 720, -1, 0, DiffuseColorRow},
      {1, 7, 0, 4, 1, 360, 720, -1, 0, DiffuseColorRowTall},
      {5, 1, 0, 0, 0, 1440, 720, 0, 1, DiffuseMonoRow1440},  // dot mode 5: family B
  });
  // Method 2 has no error line for grey input and one for colour: too few.
  ExpectChoices({{1, 2, 0, 0, 0, 720, 720, 0, 0, nullptr},
                 {1, 0, 0, 0, 0, 720, 720, 0, 0, DitherMonoRow}},
                0);
  ExpectChoices({{1, 2, 0, 2, 1, 720, 720, 0, 0, nullptr},
                 {1, 2, 0, 0, 0, 720, 720, 0, 0, DiffuseMonoRow},
                 {1, 3, 0, 2, 1, 720, 720, 0, 0, DiffuseColorRowHybrid}},
                1);
}

TEST(ChooseRowKernel, MultiSizeDots) {
  ExpectChoices({
      {2, 1, 0, 2, 1, 2880, 720, 0, 0, nullptr},
      {2, 1, 0, 2, 1, 1440, 720, 0, 0, HybridColorRowWide},
      {2, 1, 0, 2, 1, 720, 720, 0, 0, HybridColorRow},
      {2, 1, 0, 2, 1, 720, 1440, 0, 0, HybridColorRowTall},
      {2, 1, 0, 0, 0, 2880, 720, 0, 0, nullptr},
      {2, 1, 0, 0, 0, 1440, 720, 0, 0, DotDiffuseMonoRow1440},
      {2, 1, 0, 0, 0, 720, 720, 0, 0, DotDiffuseMonoRow},
      {2, 1, 0, 0, 0, 360, 720, 0, 0, DotDiffuseMonoRowTall},
      {2, 3, 0, 2, 1, 720, 720, 0, 0, DotDitherColorRow},
      {2, 3, 0, 4, 1, 720, 720, 0, 0, DotDitherInkRow},
      {2, 3, 0, 0, 0, 720, 720, 0, 0, DotDitherMonoRow},
      {2, 3, 0, 0, 0, 720, 1440, 0, 0, DotDitherMonoRowTall},
      {2, 0, 0, 0, 0, 720, 720, 0, 0, nullptr},
      {2, 1, 0, 2, 1, 2880, 720, 0, 1, HybridColorRow2880},
      {2, 1, 0, 0, 0, 2880, 720, 0, 1, DotDiffuseMonoRow2880},
      {2, 1, 0, 0, 0, 1440, 720, 0, 1, nullptr},
      {2, 3, 0, 0, 0, 2880, 720, 0, 1, nullptr},
  });
}

// A grey ordered-dither page: a dot wherever the source byte is 255.
class DispatcherTest : public ::testing::Test {
 protected:
  DispatcherTest() : object_(150) {
    object_->params = {3, 0, 0, 0, 720, 720, 1, 0, 0, 150, 0};
    object_.SetMatrix(1, 1, {100});
    object_.LevelScale()[255] = 200;
  }
  const uint8_t *Prepare(int32_t magnification, uint32_t replication, uint32_t format,
                         const std::vector<uint8_t> &src, uint32_t count) {
    object_->params.magnification = magnification;
    object_->params.inputFormat = format;
    object_->replication = replication;
    object_.Table<uint8_t>(kRowBufferBlock, 150 * BytesPerPixel(format));
    return PrepareRow(object_.get(), src.data(), count);
  }
  testing::PlatformGuard guard_;
  testing::HandBuiltObject object_;
};

TEST_F(DispatcherTest, ChecksTheRunEndFirst) {
  std::vector<uint8_t> src(150, 255);
  uint8_t dst[8] = {};
  HalftoneContext *ht = object_.get();
  EXPECT_EQ(HalftoneRun(ht, src.data(), dst, 0, 0, 50, 100, 0, 0, 0, 0), kOk);
  EXPECT_EQ(Bits(dst, 8), "11111111");
  dst[0] = 0;
  EXPECT_EQ(HalftoneRun(ht, src.data(), dst, 0, 0, 50, 100, 0, 0, 1, 0), kBadReservedA);
  ht->params.maxPixels = 149;
  EXPECT_EQ(HalftoneRun(ht, src.data(), dst, 0, 0, 50, 100, 0, 0, 1, 0), kRunTooLong);
  EXPECT_EQ(HalftoneRun(ht, src.data(), dst, 0, 0, 0x20, 0xFFFFFFF0u, 0, 0, 0, 0),
            kRunTooLong);  // an end past 32 bits does not wrap round
  ht->params.dotMode = 2;
  ht->params.method = 0;
  ht->params.maxPixels = 150;
  EXPECT_EQ(HalftoneRun(ht, src.data(), dst, 0, 0, 50, 100, 0, 0, 0, 0), kNoKernel);
  EXPECT_EQ(dst[0], 0);
}

TEST_F(DispatcherTest, RowPreparationRepeatsSourcePixels) {
  // Sources hold exactly the pixels needed: a read past them leaves the
  // vector's storage.
  const uint8_t *p = Prepare(0, 3, 0, {10, 11, 12}, 7);
  EXPECT_EQ(std::vector<uint8_t>(p, p + 7),
            (std::vector<uint8_t>{10, 10, 10, 11, 11, 11, 12}));
  p = Prepare(1, 2, 0, {20, 21}, 8);  // magnification 1: half as many
  EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{20, 20, 21, 21}));
  p = Prepare(1, 2, 0, {20, 21, 22}, 9);
  EXPECT_EQ(std::vector<uint8_t>(p, p + 5), (std::vector<uint8_t>{20, 20, 21, 21, 22}));
  p = Prepare(0, 2, 6, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 3);
  EXPECT_EQ(
      std::vector<uint8_t>(p, p + 18),
      (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST_F(DispatcherTest, KernelReadsTheReplicatedRun) {
  // Magnification code 5 is replication 3 with code 1: six output pixels
  // per source pixel.
  Prepare(1, 3, 0, {}, 0);
  const uint8_t src[2] = {255, 0};
  uint8_t dst[2] = {};
  ASSERT_EQ(HalftoneRun(object_.get(), src, dst, 0, 0, 12, 0, 0, 0, 0, 0), kOk);
  EXPECT_EQ(Bits(dst, 12), "111111000000");
}

}  // namespace
}  // namespace inkdot
