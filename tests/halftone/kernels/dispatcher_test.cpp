#include "halftone/kernels/dispatcher.h"

#include <gtest/gtest.h>

#include <vector>

#include "halftone/kernels/hand_built_object.h"

namespace inkdot {
namespace {

using testing::Bits;
using testing::HandBuiltObject;

struct Page {
  uint32_t dotMode, method, methodVariant, inputFormat, colorMode, x, y;
  int32_t magnification;
  uint32_t altSelector;
};

RowKernel Choose(const Page &p, uint32_t errorLines = 4) {
  HalftoneContext ht{};
  ht.params = {p.method, p.methodVariant, p.inputFormat,   p.colorMode, p.x,
               p.y,      p.dotMode,       p.magnification, 0,           100,
               0};
  ht.altSelector = p.altSelector;
  ht.errorLineCount = errorLines;
  return ChooseRowKernel(&ht);
}

TEST(ChooseRowKernel, SingleSizeDotTable) {
  struct Row {
    Page page;
    RowKernel expected;
  } rows[] = {
      {{1, 0, 0, 2, 1, 720, 720, 0, 0}, DitherColorRowCorners},
      {{1, 0, 0, 0, 0, 720, 720, 0, 0}, DitherMonoRow},
      {{1, 3, 1, 2, 1, 720, 720, 0, 0}, DitherColorRow},
      {{1, 3, 0, 2, 1, 720, 720, 0, 0}, DiffuseColorRowHybrid},
      {{1, 3, 2, 2, 1, 720, 720, 0, 0}, DiffuseColorRowHybrid},
      {{1, 3, 2, 0, 0, 720, 720, 0, 0}, DitherMonoRow},
      {{1, 1, 0, 0, 0, 1440, 720, 0, 0}, DiffuseMonoRow1440},
      {{1, 1, 0, 0, 0, 720, 720, 0, 0}, DiffuseMonoRow},
      {{1, 1, 0, 0, 0, 2880, 720, 0, 0}, DiffuseMonoRow},
      {{1, 1, 0, 0, 0, 360, 720, 0, 0}, DiffuseMonoRowTall},
      {{1, 1, 0, 2, 1, 1440, 720, 0, 0}, DiffuseColorRowFast1440},
      {{1, 1, 0, 4, 1, 1440, 720, 0, 0}, DiffuseColorRow1440},
      {{1, 1, 0, 2, 1, 1440, 720, -1, 0}, DiffuseColorRow1440},
      {{1, 1, 0, 2, 1, 720, 720, 1, 0}, DiffuseColorRowFast},
      {{1, 1, 0, 4, 1, 720, 720, 0, 0}, DiffuseColorRow},
      {{1, 1, 0, 2, 1, 720, 720, -1, 0}, DiffuseColorRow},
      {{1, 7, 0, 4, 1, 360, 720, -1, 0}, DiffuseColorRowTall},
      // Any dot mode but 2 is family B; the selector flag only matters there.
      {{5, 1, 0, 0, 0, 1440, 720, 0, 1}, DiffuseMonoRow1440},
      {{0, 0, 0, 2, 1, 720, 720, 0, 0}, DitherColorRowCorners},
  };
  for (const Row &r : rows) {
    EXPECT_EQ(Choose(r.page), r.expected)
        << "dotMode " << r.page.dotMode << " method " << r.page.method << " format "
        << r.page.inputFormat << " " << r.page.x << "x" << r.page.y;
  }
}

TEST(ChooseRowKernel, MultiSizeDotTables) {
  struct Row {
    Page page;
    RowKernel expected;
  } rows[] = {
      {{2, 1, 0, 2, 1, 2880, 720, 0, 0}, nullptr},
      {{2, 1, 0, 2, 1, 1440, 720, 0, 0}, HybridColorRowWide},
      {{2, 1, 0, 2, 1, 720, 720, 0, 0}, HybridColorRow},
      {{2, 1, 0, 2, 1, 720, 1440, 0, 0}, HybridColorRowTall},
      {{2, 1, 0, 0, 0, 2880, 720, 0, 0}, nullptr},
      {{2, 1, 0, 0, 0, 1440, 720, 0, 0}, DotDiffuseMonoRow1440},
      {{2, 1, 0, 0, 0, 720, 720, 0, 0}, DotDiffuseMonoRow},
      {{2, 1, 0, 0, 0, 360, 720, 0, 0}, DotDiffuseMonoRowTall},
      {{2, 3, 0, 2, 1, 720, 720, 0, 0}, DotDitherColorRow},
      {{2, 3, 0, 4, 1, 720, 720, 0, 0}, DotDitherInkRow},
      {{2, 3, 0, 0, 0, 720, 720, 0, 0}, DotDitherMonoRow},
      {{2, 3, 0, 0, 0, 720, 1440, 0, 0}, DotDitherMonoRowTall},
      {{2, 0, 0, 0, 0, 720, 720, 0, 0}, nullptr},
      {{2, 2, 0, 2, 1, 720, 720, 0, 0}, nullptr},
      {{2, 1, 0, 2, 1, 2880, 720, 0, 1}, HybridColorRow2880},
      {{2, 1, 0, 0, 0, 2880, 720, 0, 1}, DotDiffuseMonoRow2880},
      {{2, 1, 0, 0, 0, 1440, 720, 0, 1}, nullptr},
      {{2, 3, 0, 0, 0, 2880, 720, 0, 1}, nullptr},
  };
  for (const Row &r : rows) {
    EXPECT_EQ(Choose(r.page), r.expected)
        << "method " << r.page.method << " colour " << r.page.colorMode << " "
        << r.page.x << "x" << r.page.y << " alt " << r.page.altSelector;
  }
}

TEST(ChooseRowKernel, DiffusionWithoutItsErrorLinesHasNoKernel) {
  // Method 2 grey gets no error line, method 2 colour at most one.
  EXPECT_EQ(Choose({1, 2, 0, 0, 0, 720, 720, 0, 0}, 0), nullptr);
  EXPECT_EQ(Choose({1, 2, 0, 2, 1, 720, 720, 0, 0}, 1), nullptr);
  EXPECT_EQ(Choose({1, 2, 0, 0, 0, 720, 720, 0, 0}, 1), DiffuseMonoRow);
  EXPECT_EQ(Choose({1, 3, 0, 2, 1, 720, 720, 0, 0}, 1), DiffuseColorRowHybrid);
  EXPECT_EQ(Choose({1, 0, 0, 0, 0, 720, 720, 0, 0}, 0), DitherMonoRow);
}

class DispatcherTest : public ::testing::Test {
 protected:
  // A grey ordered-dither page: one dot wherever the source byte is 255.
  DispatcherTest() : object_(150) {
    object_.params() = {3, 0, 0, 0, 720, 720, 1, 0, 0, 150, 0};
    object_.SetMatrix(1, 1, {100});
    object_.LevelScale()[255] = 200;
  }
  testing::PlatformGuard guard_;
  HandBuiltObject object_;
};

TEST_F(DispatcherTest, ChecksTheRunEndBeforeTheReservedWord) {
  std::vector<uint8_t> src(150, 255);
  uint8_t dst[32] = {};
  EXPECT_EQ(HalftoneRun(object_.get(), src.data(), dst, 0, 0, 50, 100, 0, 0, 0, 0),
            kOk);
  EXPECT_EQ(Bits(dst, 8), "11111111");
  dst[0] = 0;
  EXPECT_EQ(HalftoneRun(object_.get(), src.data(), dst, 0, 0, 50, 100, 0, 0, 1, 0),
            kBadReservedA);
  object_->params.maxPixels = 149;
  EXPECT_EQ(HalftoneRun(object_.get(), src.data(), dst, 0, 0, 50, 100, 0, 0, 1, 0),
            kRunTooLong);
  // An end column that wraps past 32 bits is no shorter run.
  EXPECT_EQ(
      HalftoneRun(object_.get(), src.data(), dst, 0, 0, 0x20, 0xFFFFFFF0u, 0, 0, 0, 0),
      kRunTooLong);
  EXPECT_EQ(dst[0], 0);
}

TEST_F(DispatcherTest, ACombinationWithoutKernelAnswers512AndWritesNothing) {
  object_->params.dotMode = 2;
  object_->params.method = 0;
  uint8_t src[4] = {255, 255, 255, 255};
  uint8_t dst[2] = {0x5A, 0x5A};
  EXPECT_EQ(HalftoneRun(object_.get(), src, dst, 0, 0, 4, 0, 0, 0, 0, 0), kNoKernel);
  EXPECT_EQ(dst[0], 0x5A);
}

TEST_F(DispatcherTest, ReplicationRepeatsEachSourcePixel) {
  object_.AddRowBuffer(3, 1);
  // Exactly the three source pixels that seven prepared pixels need: a read
  // past them would leave the vector's storage.
  const std::vector<uint8_t> src = {10, 11, 12};
  const uint8_t *prepared = PrepareRow(object_.get(), src.data(), 7);
  EXPECT_EQ(std::vector<uint8_t>(prepared, prepared + 7),
            (std::vector<uint8_t>{10, 10, 10, 11, 11, 11, 12}));
}

TEST_F(DispatcherTest, ReplicationWithMagnificationOnePreparesHalfTheRun) {
  object_->params.magnification = 1;
  object_.AddRowBuffer(2, 1);
  const std::vector<uint8_t> two = {20, 21};
  const uint8_t *prepared = PrepareRow(object_.get(), two.data(), 8);
  EXPECT_EQ(std::vector<uint8_t>(prepared, prepared + 4),
            (std::vector<uint8_t>{20, 20, 21, 21}));
  const std::vector<uint8_t> three = {20, 21, 22};
  prepared = PrepareRow(object_.get(), three.data(), 9);
  EXPECT_EQ(std::vector<uint8_t>(prepared, prepared + 5),
            (std::vector<uint8_t>{20, 20, 21, 21, 22}));
}

TEST_F(DispatcherTest, ReplicationCopiesWholePixelsOfEveryWidth) {
  object_->params.inputFormat = 6;
  object_.AddRowBuffer(2, 6);
  const std::vector<uint8_t> src = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const uint8_t *prepared = PrepareRow(object_.get(), src.data(), 3);
  EXPECT_EQ(
      std::vector<uint8_t>(prepared, prepared + 18),
      (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST_F(DispatcherTest, KernelReadsTheReplicatedRun) {
  // Magnification code 5 became replication 3 with code 1: each source
  // pixel covers six output pixels.
  object_->params.magnification = 1;
  object_.AddRowBuffer(3, 1);
  const uint8_t src[2] = {255, 0};
  uint8_t dst[2] = {};
  ASSERT_EQ(HalftoneRun(object_.get(), src, dst, 0, 0, 12, 0, 0, 0, 0, 0), kOk);
  EXPECT_EQ(Bits(dst, 12), "111111000000");
}

}  // namespace
}  // namespace inkdot
