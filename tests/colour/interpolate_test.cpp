#include "colour/interpolate.h"

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

namespace inkdot {
namespace {

// A CmLut over a table of noise that the test owns, the same nodes on every
// axis; Node() addresses a grid point's channels.
struct Table {
  CmLut lut{};
  std::vector<uint8_t> data;
  int size, channels;

  Table(const std::vector<uint8_t> &nodes, int ch) : size(int(nodes.size())), channels(ch) {
    lut.gridSize1 = lut.gridSize2 = lut.gridSize3 = size;
    lut.channelCount = ch;
    for (uint8_t *list : {lut.nodes1, lut.nodes2, lut.nodes3}) std::copy(nodes.begin(), nodes.end(), list);
    for (int n = 0; n < size * size * size * ch; ++n) data.push_back(uint8_t((n * 2654435761u) >> 24));
    lut.tableData = data.data();
  }
  uint8_t *Node(int a, int b, int c) { return &data[size_t(((a * size + b) * size + c) * channels)]; }
  std::vector<uint8_t> Run(int r, int g, int b) const {
    const uint8_t pixel[4] = {0xEE, uint8_t(r), uint8_t(g), uint8_t(b)};
    std::vector<uint8_t> out(static_cast<size_t>(channels));
    EXPECT_EQ(InterpolateRun(&lut, 1, pixel, out.data()), kOk);
    return out;
  }
};

// Reference: from the cell's low corner to its high corner, stepping along
// the axes in order of decreasing fraction; each corner weighs the drop in
// fraction before it. Ties give a corner weight 0, so their order is moot.
std::vector<uint8_t> Walk(Table &t, int r, int g, int b) {
  const uint8_t *nodes = t.lut.nodes1;
  const int value[3] = {r, g, b};
  int corner[3], frac[3], order[3] = {0, 1, 2};
  for (int axis = 0; axis < 3; ++axis) {
    int upper = 1;
    while (value[axis] > nodes[upper]) ++upper;
    corner[axis] = upper - 1;
  }
  const int d = nodes[corner[0] + 1] - nodes[corner[0]];
  for (int axis = 0; axis < 3; ++axis) {
    const int low = nodes[corner[axis]];
    frac[axis] = (value[axis] - low) * d / (nodes[corner[axis] + 1] - low);
  }
  std::stable_sort(order, order + 3, [&](int x, int y) { return frac[x] > frac[y]; });
  std::vector<int> sum(size_t(t.channels), 0);
  int previous = d;
  for (int step = 0; step <= 3; ++step) {
    const int next = step < 3 ? frac[order[step]] : 0;
    const uint8_t *node = t.Node(corner[0], corner[1], corner[2]);
    for (int c = 0; c < t.channels; ++c) sum[size_t(c)] += (previous - next) * node[c];
    if (step < 3) ++corner[order[step]];
    previous = next;
  }
  std::vector<uint8_t> out;
  for (int s : sum) out.push_back(uint8_t(s / d));
  return out;
}

TEST(InterpolateRun, NodeColoursReturnTheirOwnBytes) {
  Table t({0, 40, 41, 128, 200, 255}, 3);
  for (int a = 0; a < 6; ++a)
    for (int b = 0; b < 6; ++b)
      for (int c = 0; c < 6; ++c) {
        const uint8_t *node = t.Node(a, b, c);
        ASSERT_EQ(t.Run(t.lut.nodes1[a], t.lut.nodes1[b], t.lut.nodes1[c]),
                  std::vector<uint8_t>(node, node + 3));
      }
}

TEST(InterpolateRun, RedHalfwayOnThreeNodesIgnoresGreenAndBlue) {
  Table t({0, 128, 255}, 2);
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b)
      for (int c = 0; c < 3; ++c) t.Node(a, b, c)[0] = t.lut.nodes1[a];
  for (int g : {0, 1, 64, 65, 128, 129, 255})
    for (int b : {0, 5, 64, 128, 254, 255}) EXPECT_EQ(t.Run(64, g, b)[0], 64);
}

TEST(InterpolateRun, GreyBlendsOnlyTheCellsLowAndHighCorners) {
  Table t({0, 100, 180, 255}, 4);
  for (int v = 0; v <= 255; ++v) {
    const int cell = v <= 100 ? 1 : v <= 180 ? 2 : 3;
    const int low = t.lut.nodes1[cell - 1], d = t.lut.nodes1[cell] - low, fr = v - low;
    const uint8_t *lo = t.Node(cell - 1, cell - 1, cell - 1), *hi = t.Node(cell, cell, cell);
    std::vector<uint8_t> want;
    for (int c = 0; c < 4; ++c) want.push_back(uint8_t(((d - fr) * lo[c] + fr * hi[c]) / d));
    EXPECT_EQ(t.Run(v, v, v), want) << v;
  }
}

TEST(InterpolateRun, DivisionTruncates) {
  // (1, 1, 1) in a cell of width 2: weight 1 on corner 000 (0) and 1 on 111.
  Table t({0, 2, 255}, 1);
  t.Node(0, 0, 0)[0] = 0;
  t.Node(1, 1, 1)[0] = 1;
  EXPECT_EQ(t.Run(1, 1, 1)[0], 0);
  t.Node(1, 1, 1)[0] = 3;
  EXPECT_EQ(t.Run(1, 1, 1)[0], 1);
}

TEST(InterpolateRun, RunMatchesTheCornerWalkOnUnevenNodes) {
  Table t({0, 17, 60, 61, 130, 255}, 3);
  const int values[] = {0, 1, 16, 17, 18, 40, 60, 61, 62, 100, 130, 131, 200, 254, 255};
  std::vector<uint8_t> input, want;
  for (int r : values)
    for (int g : values)
      for (int b : values) {
        input.insert(input.end(), {0, uint8_t(r), uint8_t(g), uint8_t(b)});
        const std::vector<uint8_t> one = Walk(t, r, g, b);
        want.insert(want.end(), one.begin(), one.end());
      }
  std::vector<uint8_t> got(want.size() + 1, 0xA5);
  EXPECT_EQ(InterpolateRun(&t.lut, uint32_t(input.size() / 4), input.data(), got.data()), kOk);
  EXPECT_EQ(got.back(), 0xA5);  // nothing written past the run
  got.pop_back();
  EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace inkdot
