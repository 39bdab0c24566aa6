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

}  // namespace
}  // namespace inkdot::profile
