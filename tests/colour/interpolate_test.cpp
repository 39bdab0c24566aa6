#include "colour/interpolate.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace inkdot {
namespace {

// A CmLut over a table the test owns, with the same node list on every axis.
struct TestTable {
  CmLut lut{};
  std::vector<uint8_t> data;

  TestTable(std::vector<uint8_t> nodes, int32_t channels) {
    const int32_t size = static_cast<int32_t>(nodes.size());
    lut.gridSize1 = lut.gridSize2 = lut.gridSize3 = size;
    lut.gridSize4 = 1;
    lut.channelCount = channels;
    std::copy(nodes.begin(), nodes.end(), lut.nodes1);
    std::copy(nodes.begin(), nodes.end(), lut.nodes2);
    std::copy(nodes.begin(), nodes.end(), lut.nodes3);
    data.assign(static_cast<size_t>(size * size * size * channels), 0);
    lut.tableData = data.data();
  }

  uint8_t *Node(int a, int b, int c) {
    const int32_t size = lut.gridSize1;
    return &data[static_cast<size_t>(((a * size + b) * size + c) * lut.channelCount)];
  }

  std::vector<uint8_t> Run(uint8_t r, uint8_t g, uint8_t b) const {
    const uint8_t pixel[4] = {0xEE, r, g, b};
    std::vector<uint8_t> out(static_cast<size_t>(lut.channelCount));
    EXPECT_EQ(InterpolateRun(&lut, 1, pixel, out.data()), kOk);
    return out;
  }
};

// Deterministic byte noise, so that a wrong corner shows up as a wrong value.
uint8_t Noise(uint32_t n) {
  n = n * 2654435761u + 12345u;
  return static_cast<uint8_t>(n >> 24);
}

void FillWithNoise(TestTable &t) {
  for (size_t n = 0; n < t.data.size(); ++n) t.data[n] = Noise(static_cast<uint32_t>(n));
}

// Reference: walk from the cell's low corner to its high corner, taking the
// axes in order of decreasing fraction. Corners that ties leave ambiguous get
// weight 0, so the order among equal fractions does not matter here.
std::vector<uint8_t> Reference(const TestTable &t, uint8_t r, uint8_t g, uint8_t b) {
  const CmLut &lut = t.lut;
  const int size = lut.gridSize1;
  const int ch = lut.channelCount;
  const uint8_t *nodes[3] = {lut.nodes1, lut.nodes2, lut.nodes3};
  const int value[3] = {r, g, b};
  int low[3];
  for (int axis = 0; axis < 3; ++axis) {
    // The cell whose upper node is the first node at or above the value,
    // never the cell left of node 0.
    int upper = size - 1;
    for (int n = size - 1; n >= 1; --n) {
      if (value[axis] <= nodes[axis][n]) upper = n;
    }
    low[axis] = upper - 1;
  }
  const int d = nodes[0][low[0] + 1] - nodes[0][low[0]];
  int frac[3];
  for (int axis = 0; axis < 3; ++axis) {
    const int width = nodes[axis][low[axis] + 1] - nodes[axis][low[axis]];
    frac[axis] = (value[axis] - nodes[axis][low[axis]]) * d / width;
  }
  std::array<int, 3> order = {0, 1, 2};
  std::stable_sort(order.begin(), order.end(),
                   [&](int x, int y) { return frac[x] > frac[y]; });

  std::vector<int> sum(static_cast<size_t>(ch), 0);
  int corner[3] = {low[0], low[1], low[2]};
  int previous = d;
  for (int step = 0; step <= 3; ++step) {
    const int next = step < 3 ? frac[order[static_cast<size_t>(step)]] : 0;
    const int weight = previous - next;
    const uint8_t *node =
        &t.data[static_cast<size_t>(((corner[0] * size + corner[1]) * size + corner[2]) * ch)];
    for (int c = 0; c < ch; ++c) sum[static_cast<size_t>(c)] += weight * node[c];
    if (step < 3) ++corner[order[static_cast<size_t>(step)]];
    previous = next;
  }
  std::vector<uint8_t> out;
  for (int s : sum) out.push_back(static_cast<uint8_t>(s / d));
  return out;
}

TEST(InterpolateRun, NodeColoursReturnTheNodeBytes) {
  TestTable t({0, 40, 41, 128, 200, 255}, 3);
  FillWithNoise(t);
  for (int a = 0; a < 6; ++a) {
    for (int b = 0; b < 6; ++b) {
      for (int c = 0; c < 6; ++c) {
        const uint8_t *node = t.Node(a, b, c);
        EXPECT_EQ(t.Run(t.lut.nodes1[a], t.lut.nodes2[b], t.lut.nodes3[c]),
                  std::vector<uint8_t>(node, node + 3))
            << a << "," << b << "," << c;
      }
    }
  }
}

TEST(InterpolateRun, RedHalfwayOnThreeNodesIgnoresGreenAndBlue) {
  // Channel 0 holds the red node position; channel 1 noise elsewhere.
  TestTable t({0, 128, 255}, 2);
  FillWithNoise(t);
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 3; ++b) {
      for (int c = 0; c < 3; ++c) t.Node(a, b, c)[0] = t.lut.nodes1[a];
    }
  }
  for (int g : {0, 1, 63, 64, 65, 127, 128, 129, 200, 255}) {
    for (int b : {0, 5, 64, 128, 254, 255}) {
      EXPECT_EQ(t.Run(64, static_cast<uint8_t>(g), static_cast<uint8_t>(b))[0], 64)
          << g << "," << b;
    }
  }
}

