#include <algorithm>

#include "halftone_fixture.h"

namespace inkdot::testing {
namespace {

using ConversationTest = HalftoneSetupTest;

TEST_F(ConversationTest, ColourPageInDotModeTwo) {
  const int32_t wantIds[4] = {10, 11, 900, -1};  // list entry 0, index 1 (720 x 720), selector, end
  const Bytes *resources[4] = {&list_, &grid_, &matrix_, &palette_};
  ASSERT_EQ(Run(0), kOk);
  for (int call = 0; call < 4; ++call) {
    ASSERT_EQ(Feed(*resources[call]), kOk);
    EXPECT_EQ(next_, wantIds[call]) << call;
  }
  EXPECT_EQ(ht_->cmLut.gridSize3, 32);
  EXPECT_EQ(ht_->cmLut.nodes2[30], 240);
  EXPECT_EQ(ht_->cmLut.tableHandle, 0u);
  EXPECT_EQ(ht_->cmLut.tableData, Block(kColorTableBlock));
  EXPECT_EQ(ht_->blocks[kColorTableBlock].size, 32768u * 4);
  EXPECT_EQ(Block(kGridIndexBlock)[2 * 250] * 1000 + Block(kGridIndexBlock)[2 * 250 + 1], 30085);
  EXPECT_EQ(ht_->paletteTotals[30], 480u);  // (10, 10, 10) at 16 ranks a level
  EXPECT_EQ(std::memcmp(Block(kDotPaletteBlock), palette_.data(), 768), 0);
  // Object, error lines, table, matrix, curves, palette; the blocks carved
  // from them carry handle 0, so each goes once (a second free aborts).
  EXPECT_EQ(LiveAllocations(), 6);
  for (int b : {2, 3, 4, 6, 8, 9}) {  // lines 2..4, level scale, dot curve, grid steps
    EXPECT_TRUE(ht_->blocks[b].handle == 0 && ht_->blocks[b].pointer != nullptr) << b;
  }
  EXPECT_EQ(Feed(palette_), kBadResource);  // nothing more is wanted
  EXPECT_EQ(ht_->phase, 5u);
}

TEST_F(ConversationTest, GreyPageInDotModeZeroEndsAfterTheMatrix) {
  page_ = HalftoneParams{0, 0, 0, 0, 720, 720, 0, 2, 0, 50, 0};
  ASSERT_EQ(Run(1), kOk);
  EXPECT_EQ(ht_->errorLineCount, 0u);  // grey screening diffuses nothing
  ASSERT_EQ(SetHalftoneResource(ht_, nullptr, &next_), kOk);  // grid not read
  for (int i = 0; i < 256; ++i) ASSERT_EQ(Block<uint16_t>(kColorTableBlock)[i], 255 - i);
  ASSERT_EQ(Feed(matrix_), kOk);
  EXPECT_EQ(next_, -1);
  EXPECT_EQ(ht_->blocks[kLevelScaleBlock].size, 1024u);  // with its scratch half
  EXPECT_EQ(Block(kLevelScaleBlock), Block(kThresholdMatrixBlock) + 8192);
  // A call after -1 is refused and changes nothing but the call count.
  const Bytes before(reinterpret_cast<uint8_t *>(ht_), reinterpret_cast<uint8_t *>(ht_ + 1));
  next_ = 77;
  EXPECT_EQ(Feed(palette_), kBadResource);
  EXPECT_EQ(next_, 77);
  ht_->phase = 3;
  EXPECT_EQ(std::memcmp(before.data(), ht_, before.size()), 0);
  EXPECT_EQ(LiveAllocations(), 5);  // object, row buffer, curve, matrix, curves
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
  EXPECT_EQ(ht_->blocks[kColorTableBlock].handle, 0u);
}

TEST_F(ConversationTest, MatrixIdByResolution) {
  struct Case { uint32_t x, y; int32_t id; };
  for (const Case &c : {Case{1440, 720, 13}, Case{720, 720, 11}, Case{720, 1440, 14}, Case{2880, 720, 15},
                        Case{1440, 360, 15}, Case{720, 360, 12}, Case{360, 1440, 11}}) {
    page_.xResolution = c.x, page_.yResolution = c.y;
    ASSERT_EQ(Run(2), kOk);
    EXPECT_EQ(next_, c.id) << c.x << " x " << c.y;
  }
  // Entries past the end mark were never written: 2880 x 720 asks for
  // resource 0, while 1440 x 720 meets the end mark itself.
  list_ = IdList({10, 11, 12});
  page_.xResolution = 2880, page_.yResolution = 720;
  ASSERT_EQ(Run(2), kOk);
  EXPECT_EQ(next_, 0);
  page_.xResolution = 1440;
  next_ = 55;
  EXPECT_EQ(Run(2), kBadResource);
  EXPECT_EQ(next_, 10);
  EXPECT_EQ(ht_->blocks[kColorTableBlock].handle, 0u);
  EXPECT_NE(ht_->blocks[kErrorLineBlock].handle, 0u);
}

TEST_F(ConversationTest, ErrorLinesAndRowBuffer) {
  // 4035 pixels: lines of 16380 bytes, four fit 65535 and share; 4036: 16384 each.
  for (uint32_t pixels : {4035u, 4036u}) {
    page_.maxPixels = pixels;
    ASSERT_EQ(Run(1), kOk);
    const uint32_t line = pixels == 4035 ? 16380 : 16384;
    EXPECT_EQ(LiveAllocations(), pixels == 4035 ? 2 : 5);
    for (int k = 0; k < 4; ++k) {
      const MemoryBlock &block = ht_->blocks[kErrorLineBlock + k];
      if (pixels == 4035 && k > 0) {
        EXPECT_EQ(Block(kErrorLineBlock + k), Block(kErrorLineBlock) + k * line);
      }
      EXPECT_EQ(block.handle != 0, pixels == 4036 || k == 0);
      EXPECT_EQ(std::count(Block(kErrorLineBlock + k), Block(kErrorLineBlock + k) + line, 0), line);
    }
  }
  struct Lines { uint32_t method, variant, inputFormat, colorMode, count; };
  for (const Lines &c : {Lines{1, 0, 0, 0, 1}, Lines{3, 2, 2, 1, 1}, Lines{3, 1, 2, 1, 0}, Lines{2, 0, 4, 3, 1}}) {
    page_ = HalftoneParams{c.method, c.variant, c.inputFormat, c.colorMode, 720, 720, 0, 0, 0, 10, 0};
    ASSERT_EQ(Run(1), kOk);
    EXPECT_EQ(ht_->errorLineCount, c.count) << c.method << "/" << c.variant;
    EXPECT_EQ(ht_->blocks[kErrorLineBlock + 1].pointer, nullptr);
  }
  struct Split { int32_t magnification; uint32_t inputFormat, replication; int32_t code; uint32_t buffer; };
  for (const Split &s : {Split{2, 2, 3, 0, 30}, Split{3, 6, 2, 1, 60}, Split{5, 4, 3, 1, 40},
                         Split{1, 2, 1, 1, 0}, Split{-1, 2, 1, -1, 0}}) {
    page_.magnification = s.magnification, page_.inputFormat = s.inputFormat;
    ASSERT_EQ(Run(1), kOk);
    EXPECT_EQ(ht_->replication, s.replication) << s.magnification;
    EXPECT_EQ(ht_->params.magnification, s.code) << s.magnification;
    EXPECT_EQ(ht_->blocks[kRowBufferBlock].size, s.buffer) << s.magnification;
  }
}

TEST_F(ConversationTest, GridRefusalsFreeEveryBlock) {
  Bytes flat = EvenPositions(), late = EvenPositions();
  flat[5] = flat[4];
  late[0] = 1;
  for (const resources::GridResource &grid : {resources::GridResource{EvenPositions(), 31},
                                             resources::GridResource{flat}, resources::GridResource{late}}) {
    grid_ = resources::WriteGridResource(grid);
    EXPECT_EQ(Run(2), kBadTable);
    EXPECT_TRUE(NoBlocksHeld());
  }
  lut_.tableHandle = 0;
  EXPECT_EQ(Run(2), kBadParams);
  EXPECT_TRUE(NoBlocksHeld());
  EXPECT_EQ(LiveAllocations(), 1);
}

TEST_F(ConversationTest, MethodZeroTakesTheCubeCornersWithoutReadingTheGrid) {
  page_.method = 0;
  ASSERT_EQ(Run(1), kOk);
  ASSERT_EQ(SetHalftoneResource(ht_, nullptr, &next_), kOk);
  EXPECT_EQ(ht_->cmLut.gridSize2 * 1000 + ht_->cmLut.nodes3[1], 2255);
  EXPECT_EQ(ht_->blocks[kColorTableBlock].size, 32u);
  EXPECT_EQ(std::memcmp(Block(kColorTableBlock) + 28, &source_[source_.size() - 4], 4), 0);
}

TEST_F(ConversationTest, SelectorRecord) {
  using resources::InputPaletteSelector;
  using resources::SinglePaletteSelector;
  using resources::WriteSelectorRecord;
  Bytes typeTwo = WriteSelectorRecord(SinglePaletteSelector{5});
  typeTwo[4] = 2;  // no writer makes a record of an unknown type
  // Refused: lengths below 4 (also negative), type 2, type 3 shorter than
  // 22, another signature, no record. The host is told -1.
  for (const Bytes &record : {WriteSelectorRecord(SinglePaletteSelector{5, 3}),
                              WriteSelectorRecord(SinglePaletteSelector{5, -1}), typeTwo,
                              WriteSelectorRecord(InputPaletteSelector{1, 0, 2, 0, resources::kSelectorSignature, 21}),
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

TEST_F(ConversationTest, MatrixSidesAndSharedCurveLayout) {
  matrix_ = MatrixResource(256, 512, 256 * 512, 3);
  ASSERT_EQ(matrix_[0] * 1000 + matrix_[1], 255239);  // the header bytes being decoded
  struct Case { uint32_t colorMode, dotMode, dotAt, stepsAt, bytes; };
  for (const Case &c : {Case{1, 2, 512, 1536, 2048}, Case{3, 2, 1024, 2048, 2560}, Case{1, 0, 512, 1024, 1536},
                        Case{3, 0, 1024, 1536, 2048}}) {
    page_.colorMode = c.colorMode, page_.dotMode = c.dotMode;
    ASSERT_EQ(Run(3), kOk);
    EXPECT_EQ(ht_->matrixWidth * 1000 + ht_->matrixHeight, 256512u);
    EXPECT_EQ(Block<uint16_t>(kThresholdMatrixBlock)[131071], uint16_t(131071 * 3));
    EXPECT_EQ(Block(kLevelScaleBlock), Block(kThresholdMatrixBlock) + 262144);
    EXPECT_EQ(ht_->blocks[kToneCurveBlock].size, c.bytes);
    EXPECT_EQ(Block(kDotCurveBlock), Block(kToneCurveBlock) + c.dotAt);
    EXPECT_EQ(Block(kGridIndexBlock), Block(kToneCurveBlock) + c.stepsAt);
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
    EXPECT_NE(ht_->blocks[kColorTableBlock].handle, 0u);
  }
  resources::DotPalette palette = SumPalette();
  palette.levels[7] = {100, 100, 56};  // sums to 256
  palette_ = resources::WriteDotPalette(palette);
  page_.dotMode = 2, lut_.inkLoadLight = 250, lut_.inkLoadDark = 100;
  matrix_ = MatrixResource(4, 4, 16, 1);
  EXPECT_EQ(Run(4), kBadPalette);
  EXPECT_EQ(next_, -1);
  EXPECT_EQ(LiveAllocations(), 6);
}

TEST_F(ConversationTest, PaletteRemapsTheDotCurve) {
  ASSERT_EQ(Run(3), kOk);
  const std::vector<int16_t> dot(Block<int16_t>(kDotCurveBlock), Block<int16_t>(kDotCurveBlock) + 256);
  resources::DotPalette reversed;  // entry p sums to 255 - p
  for (int p = 0; p < 256; ++p) reversed.levels[p].medium = uint8_t(255 - p);
  ASSERT_EQ(Feed(resources::WriteDotPalette(reversed)), kOk);
  for (int p = 0; p < 256; ++p) ASSERT_EQ(Block<int16_t>(kDotCurveBlock)[p], dot[255 - p]) << p;
  page_.xResolution = 2880;  // the fixed curve
  ASSERT_EQ(Run(4), kOk);
  EXPECT_EQ(Block<int16_t>(kDotCurveBlock)[64], 145);
}

TEST_F(ConversationTest, EveryAllocationAndLockFailureUnwinds) {
  page_.maxPixels = 5000;  // four error lines of their own
  page_.magnification = 2;
  // Colour: four lines, row buffer, table, matrix, curves, palette. Grey:
  // one line, row buffer, padded curve, matrix, curves, palette.
  struct Kind { uint32_t inputFormat, colorMode; int allocations, rowBuffer; };
  for (const Kind &k : {Kind{2, 1, 9, 5}, Kind{0, 0, 6, 2}}) {
    page_.inputFormat = k.inputFormat, page_.colorMode = k.colorMode;
    for (PlatformOp op : {PlatformOp::kAlloc, PlatformOp::kLock}) {
      for (int n = 1; n <= k.allocations; ++n) {
        ASSERT_EQ(Run(0), kOk);
        FailNthCall(op, n);
        ResultCode result = kOk;
        for (const Bytes *resource : {&list_, &grid_, &matrix_, &palette_}) {
          if ((result = Feed(*resource)) != kOk) break;
        }
        EXPECT_EQ(result, op == PlatformOp::kAlloc ? kAllocFailed : kLockFailed) << k.colorMode << " " << n;
        // Only the row buffer's failure keeps what was taken before it.
        EXPECT_EQ(NoBlocksHeld(), n != k.rowBuffer) << k.colorMode << " " << n;
        EXPECT_EQ(LiveAllocations(), n == k.rowBuffer ? n : 1) << k.colorMode << " " << n;
        EXPECT_EQ(DeleteHalftoneContext(ht_), kOk);
        ht_ = nullptr;
        EXPECT_EQ(LiveAllocations(), 0) << k.colorMode << " " << n;
      }
    }
  }
}

}  // namespace
}  // namespace inkdot::testing
