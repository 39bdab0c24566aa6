#include "colour_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "halftone_resources.h"
#include "ink_levels.h"

namespace inkdot::profile {
namespace {

// Reads a colour-table resource by the field offsets of its format.
struct Decoded {
  int format, kind, inkLoadLight, inkLoadDark, nodes, channels;
  std::vector<uint8_t> positions, table, black, selector;
  const uint8_t *Node(int r, int g, int b) const {
    return &table[((size_t(r) * nodes + g) * nodes + b) * channels];
  }
};

Decoded Decode(const Bytes &res) {
  auto le32 = [&](size_t at) { return res[at] | res[at + 1] << 8 | res[at + 2] << 16 | uint32_t(res[at + 3]) << 24; };
  auto be16 = [&](size_t at) { return int(int16_t(res[at] << 8 | res[at + 1])); };
  Decoded d;
  d.format = res[15];
  d.kind = res[24];
  d.inkLoadLight = be16(48);
  d.inkLoadDark = be16(50);
  d.nodes = res[72];
  d.channels = res[75];
  EXPECT_EQ(res[73], d.nodes);
  EXPECT_EQ(res[74], d.nodes);
  const size_t n = d.nodes, tableAt = 76 + 3 * n, size = n * n * n * d.channels;
  d.positions.assign(res.begin() + 76, res.begin() + 76 + n);
  d.table.assign(res.begin() + tableAt, res.begin() + tableAt + size);
  d.black.assign(res.begin() + tableAt + size, res.begin() + tableAt + size + n);
  if (le32(20) != 0) d.selector.assign(res.begin() + le32(16), res.begin() + le32(16) + le32(20));
  return d;
}

// The halftoning's printed share of a single-size-dot level, from its
// ink-load curve with light divisor 250 % and dark divisor 100 %.
double SingleDotShare(int level) {
  const int rest = 255 - level;
  return level / double(((150 * rest * rest + 1) / 255 + 25500) / 100);
}

TEST(ColourTable, NodePositionsStartAtZeroEndAt255AndRise) {
  for (int count : {2, 17, 33, 36}) {
    const auto nodes = NodePositions(count);
    ASSERT_EQ(nodes.size(), size_t(count));
    EXPECT_EQ(nodes.front(), 0);
    EXPECT_EQ(nodes.back(), 255);
    for (int i = 1; i < count; ++i) EXPECT_GT(nodes[i], nodes[i - 1]);
  }
  EXPECT_THROW(NodePositions(37), std::runtime_error);
}

class PaletteTable : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ColourTable t = BuildColourTable(17, LevelKind::kPalette, BuiltInProcessAmounts);
    t.selector = EncodeSelectorRecord({420, 1}, {421, 0});
    decoded_ = new Decoded(Decode(EncodeColourTable(t)));
  }
  static void TearDownTestSuite() { delete decoded_; }
  static Decoded *decoded_;
};
Decoded *PaletteTable::decoded_ = nullptr;

TEST_F(PaletteTable, HeaderDescribesAPlainFourInkTableWithItsSelector) {
  const Decoded &d = *decoded_;
  EXPECT_NE(d.format, 128);
  EXPECT_NE(d.format, 50);
  EXPECT_EQ(d.kind, 1);
  EXPECT_EQ(d.nodes, 17);
  EXPECT_EQ(d.channels, 4);
  // The halftoning accepts light divisors 250, 350 or 500 only.
  EXPECT_TRUE(d.inkLoadLight == 250 || d.inkLoadLight == 350 || d.inkLoadLight == 500);
  EXPECT_GE(d.inkLoadDark, 100);
  ASSERT_EQ(d.selector.size(), 28u);
  EXPECT_EQ(d.selector[16] | d.selector[17] << 8, 420);
  EXPECT_EQ(d.selector[18], 1);
  EXPECT_EQ(d.selector[20] | d.selector[21] << 8, 421);
}

