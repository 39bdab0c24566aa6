#include "halftone/kernels/diffusion_filters.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

namespace inkdot {
namespace {

// A filter as the description writes it: "1:8 2..4:2 -1:4" gives each cell
// offset (or range) its weight in 32nds of e; "h" stands for e >> 1.
struct FilterCase {
  const char *name;
  int32_t level;
  bool dot;
  uint32_t noise;
  int32_t t3Limit;
  const char *taps;
  const char *below;
  const char *carry;
  int spread;  // 32nds of e passed on in all
};

int32_t Share(const std::string &weight, int32_t e) {
  return weight == "h" ? (e >> 1) : std::stoi(weight) * e;
}

std::map<int, std::string> Parse(const char *taps) {
  std::map<int, std::string> cells;
  std::istringstream in(taps);
  for (std::string item; in >> item;) {
    const size_t colon = item.find(':'), dots = item.find("..");
    const int from =
        std::stoi(item.substr(0, dots == std::string::npos ? colon : dots));
    const int to = dots == std::string::npos ? from : std::stoi(item.substr(dots + 2));
    for (int k = from; k <= to; ++k) cells[k] = item.substr(colon + 1);
  }
  return cells;
}

// Spreads one error on a clean line and compares every cell within reach.
template <class Filters>
void ExpectSpread(const FilterCase &c) {
  const std::map<int, std::string> taps = Parse(c.taps);
  for (int32_t e : {5, -7, 64}) {
    SCOPED_TRACE(::testing::Message() << c.name << ", e = " << e);
    std::vector<int32_t> cells(80, 0);
    int32_t *at = cells.data() + 40;
    const int32_t carry = Filters::Apply(at, {c.level, e, c.dot, c.noise, c.t3Limit},
                                         1000, {56, 22, 11, 4});
    int32_t total = carry + at[0] - 1000;
    for (int k = -30; k <= 30; ++k) {
      if (k == 0) continue;
      EXPECT_EQ(at[k], taps.count(k) ? Share(taps.at(k), e) : 0) << "cell " << k;
      total += at[k];
    }
    EXPECT_EQ(at[0], Share(c.below, e) + 1000);  // added to the incoming carry
    EXPECT_EQ(carry, Share(c.carry, e));
    if (e == 64) {
      EXPECT_EQ(total, c.spread * e);
    }
  }
}

// Limits 56, 22, 11, 4; a level of 60 is above all of them.
TEST(DiffusionFilters, SquareSet) {
  const FilterCase cases[] = {
      {"above T0", 60, false, 0, 3, "1:8 2:4 -2:4 -1:4", "8", "4", 32},
      {"no dot", 30, false, 0, 3, "1:8 2:4 -2:4 -1:8", "8", "0", 32},
      {"T1, n=0", 30, true, 0, 3, "1:4 2:4 3:2 4:2 5:2 -4..-2:2 -1:4", "4", "4", 32},
      {"T1, n=1", 30, true, 1, 4, "1:4 2:4 3:2 4:2 -4..-2:2 -1:4", "6", "4", 32},
      {"T2", 15, true, 0, 3, "1..3:3 4..7:1 -7..-6:1 -5..-2:2 -1:3", "3", "3", 32},
      {"widest, n=0", 3, true, 0, 3, "1..14:1 -15:1 -13..-1:1", "1", "1", 30},
      {"widest, n=1", 4, true, 1, 4, "1..14:1 -14..-1:1", "1", "1", 30},
      {"other, n=0", 4, true, 0, 3, "1..4:2 5..9:1 10:1 -10..-5:1 -4..-1:2", "2", "2",
       32},
      {"other, n=1", 8, true, 1, 4, "1..4:2 5..9:1 11:1 -10..-5:1 -4..-1:2", "2", "2",
       32},
  };
  for (const FilterCase &c : cases) ExpectSpread<SquareFilters>(c);
}

TEST(DiffusionFilters, WideSet) {
  const FilterCase cases[] = {
      {"no dot, n=0", 60, false, 0, 4, "1:8 2:4 -3:4 -2:4 -1:4", "8", "0", 32},
      {"no dot, n=1", 60, false, 1, 4, "1:4 2:4 3:4 -2:4 -1:8", "8", "0", 32},
      {"T0", 60, true, 0, 4, "1:4 2:4 3:2 4:2 -4:2 -3:2 -2:4 -1:4", "4", "4", 32},
      {"T1", 30, true, 0, 4, "1..3:3 4..5:2 6..7:1 -7..-6:1 -5..-4:2 -3..-1:3", "2",
       "0", 32},
      {"T2", 15, true, 1, 4, "1..5:2 6..10:1 -10..-6:1 -5..-1:2", "2", "0", 32},
      {"widest", 4, true, 0, 4, "1..9:1 10..23:h -21..-10:h -9..-1:1", "h", "h", 32},
      {"other", 8, true, 0, 4, "1:2 2..14:1 -14..-2:1 -1:2", "1", "1", 32},
  };
  for (const FilterCase &c : cases) ExpectSpread<WideFilters>(c);
}

TEST(DiffusionFilters, TallSet) {
  const FilterCase cases[] = {
      {"T0", 60, false, 0, 3, "1:4 2:4 -1:8", "8", "8", 32},
      {"T1", 30, true, 0, 3, "1:4 2:2 -2:2 -1:4", "16", "4", 32},
      {"no dot", 15, false, 0, 3, "1:8 -1:8", "16", "0", 32},
      {"T2", 15, true, 0, 3, "1..4:2 -4..-2:2 -1:4", "8", "6", 32},
      {"widest, n=0", 3, true, 0, 3, "1..4:2 5..9:1 10:1 -10..-5:1 -4..-1:2", "2", "2",
       32},
      {"widest, n=1", 4, true, 1, 4, "1..4:2 5..9:1 11:1 -10..-5:1 -4..-1:2", "2", "2",
       32},
      {"other", 8, true, 0, 3, "1..3:3 4..7:1 -7..-6:1 -5..-2:2 -1:3", "3", "3", 32},
  };
  for (const FilterCase &c : cases) ExpectSpread<TallFilters>(c);
}

TEST(DiffusionFilters, WidestLimitAndThresholdOffsets) {
  const FilterLimits limits{56, 22, 11, 4};
  EXPECT_EQ(T3Limit<SquareFilters>(limits, 0), 3);
  EXPECT_EQ(T3Limit<TallFilters>(limits, 1), 4);
  EXPECT_EQ(T3Limit<WideFilters>(limits, 0), 4);
  // (m, offset), chosen from m AND 0xFE.
  const std::pair<uint32_t, int32_t> offsets[] = {
      {7, 24},    {8, 20},    {128, 20},  {129, 20},   {130, -20},
      {247, -20}, {248, -24}, {255, -24}, {0x107, 24}, {0x1F8, -24}};
  for (const auto &[m, offset] : offsets) {
    EXPECT_EQ(ThresholdOffset(m & 0xFE), offset) << "m = " << m;
    EXPECT_EQ(kThresholdOffsets[m & 0xFE], offset) << "m = " << m;
  }
}

}  // namespace
}  // namespace inkdot
