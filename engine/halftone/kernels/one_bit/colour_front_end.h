/* SPDX-License-Identifier: Apache-2.0 */
// The colour front end of the one-bit colour kernels: from a source pixel
// to four ink levels through the 32 x 32 x 32 colour table, the smoothing
// of neighbouring pixels, and the matrix rules that place the dots of ink
// pairs.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace inkdot {

inline constexpr uint32_t kGridPoints = 32;

inline bool IsWhite(const uint8_t *px) {
  return px[0] == 255 && px[1] == 255 && px[2] == 255;
}

// Grid coordinates of a pixel: per channel, the grid point below the value,
// or the one above when the lower point's weight is at most `split`. With
// the matrix steering the split this is an ordered dither between the two
// grid points around each value.
struct GridPoint {
  int32_t a, b, c;
};

inline GridPoint GridCoordinates(const uint8_t *gridIndex, const uint8_t *px,
                                 uint32_t split) {
  auto coordinate = [&](uint8_t v) {
    const uint8_t *pair = gridIndex + 2 * v;
    return static_cast<int32_t>(pair[0]) + (pair[1] <= split ? 1 : 0);
  };
  return {coordinate(px[0]), coordinate(px[1]), coordinate(px[2])};
}

// The colour-table entry of a grid point: byte k is the level of ink k.
inline uint32_t GridEntry(const uint32_t *colorTable, const GridPoint &g) {
  return colorTable[(static_cast<uint32_t>(g.a) * kGridPoints +
                     static_cast<uint32_t>(g.b)) *
                        kGridPoints +
                    static_cast<uint32_t>(g.c)];
}

// A grid point packed into one word, 10 bits per coordinate (a grid index
// plus one is at most 256), for the branch-free neighbour test below.
inline uint32_t GridKey(uint32_t a, uint32_t b, uint32_t c) {
  return a << 20 | b << 10 | c;
}

// A key whose point is within one of no grid point: its top coordinate, 1023,
// is far from every real one.
inline constexpr uint32_t kNoGridKey = 1023u << 20;

// Whether the points of two keys differ by at most one in every coordinate.
// Adding 1 and 2 to each field of the difference leaves every field in 0..3
// exactly when that field's difference is -1, 0 or 1 (a larger one, or a
// negative total, sets bits outside the low two of some field).
inline bool NeighbourKeys(uint32_t key, uint32_t previousKey) {
  const uint32_t d = key - previousKey;  // wraps on purpose
  return (((d + 0x00100401u) | (d + 0x00200802u)) & 0xFFCFF3FCu) == 0;
}

struct InkLevels {
  int32_t ink[4];
};

inline InkLevels LevelsOf(uint32_t entry) {
  return {
      {static_cast<int32_t>(entry & 0xFF), static_cast<int32_t>((entry >> 8) & 0xFF),
       static_cast<int32_t>((entry >> 16) & 0xFF), static_cast<int32_t>(entry >> 24)}};
}

inline InkLevels LevelsOfBytes(const uint8_t *px) {
  return {{px[0], px[1], px[2], px[3]}};
}

// Smoothing memory: the previous processed pixel's grid point and levels.
// Two pixels whose grid points are neighbours (no coordinate differs by
// more than one) average the smoothed inks, which hides the grid dither's
// steps in flat areas.
struct Smoothing {
  GridPoint previous{-2, -2, -2};
  InkLevels levels;

  // Averages the inks in `kInkMask` (bit k = ink k) with the remembered
  // levels when the grid points are neighbours, rounding up when
  // `roundUp`; then remembers this pixel.
  template <uint32_t kInkMask>
  void Apply(const GridPoint &g, InkLevels &current, bool roundUp) {
    const bool neighbours = std::abs(g.a - previous.a) <= 1 &&
                            std::abs(g.b - previous.b) <= 1 &&
                            std::abs(g.c - previous.c) <= 1;
    const int32_t r = roundUp ? 1 : 0;
    previous = g;
    [&]<int... k>(std::integer_sequence<int, k...>) {
      (([&] {
         if constexpr ((kInkMask >> k) & 1) {
           if (neighbours) current.ink[k] = (levels.ink[k] + current.ink[k] + r) >> 1;
           levels.ink[k] = current.ink[k];
         }
       }()),
       ...);
    }
    (std::make_integer_sequence<int, 4>{});
  }
};

// Ink 0's dot of the pair rule below, without branches: against a scattered
// matrix the outcome changes unpredictably from pixel to pixel.
inline bool PairedDot0(int32_t d0, int32_t d3, int32_t m, int32_t top) {
  const int32_t sum = d0 + d3;
  const uint32_t both = sum > top ? 1u : 0u;
  const uint32_t over = d0 > top - m ? 1u : 0u;
  const uint32_t fill = (d3 <= m ? 1u : 0u) & (sum > m ? 1u : 0u);
  return ((both & over) | ((both ^ 1u) & fill)) != 0;
}

// Dots of the complementary pair of inks 0 and 3 for matrix value m, from
// their scaled levels d0 and d3, with M the top of the threshold range.
// When the two together exceed the range both may print; otherwise ink 0
// fills only where ink 3 left a gap.
// The same rule pairs inks 1 and 2 of an odd last pixel, ink 1 in the role
// of ink 3.
inline void PairDots(int32_t d0, int32_t d3, int32_t m, int32_t top, bool &dot0,
                     bool &dot3) {
  dot3 = d3 > m;
  dot0 = PairedDot0(d0, d3, m, top);
}

// The dots of all four inks of the last pixel of an odd run: inks 0 and 3
// paired on m, inks 1 and 2 paired on the mirrored value M - m.
inline void OddPixelDots(const int32_t d[4], int32_t m, int32_t top, bool dots[4]) {
  PairDots(d[0], d[3], m, top, dots[0], dots[3]);
  PairDots(d[2], d[1], top - m, top, dots[2], dots[1]);
}

// What the last pixel of an odd run reads. It is dithered only: no
// smoothing, no white test, no error read or written.
struct OddPixelTables {
  const uint32_t *colourTable;
  const uint8_t *gridIndex;
  const uint16_t *levelScale;
  bool inkBytes;  // the source bytes are the ink levels (inputFormat 4)
  int32_t top;    // the top of the threshold range
};

// That pixel, from its source bytes `px` and the matrix value m at its
// column, written to `out` (four planes) and stepped past: the grid
// coordinates split at `gridSplit`, and inks below `levelFloor` print
// nothing.
template <class Planes>
inline void PutOddPixel(const OddPixelTables &t, const uint8_t *px, int32_t m,
                        uint32_t gridSplit, int32_t levelFloor, Planes &out) {
  const InkLevels levels =
      t.inkBytes ? LevelsOfBytes(px)
                 : LevelsOf(GridEntry(t.colourTable, GridCoordinates(t.gridIndex, px, gridSplit)));
  int32_t d[4];
  for (int k = 0; k < 4; ++k) {
    d[k] = t.levelScale[levels.ink[k] < levelFloor ? 0 : levels.ink[k]];
  }
  bool dots[4];
  OddPixelDots(d, m, t.top, dots);
  for (int k = 0; k < 4; ++k) out.Set(k, dots[k]);
  out.Next();
}

}  // namespace inkdot
