/* SPDX-License-Identifier: Apache-2.0 */
// Writing one pixel's error into the error line. Cells to the right of the
// current column still gather error for the current row, the current cell
// and those to its left gather it for the next row. Spans are expanded at
// compile time, so every filter is straight-line code.
//
// Error arithmetic wraps in 32 bits on purpose: cells are plain 32-bit
// words that long runs of extreme tables may overflow, and the result must
// stay a defined function of the input.
#pragma once

#include <cstdint>
#include <utility>

namespace inkdot {

class Taps {
 public:
  constexpr Taps(int32_t *cell, int32_t e)
      : cell_(cell),
        e_(static_cast<uint32_t>(e)),
        half_(static_cast<uint32_t>(e >> 1)) {}

  // w × e into the cell k columns away.
  constexpr void Add(int k, uint32_t w) { Bump(k, w * e_); }

  // w × e into each cell of columns kFrom..kTo.
  template <int kFrom, int kTo>
  constexpr void Span(uint32_t w) {
    const uint32_t v = w * e_;
    SpanOf<kFrom>(v, std::make_integer_sequence<int, kTo - kFrom + 1>{});
  }

  // e >> 1 (rounded toward minus infinity) into each cell of kFrom..kTo.
  template <int kFrom, int kTo>
  constexpr void HalfSpan() {
    SpanOf<kFrom>(half_, std::make_integer_sequence<int, kTo - kFrom + 1>{});
  }

  // The current cell: its own share w × e plus the carry of the pixel
  // before, replacing what the cell held.
  constexpr void Own(uint32_t w, int32_t carry) {
    cell_[0] = static_cast<int32_t>(w * e_ + static_cast<uint32_t>(carry));
  }
  constexpr void OwnHalf(int32_t carry) {
    cell_[0] = static_cast<int32_t>(half_ + static_cast<uint32_t>(carry));
  }

  // The share reserved for the next pixel's cell.
  constexpr int32_t Carry(uint32_t w) const { return static_cast<int32_t>(w * e_); }
  constexpr int32_t HalfCarry() const { return static_cast<int32_t>(half_); }

 private:
  constexpr void Bump(int k, uint32_t v) {
    cell_[k] = static_cast<int32_t>(static_cast<uint32_t>(cell_[k]) + v);
  }
  template <int kFrom, int... kStep>
  constexpr void SpanOf(uint32_t v, std::integer_sequence<int, kStep...>) {
    (Bump(kFrom + kStep, v), ...);
  }

  int32_t *cell_;
  uint32_t e_;
  uint32_t half_;
};

}  // namespace inkdot
