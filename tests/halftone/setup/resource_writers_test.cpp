#include <stdexcept>

#include "halftone_fixture.h"

namespace inkdot::testing {
namespace {

using namespace resources;

// Byte layouts worked out by hand; the set-up tests feed these resources to
// the object and check what it makes of them.
TEST(HalftoneResourceWritersTest, ListGridAndMatrixLayouts) {
  EXPECT_EQ(WriteResourceIdList({{300, 0x8001}}), (Bytes{0x01, 0x2C, 0x80, 0x01, 0xFF, 0xFF}));
  EXPECT_EQ(WriteResourceIdList({}), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(WriteGridResource({{0, 128, 255}}), (Bytes{3, 0, 0, 128, 255}));
  EXPECT_EQ(WriteGridResource({{0, 255}, 0x0120}), (Bytes{0x20, 0x01, 0, 255}));
  EXPECT_EQ(WriteThresholdMatrix({256, 512, {0x1234, 0xABCD}}),
            (Bytes{255, 239, 0, 0, 0x34, 0x12, 0xCD, 0xAB}));
  EXPECT_EQ(WriteThresholdMatrix({254, 0, {}}), (Bytes{254, 0, 0, 0}));
  // 239 and 255 would read back as 512 and 256.
  for (uint32_t side : {239u, 255u, 257u, 1024u}) {
    EXPECT_THROW(WriteThresholdMatrix({side, 4, {}}), std::invalid_argument) << side;
    EXPECT_THROW(WriteThresholdMatrix({4, side, {}}), std::invalid_argument) << side;
  }
}

TEST(HalftoneResourceWritersTest, PaletteAndSelectorLayouts) {
  DotPalette palette;
  palette.levels[1] = {1, 2, 3};
  palette.levels[255] = {7, 0, 9};
  const Bytes bytes = WriteDotPalette(palette);
  ASSERT_EQ(bytes.size(), 768u);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 6), (Bytes{0, 0, 0, 1, 2, 3}));
  EXPECT_EQ(Bytes(bytes.end() - 3, bytes.end()), (Bytes{7, 0, 9}));

  EXPECT_EQ(WriteSelectorRecord(SinglePaletteSelector{0xABCD}), (Bytes{4, 0, 0, 0, 1, 0, 0xCD, 0xAB}));
  EXPECT_EQ(WriteSelectorRecord(SinglePaletteSelector{5, -1}), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 5, 0}));
  // Length 22, type 3, two unread bytes, the signature, four unread bytes,
  // the colour pair, the grey pair, and the two bytes the length still covers.
  EXPECT_EQ(WriteSelectorRecord(InputPaletteSelector{-2, 1, 40, -3}),
            (Bytes{22, 0, 0, 0, 3, 0, 0, 0, 0xFB, 0x69, 0xF7, 0xDD, 0, 0, 0, 0,
                   0xFE, 0xFF, 1, 0, 40, 0, 0xFD, 0xFF, 0, 0}));
  const Bytes shortened = WriteSelectorRecord(InputPaletteSelector{0, 0, 0, 0, {1, 2, 3, 4}, 21});
  EXPECT_EQ(Bytes(shortened.begin(), shortened.begin() + 12), (Bytes{21, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3, 4}));
}

}  // namespace
}  // namespace inkdot::testing
