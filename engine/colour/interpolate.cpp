// SPDX-License-Identifier: Apache-2.0
#include "colour/interpolate.h"

namespace inkdot {

namespace {

// Node lists hold at most this many positions (the CmLut's arrays).
constexpr int32_t kMaxNodes = 36;

// The smallest index i >= 1 with value <= nodes[i]. A value equal to a node
// falls into the cell below it. The search never leaves the list: a value
// above the last node (impossible for a list ending at 255) stays in the
// last cell.
uint32_t FindCell(const uint8_t *nodes, int32_t gridSize, uint32_t value) {
  uint32_t last = static_cast<uint32_t>(
      gridSize > kMaxNodes ? kMaxNodes - 1 : (gridSize < 2 ? 1 : gridSize - 1));
  uint32_t i = 1;
  while (i < last && value > nodes[i]) ++i;
  return i;
}

// One of the six tetrahedra of a cell: its corners as byte offsets from
// corner 000 and their weights, which add up to the red cell's width.
struct Tetrahedron {
  uint32_t corner[4];
  uint32_t weight[4];
};

// Picks the tetrahedron in a fixed order of tests; equal fractions go the
// way these tests send them, which decides the result on the cell's
// diagonal planes.
Tetrahedron ChooseTetrahedron(uint32_t d, uint32_t fr, uint32_t fg, uint32_t fb,
                              uint32_t stepR, uint32_t stepG, uint32_t stepB) {
  const uint32_t all = stepR + stepG + stepB;
  if (fr < fg) {
    if (fr >= fb) {
      return {{0, stepG, stepR + stepG, all}, {d - fg, fg - fr, fr - fb, fb}};
    }
    if (fg < fb) {
      return {{0, stepB, stepG + stepB, all}, {d - fb, fb - fg, fg - fr, fr}};
    }
    return {{0, stepG, stepG + stepB, all}, {d - fg, fg - fb, fb - fr, fr}};
  }
  if (fr < fb) {
    return {{0, stepB, stepR + stepB, all}, {d - fb, fb - fr, fr - fg, fg}};
  }
  if (fg < fb) {
    return {{0, stepR, stepR + stepB, all}, {d - fr, fr - fb, fb - fg, fg}};
  }
  return {{0, stepR, stepR + stepG, all}, {d - fr, fr - fg, fg - fb, fb}};
}

}  // namespace

ResultCode InterpolateRun(const CmLut *lut, uint32_t count, const uint8_t *input,
                          uint8_t *output) {
  const uint32_t channels = static_cast<uint32_t>(lut->channelCount);
  const uint32_t size2 = static_cast<uint32_t>(lut->gridSize2);
  const uint32_t size3 = static_cast<uint32_t>(lut->gridSize3);
  const uint32_t stepB = channels;
  const uint32_t stepG = size3 * channels;
  const uint32_t stepR = size2 * size3 * channels;
  const uint8_t *nodes1 = lut->nodes1;
  const uint8_t *nodes2 = lut->nodes2;
  const uint8_t *nodes3 = lut->nodes3;

  for (uint32_t n = 0; n < count; ++n, input += 4, output += channels) {
    const uint32_t r = input[1];
    const uint32_t g = input[2];
    const uint32_t b = input[3];
    const uint32_t i = FindCell(nodes1, lut->gridSize1, r);
    const uint32_t j = FindCell(nodes2, lut->gridSize2, g);
    const uint32_t k = FindCell(nodes3, lut->gridSize3, b);

    // Every fraction is measured on the red cell's scale, so the weights of
    // a tetrahedron always add up to d.
    const uint32_t d = nodes1[i] - nodes1[i - 1];
    const uint32_t fr = r - nodes1[i - 1];
    const uint32_t fg = (g - nodes2[j - 1]) * d / (nodes2[j] - nodes2[j - 1]);
    const uint32_t fb = (b - nodes3[k - 1]) * d / (nodes3[k] - nodes3[k - 1]);

    const Tetrahedron t = ChooseTetrahedron(d, fr, fg, fb, stepR, stepG, stepB);
    const uint8_t *base =
        lut->tableData + (((i - 1) * size2 + (j - 1)) * size3 + (k - 1)) * channels;
    const uint8_t *t0 = base + t.corner[0];
    const uint8_t *t1 = base + t.corner[1];
    const uint8_t *t2 = base + t.corner[2];
    const uint8_t *t3 = base + t.corner[3];
    for (uint32_t c = 0; c < channels; ++c) {
      const uint32_t sum = t.weight[0] * t0[c] + t.weight[1] * t1[c] +
                           t.weight[2] * t2[c] + t.weight[3] * t3[c];
      output[c] = static_cast<uint8_t>(sum / d);
    }
  }
  return kOk;
}

}  // namespace inkdot
