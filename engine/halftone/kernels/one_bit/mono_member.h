// SPDX-License-Identifier: Apache-2.0
// The details besides their filters in which the grey diffusion's
// resolution classes differ, shared by the portable loop and the register
// window so that both read them from one place.
#pragma once

namespace inkdot {

struct MonoMember {
  bool levelZeroStoresCarry;  // else a level-0 pixel's cell becomes 0
  bool reductionTakesLarger;  // else the smaller of two source bytes
  // Whether runs that fit take the register-window path (AVX2) first.
  bool window = false;
};

inline constexpr MonoMember kMonoSquare{true, false, true};
inline constexpr MonoMember kMonoWide{false, true, true};
inline constexpr MonoMember kMonoTall{true, false};

}  // namespace inkdot
