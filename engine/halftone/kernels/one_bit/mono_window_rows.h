/* SPDX-License-Identifier: Apache-2.0 */
// The grey diffusion's filters as rows of weights, for the register-window
// path: a dotted or undotted pixel's filter adds its error times one row and
// (for the filters that halve it) its halved error times a second row to the
// cells around it. The rows are read off the filters themselves, by applying
// each to a few errors, so that they cannot drift from the portable loop;
// the compiler does that once, so the rows are constant data.
#pragma once

#include <cstdint>

#include "halftone/kernels/one_bit/diffusion_filters.h"

namespace inkdot {
namespace mono_window {

// How far a member's filters reach left and right of the pixel's cell.
template <class Filters>
struct Reach;
template <>
struct Reach<WideFilters> {
  static constexpr int kLeft = 21, kRight = 23;
};
template <>
struct Reach<SquareFilters> {
  static constexpr int kLeft = 15, kRight = 14;
};

// A filter depends, besides the error, on where the level stands among the
// limits (bits 0..3) and on the noise bit (bit 4); the dot then picks one
// of the key's two rows, 2 * key + dot.
inline constexpr int kKeys = 32;

template <class Filters>
constexpr uint32_t FilterKey(int32_t level, uint32_t noise, const FilterLimits &t) {
  return (level > t.t0 ? 1u : 0u) | (level > t.t1 ? 2u : 0u) | (level > t.t2 ? 4u : 0u) |
         (level <= T3Limit<Filters>(t, noise) ? 8u : 0u) | noise << 4;
}

// Which cells a key's two rows reach, as the window path spreads them:
// within 4 or 8 cells of the pixel, or anywhere in the member's reach, in
// which case a halved error may also take part.
enum Span : uint8_t { kNear4, kNear8, kFull, kFullHalf };

template <class Filters>
struct Rows {
  static constexpr int kLeft = Reach<Filters>::kLeft;
  static constexpr int kRight = Reach<Filters>::kRight;
  // The window: the cells from kLead before a group of eight pixels to the
  // last its filters reach, in registers of eight cells.
  static constexpr int kLead = kLeft;
  static constexpr int kRegisters = (kLead + 8 + kRight + 7) / 8;
  // A row holds the weight of offset k at kOrigin + k, zeros around, so that
  // pixel j of a group reads register r's weights at 8r + 7 - j.
  static constexpr int kOrigin = kLead + 7;
  static constexpr int kLength = 8 * kRegisters + 8;

  alignas(32) int32_t error[2 * kKeys][kLength] = {};
  alignas(32) int32_t half[2 * kKeys][kLength] = {};
  // The filter's own weight of the next pixel's cell (the carry, which goes
  // into that cell after the next pixel has read it, is in the rows).
  int32_t next[2 * kKeys] = {};
  uint8_t span[kKeys] = {};
  // Whether every filter proved a sum of error and halved error times
  // fixed weights within the reach above (else the window path is not used).
  bool linear = true;

  constexpr void Build() {
    linear = true;
    for (uint32_t key = 0; key < kKeys; ++key) {
      int reach = 0;
      bool halves = false;
      for (uint32_t dot = 0; dot < 2; ++dot) {
        const uint32_t row = 2 * key + dot;
        Read(key, dot != 0, error[row], half[row], next[row]);
        for (int i = 0; i < kLength; ++i) {
          if (error[row][i] == 0 && half[row][i] == 0) continue;
          const int k = i - kOrigin;
          reach = k < -reach ? -k : (k > reach ? k : reach);
          halves = halves || half[row][i] != 0;
        }
      }
      span[key] = halves ? kFullHalf : reach <= 4 ? kNear4 : reach <= 8 ? kNear8 : kFull;
    }
  }

 private:
  static constexpr int kScratch = 128, kCentre = 64;

  // The filter of `key` and `dot`, applied to a zero line with a level and
  // limits that give the key, and no carry coming in.
  static constexpr int32_t Apply(uint32_t key, bool dot, int32_t e, int32_t *cells) {
    constexpr int32_t kLevel = 100;
    const FilterLimits limits{(key & 1) ? kLevel - 1 : kLevel, (key & 2) ? kLevel - 1 : kLevel,
                              (key & 4) ? kLevel - 1 : kLevel, 0};
    const uint32_t noise = key >> 4;
    const int32_t t3Limit = (key & 8) ? kLevel : kLevel - 1;
    for (int i = 0; i < kScratch; ++i) cells[i] = 0;
    return Filters::Apply(cells + kCentre, {kLevel, e, dot, noise, t3Limit}, 0, limits);
  }

  constexpr void Read(uint32_t key, bool dot, int32_t *byError, int32_t *byHalf,
                      int32_t &nextWeight) {
    int32_t one[kScratch] = {}, two[kScratch] = {}, probe[kScratch] = {};
    const int32_t carryOne = Apply(key, dot, 1, one);
    const int32_t carryTwo = Apply(key, dot, 2, two);
    for (int i = 0; i < kScratch; ++i) {
      const int k = i - kCentre;
      const int32_t w = one[i], h = two[i] - 2 * one[i];
      if (w == 0 && h == 0) continue;
      if (k < -kLeft || k > kRight) {
        linear = false;
        continue;
      }
      byError[kOrigin + k] = w;
      byHalf[kOrigin + k] = h;
    }
    nextWeight = byError[kOrigin + 1];
    // The next pixel's cell must take the error alone: the chain does not
    // carry the halved error.
    if (byHalf[kOrigin + 1] != 0) linear = false;
    byError[kOrigin + 1] += carryOne;
    byHalf[kOrigin + 1] += carryTwo - 2 * carryOne;
    // Confirm the form on errors of both signs, odd and even.
    for (const int32_t e : {-5, 7, -256, 301}) {
      const int32_t carry = Apply(key, dot, e, probe);
      for (int i = 0; i < kScratch; ++i) {
        const int k = i - kCentre;
        const bool inside = k >= -kLeft && k <= kRight;
        const int32_t w = inside ? byError[kOrigin + k] : 0;
        const int32_t h = inside ? byHalf[kOrigin + k] : 0;
        const int32_t expected = k == 1 ? (w - carryOne) * e + (h - (carryTwo - 2 * carryOne)) * (e >> 1)
                                        : w * e + h * (e >> 1);
        if (probe[i] != expected) linear = false;
      }
      if (carry != carryOne * e + (carryTwo - 2 * carryOne) * (e >> 1)) linear = false;
    }
  }
};

// A member's rows, worked out at compile time.
template <class Filters>
inline constexpr Rows<Filters> kRows = [] {
  Rows<Filters> rows;
  rows.Build();
  return rows;
}();

}  // namespace mono_window
}  // namespace inkdot