TEST(InterpolateRun, GreyPixelsBlendOnlyTheCellsLowAndHighCorners) {
  TestTable t({0, 100, 180, 255}, 4);
  FillWithNoise(t);
  for (int v = 0; v <= 255; ++v) {
    // The cell: value equal to a node belongs to the cell below it.
    int cell = 1;
    while (v > t.lut.nodes1[cell]) ++cell;
    const int lowNode = t.lut.nodes1[cell - 1];
    const int d = t.lut.nodes1[cell] - lowNode;
    const int fr = v - lowNode;
    const uint8_t *low = t.Node(cell - 1, cell - 1, cell - 1);
    const uint8_t *high = t.Node(cell, cell, cell);
    std::vector<uint8_t> expected;
    for (int c = 0; c < 4; ++c) {
      expected.push_back(static_cast<uint8_t>(((d - fr) * low[c] + fr * high[c]) / d));
    }
    const uint8_t grey = static_cast<uint8_t>(v);
    EXPECT_EQ(t.Run(grey, grey, grey), expected) << v;
  }
}

TEST(InterpolateRun, DivisionTruncates) {
  // Pixel (1, 1, 1) in a cell of width 2: weights 1 on corner 000 (value 0)
  // and 1 on corner 111 (value 1), so (0 + 1) / 2 = 0, not 1.
  TestTable t({0, 2, 255}, 1);
  t.Node(1, 1, 1)[0] = 1;
  EXPECT_EQ(t.Run(1, 1, 1)[0], 0);
  t.Node(1, 1, 1)[0] = 3;
  EXPECT_EQ(t.Run(1, 1, 1)[0], 1);
}

TEST(InterpolateRun, LinearTableIsReproducedInEveryTetrahedron) {
  // A single cell whose corners hold 255 per axis they lie along: every
  // tetrahedron must give back the input colour exactly.
  TestTable t({0, 255}, 3);
  for (int a = 0; a < 2; ++a) {
    for (int b = 0; b < 2; ++b) {
      for (int c = 0; c < 2; ++c) {
        uint8_t *node = t.Node(a, b, c);
        node[0] = static_cast<uint8_t>(255 * a);
        node[1] = static_cast<uint8_t>(255 * b);
        node[2] = static_cast<uint8_t>(255 * c);
      }
    }
  }
  for (int r = 0; r < 256; r += 17) {
    for (int g = 0; g < 256; g += 15) {
      for (int b = 3; b < 256; b += 21) {
        const std::vector<uint8_t> rgb = {static_cast<uint8_t>(r),
                                          static_cast<uint8_t>(g),
                                          static_cast<uint8_t>(b)};
        EXPECT_EQ(t.Run(rgb[0], rgb[1], rgb[2]), rgb);
      }
    }
  }
}

TEST(InterpolateRun, MatchesAnIndependentWalkOnUnevenNodes) {
  TestTable t({0, 17, 60, 61, 130, 255}, 3);
  FillWithNoise(t);
  // Ties between fractions included: every sixth value sits on a node.
  const int values[] = {0, 1, 16, 17, 18, 40, 60, 61, 62, 100, 129, 130, 131, 200, 254, 255};
  for (int r : values) {
    for (int g : values) {
      for (int b : values) {
        const uint8_t R = static_cast<uint8_t>(r), G = static_cast<uint8_t>(g),
                      B = static_cast<uint8_t>(b);
        ASSERT_EQ(t.Run(R, G, B), Reference(t, R, G, B)) << r << "," << g << "," << b;
      }
    }
  }
}

TEST(InterpolateRun, ConvertsARunPackedWithoutGaps) {
  TestTable t({0, 64, 255}, 3);
  FillWithNoise(t);
  const uint8_t input[12] = {1, 10, 200, 30, 2, 64, 64, 64, 3, 255, 0, 128};
  uint8_t output[10];
  output[9] = 0xA5;
  EXPECT_EQ(InterpolateRun(&t.lut, 3, input, output), kOk);
  for (int p = 0; p < 3; ++p) {
    const std::vector<uint8_t> one = Reference(t, input[4 * p + 1], input[4 * p + 2],
                                               input[4 * p + 3]);
    EXPECT_EQ(std::vector<uint8_t>(output + 3 * p, output + 3 * p + 3), one) << p;
  }
  EXPECT_EQ(output[9], 0xA5);
}

}  // namespace
}  // namespace inkdot
