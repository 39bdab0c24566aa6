#include "halftone/kernels/diffusion_filters.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace inkdot {
namespace {

// Weight marker for a tap of e >> 1.
constexpr int kHalf = 1000;

using Taps = std::map<int, int>;  // cell offset -> weight in 32nds

Taps Span(Taps taps, int from, int to, int weight) {
  for (int k = from; k <= to; ++k) taps[k] = weight;
  return taps;
}

struct FilterCase {
  const char *name;
  int32_t level;
  bool dot;
  uint32_t noise;
  int32_t t3Limit;
  Taps sideways;  // every tap but the pixel's own cell
  int below;
  int carry;
  int spread;  // 32nds of the error that the filter passes on
};

const FilterLimits kLimits{56, 22, 11, 4};

int32_t Share(int weight, int32_t e) { return weight == kHalf ? (e >> 1) : weight * e; }

// Applies one filter to a single error on a clean line and compares every
// cell within reach, the pixel's own cell and the returned carry.
template <class Filters>
void ExpectSpread(const FilterCase &c) {
  for (int32_t e : {5, -7, 64}) {
    SCOPED_TRACE(::testing::Message() << c.name << ", e = " << e);
    std::vector<int32_t> cells(80, 0);
    int32_t *at = cells.data() + 40;
    const int32_t carryIn = 1000;
    const int32_t carry =
        Filters::Apply(at, {c.level, e, c.dot, c.noise, c.t3Limit}, carryIn, kLimits);
    int32_t total = carry;
    for (int k = -30; k <= 30; ++k) {
      if (k == 0) continue;
      const auto tap = c.sideways.find(k);
      const int32_t expected = tap == c.sideways.end() ? 0 : Share(tap->second, e);
      EXPECT_EQ(at[k], expected) << "cell " << k;
      total += at[k];
    }
    EXPECT_EQ(at[0], Share(c.below, e) + carryIn);
    EXPECT_EQ(carry, Share(c.carry, e));
    total += at[0] - carryIn;
    if (e == 64) {
      EXPECT_EQ(total, c.spread * e);  // weights in 32nds of e
    }
  }
}

TEST(DiffusionFilters, SquareSetSendsEachShareToItsCell) {
  const FilterCase cases[] = {
      {"above T0", 60, false, 0, 3, {{1, 8}, {2, 4}, {-2, 4}, {-1, 4}}, 8, 4, 32},
      {"no dot", 30, false, 0, 3, {{1, 8}, {2, 4}, {-2, 4}, {-1, 8}}, 8, 0, 32},
      {"above T1, n=0", 30, true, 0, 3,
       Span({{1, 4}, {2, 4}, {3, 2}, {4, 2}, {5, 2}, {-1, 4}}, -4, -2, 2), 4, 4, 32},
      {"above T1, n=1", 30, true, 1, 4,
       Span({{1, 4}, {2, 4}, {3, 2}, {4, 2}, {-1, 4}}, -4, -2, 2), 6, 4, 32},
      {"above T2", 15, true, 0, 3,
       Span(Span(Span(Span({{-1, 3}}, 1, 3, 3), 4, 7, 1), -7, -6, 1), -5, -2, 2), 3, 3,
       32},
      {"widest, n=0", 3, true, 0, 3, Span(Span({{-15, 1}}, 1, 14, 1), -13, -1, 1), 1, 1,
       30},
      {"widest, n=1", 4, true, 1, 4, Span(Span({}, 1, 14, 1), -14, -1, 1), 1, 1, 30},
      {"otherwise, n=0", 4, true, 0, 3,
       Span(Span(Span(Span({{10, 1}}, 1, 4, 2), 5, 9, 1), -10, -5, 1), -4, -1, 2), 2, 2,
       32},
      {"otherwise, n=1", 8, true, 1, 4,
       Span(Span(Span(Span({{11, 1}}, 1, 4, 2), 5, 9, 1), -10, -5, 1), -4, -1, 2), 2, 2,
       32},
  };
  for (const FilterCase &c : cases) ExpectSpread<SquareFilters>(c);
}

TEST(DiffusionFilters, WideSetSendsEachShareToItsCell) {
  const FilterCase cases[] = {
      {"no dot, n=0",
       60,
       false,
       0,
       4,
       {{1, 8}, {2, 4}, {-3, 4}, {-2, 4}, {-1, 4}},
       8,
       0,
       32},
      {"no dot, n=1",
       60,
       false,
       1,
       4,
       {{1, 4}, {2, 4}, {3, 4}, {-2, 4}, {-1, 8}},
       8,
       0,
       32},
      {"above T0",
       60,
       true,
       0,
       4,
       {{1, 4}, {2, 4}, {3, 2}, {4, 2}, {-4, 2}, {-3, 2}, {-2, 4}, {-1, 4}},
       4,
       4,
       32},
      {"above T1", 30, true, 0, 4,
       Span(Span(Span(Span(Span(Span({}, 1, 3, 3), 4, 5, 2), 6, 7, 1), -7, -6, 1), -5,
                 -4, 2),
            -3, -1, 3),
       2, 0, 32},
      {"above T2", 15, true, 1, 4,
       Span(Span(Span(Span({}, 1, 5, 2), 6, 10, 1), -10, -6, 1), -5, -1, 2), 2, 0, 32},
      {"widest", 4, true, 0, 4,
       Span(Span(Span(Span({}, 1, 9, 1), 10, 23, kHalf), -21, -10, kHalf), -9, -1, 1),
       kHalf, kHalf, 32},
      {"otherwise", 8, true, 0, 4, Span(Span({{1, 2}, {-1, 2}}, 2, 14, 1), -14, -2, 1),
       1, 1, 32},
  };
  for (const FilterCase &c : cases) ExpectSpread<WideFilters>(c);
}

TEST(DiffusionFilters, TallSetSendsEachShareToItsCell) {
  const FilterCase cases[] = {
      {"above T0", 60, false, 0, 3, {{1, 4}, {2, 4}, {-1, 8}}, 8, 8, 32},
      {"above T1", 30, true, 0, 3, {{1, 4}, {2, 2}, {-2, 2}, {-1, 4}}, 16, 4, 32},
      {"no dot", 15, false, 0, 3, {{1, 8}, {-1, 8}}, 16, 0, 32},
      {"above T2", 15, true, 0, 3, Span(Span({{-1, 4}}, 1, 4, 2), -4, -2, 2), 8, 6, 32},
      {"widest, n=0", 3, true, 0, 3,
       Span(Span(Span(Span({{10, 1}}, 1, 4, 2), 5, 9, 1), -10, -5, 1), -4, -1, 2), 2, 2,
       32},
      {"widest, n=1", 4, true, 1, 4,
       Span(Span(Span(Span({{11, 1}}, 1, 4, 2), 5, 9, 1), -10, -5, 1), -4, -1, 2), 2, 2,
       32},
      {"otherwise", 8, true, 0, 3,
       Span(Span(Span(Span({{-1, 3}}, 1, 3, 3), 4, 7, 1), -7, -6, 1), -5, -2, 2), 3, 3,
       32},
  };
  for (const FilterCase &c : cases) ExpectSpread<TallFilters>(c);
}

TEST(DiffusionFilters, WidestLimitHasTheNoiseTermOnlyOutside1440) {
  const FilterLimits limits{56, 22, 11, 4};
  EXPECT_EQ(T3Limit<SquareFilters>(limits, 0), 3);
  EXPECT_EQ(T3Limit<SquareFilters>(limits, 1), 4);
  EXPECT_EQ(T3Limit<TallFilters>(limits, 0), 3);
  EXPECT_EQ(T3Limit<WideFilters>(limits, 0), 4);
}

TEST(DiffusionFilters, ThresholdOffsetsFollowTheLowByteOfTheMatrixValue) {
  // (m, offset): the offset is chosen from m AND 0xFE.
  const std::pair<uint32_t, int32_t> cases[] = {
      {0, 24},    {7, 24},    {8, 20},    {128, 20},   {129, 20},   {130, -20},
      {247, -20}, {248, -24}, {255, -24}, {0x107, 24}, {0x1F8, -24}};
  for (const auto &[m, offset] : cases) {
    EXPECT_EQ(ThresholdOffset(m & 0xFE), offset) << "m = " << m;
    EXPECT_EQ(kThresholdOffsets[m & 0xFE], offset) << "m = " << m;
  }
}

}  // namespace
}  // namespace inkdot
