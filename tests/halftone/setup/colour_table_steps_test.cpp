#include "halftone/setup/colour_table_steps.h"

#include <algorithm>
#include <array>

#include "halftone_fixture.h"

namespace inkdot::testing {
namespace {

TEST(GridStepsTest, CellsAndPairsOfTheEvenGrid) {
  const Bytes g = EvenPositions();
  CellTable cells;
  BuildCellTable(g.data(), 32, &cells);
  uint8_t pairs[512] = {};
  BuildGridSteps(g.data(), 32, pairs);
  // {v, cell, fraction, pair index, pair weight}: 4 is half-way through
  // [0, 8]; 250 is 10/15 of [240, 255] (1280 / 15 rounds to 85) and 5/15
  // below point 31; 255 tops the last cell.
  struct Want { int v; uint32_t cell, fraction; uint8_t index, weight; };
  for (const Want &w : {Want{0, 0, 0, 0, 255}, Want{4, 0, 64, 0, 127}, Want{8, 1, 0, 1, 255},
                        Want{239, 29, 112, 29, 31}, Want{250, 30, 85, 30, 85}, Want{255, 30, 128, 31, 255}}) {
    EXPECT_EQ(cells.cell[w.v], w.cell) << w.v;
    EXPECT_EQ(cells.fraction[w.v], w.fraction) << w.v;
    EXPECT_EQ(pairs[2 * w.v], w.index) << w.v;
    EXPECT_EQ(pairs[2 * w.v + 1], w.weight) << w.v;
  }
  const uint8_t corners[2] = {0, 255};
  BuildGridSteps(corners, 2, pairs);
  for (int v = 1; v < 255; ++v) ASSERT_EQ(pairs[2 * v] * 1000 + pairs[2 * v + 1], 255 - v) << v;
  EXPECT_EQ(pairs[510] * 1000 + pairs[511], 1255);
}

// The test's own tetrahedral interpolation: cells found by search, axes
// sorted by fraction (ties in axis order), the cell walked edge by edge.
uint32_t ReferenceEntry(const Bytes &g, const uint8_t *table, int channels, std::array<int, 3> value) {
  const int n = int(g.size());
  int index[3], fraction[3];
  for (int axis = 0; axis < 3; ++axis) {
    int k = 0;
    while (k + 2 < n && g[k + 1] <= value[axis]) ++k;
    const int span = g[k + 1] - g[k];
    index[axis] = k;
    fraction[axis] = ((value[axis] - g[k]) * 128 + span / 2) / span;
  }
  std::array<int, 3> order = {0, 1, 2};
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return fraction[x] > fraction[y]; });
  int sums[4] = {64, 64, 64, 64}, left = 128;
  for (int corner = 0; corner < 4; ++corner) {
    const int next = corner < 3 ? fraction[order[corner]] : 0;
    const uint8_t *p = table + ((index[0] * n + index[1]) * n + index[2]) * channels;
    for (int c = 0; c < std::min(channels, 4); ++c) sums[c] += p[c] * (left - next);
    left = next;
    if (corner < 3) ++index[order[corner]];
  }
  uint32_t entry = 0;
  for (int c = 0; c < std::min(channels, 4); ++c) entry |= uint32_t(sums[c] >> 7) << (8 * c);
  return entry;
}

using ResampleTest = HalftoneSetupTest;

TEST_F(ResampleTest, MatchesTheReferenceForEveryOrderAndChannelCount) {
  struct Case { Bytes source, target; int channels; };
  // Uneven targets make all six axis orders and ties occur.
  for (const Case &c : {Case{{0, 30, 100, 200, 255}, EvenPositions(), 4},
                        Case{{0, 128, 255}, {0, 3, 17, 60, 61, 130, 199, 254, 255}, 4},
                        Case{{0, 128, 255}, EvenPositions(), 3}, Case{{0, 255}, {0, 8, 77, 255}, 1}}) {
    SetSourceGrid(c.source, c.channels);
    CmLut target{};
    const int m = int(c.target.size());
    target.gridSize1 = target.gridSize2 = target.gridSize3 = m;
    for (uint8_t *nodes : {target.nodes1, target.nodes2, target.nodes3}) std::memcpy(nodes, c.target.data(), m);
    std::vector<uint32_t> table(size_t(m * m * m));
    ResampleColorTable(lut_, target, table.data());
    int wrong = 0;
    for (int p = 0; p < m * m * m; ++p) {
      const uint32_t want = ReferenceEntry(c.source, source_.data(), c.channels,
                                           {c.target[p / (m * m)], c.target[p / m % m], c.target[p % m]});
      if (table[p] != want && ++wrong < 4) ADD_FAILURE() << "point " << p << " of " << m << "^3";
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(ResampleTest, SameGridReproducesTheSource) {
  SetSourceGrid(EvenPositions(), 4);
  std::vector<uint32_t> table(32768);
  ResampleColorTable(lut_, lut_, table.data());
  EXPECT_EQ(std::memcmp(table.data(), source_.data(), source_.size()), 0);
}

TEST_F(ResampleTest, EqualFractionsBlendBaseAndOppositeCorner) {
  SetSourceGrid({0, 255}, 4);
  std::fill(source_.begin(), source_.end(), 0);
  std::fill(source_.end() - 4, source_.end(), 255);  // corner (1, 1, 1)
  source_[16] = 200;  // corner (1, 0, 0): no weight on the diagonal
  CmLut target{};
  target.gridSize1 = target.gridSize2 = target.gridSize3 = 1;
  target.nodes1[0] = target.nodes2[0] = target.nodes3[0] = 8;
  uint32_t entry = 0;
  ResampleColorTable(lut_, target, &entry);
  // frac(8) = (1024 + 127) / 255 = 4; (255 * 4 + 64) >> 7 = 8.
  EXPECT_EQ(entry, 0x08080808u);
}

}  // namespace
}  // namespace inkdot::testing