TEST_F(PaletteTable, GreyAxisIsNeutralAndDarkensMonotonically) {
  const Decoded &d = *decoded_;
  int previousInk = 4 * 255 + 1, previousBlack = 256;
  for (int i = 0; i < d.nodes; ++i) {
    const uint8_t *node = d.Node(i, i, i);
    EXPECT_EQ(node[0], node[1]) << "step " << i;
    EXPECT_EQ(node[1], node[2]) << "step " << i;
    const int ink = node[0] + node[1] + node[2] + node[3];
    EXPECT_LE(ink, previousInk) << "step " << i;
    EXPECT_LE(node[3], previousBlack);
    if (i > 0) {
      EXPECT_LT(d.black[i], d.black[i - 1]) << "step " << i;
    }
    previousInk = ink;
    previousBlack = node[3];
  }
  // White takes no ink; a black-only grey uses as much black as its darkness.
  EXPECT_EQ(d.Node(d.nodes - 1, d.nodes - 1, d.nodes - 1)[3], 0);
  EXPECT_EQ(d.black.back(), 0);
  EXPECT_EQ(d.black.front(), 255);
  EXPECT_NEAR(d.black[d.nodes / 2], 255 - d.positions[d.nodes / 2], 1);
}

TEST_F(PaletteTable, NearGreysChangeNoMoreThanTheirInputStep) {
  // A one-node tint of a grey must not swap its black for a different ink
  // mixture: each ink moves by the input step plus a little more black
  // generation, never by a jump.
  const Decoded &d = *decoded_;
  const int step = 2 * (255 / (d.nodes - 1) + 1);
  for (int i = 1; i + 1 < d.nodes; ++i) {
    const uint8_t *grey = d.Node(i, i, i);
    for (const uint8_t *tint : {d.Node(i, i, i + 1), d.Node(i + 1, i, i), d.Node(i, i - 1, i)}) {
      for (int c = 0; c < 4; ++c) EXPECT_LE(std::abs(tint[c] - grey[c]), step) << "step " << i << " ink " << c;
    }
  }
}

TEST_F(PaletteTable, EveryNodeKeepsTheTotalInkLimitAndPrimariesArePure) {
  const Decoded &d = *decoded_;
  const int last = d.nodes - 1;
  for (size_t i = 0; i < d.table.size(); i += 4) {
    EXPECT_LE(d.table[i] + d.table[i + 1] + d.table[i + 2] + d.table[i + 3], kTotalInkLimit * 255 + 4);
  }
  const uint8_t *red = d.Node(last, 0, 0);
  EXPECT_EQ(red[0], 0);
  EXPECT_EQ(red[1], 255);
  EXPECT_EQ(red[2], 255);
  EXPECT_EQ(red[3], 0);
  const uint8_t *cyan = d.Node(0, last, last);
  EXPECT_EQ(cyan[0], 255);
  EXPECT_EQ(cyan[1] + cyan[2] + cyan[3], 0);
}

TEST(SingleDotTable, LevelsUndoTheInkLoadCurveOnTheGreyAxis) {
  const ColourTable t = BuildColourTable(17, LevelKind::kSingleDot, BuiltInProcessAmounts);
  const Decoded d = Decode(EncodeColourTable(t));
  EXPECT_TRUE(d.selector.empty());
  // Black-only greys: the printed share of black dots matches the darkness.
  for (int i = 0; i < d.nodes; ++i) {
    EXPECT_NEAR(SingleDotShare(d.black[i]), 1.0 - d.positions[i] / 255.0, 0.01) << "step " << i;
  }
  // A light cyan (red channel just below white) prints cyan alone, at the
  // share its red channel asks for.
  const uint8_t *light = d.Node(d.nodes - 2, d.nodes - 1, d.nodes - 1);
  EXPECT_EQ(light[1] + light[2] + light[3], 0);
  EXPECT_GT(light[0], 255 - d.positions[d.nodes - 2]);  // light levels are divided later
  EXPECT_NEAR(SingleDotShare(light[0]), 1.0 - d.positions[d.nodes - 2] / 255.0, 0.01);
}

}  // namespace
}  // namespace inkdot::profile
