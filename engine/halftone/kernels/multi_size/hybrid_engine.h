/* SPDX-License-Identifier: Apache-2.0 */
// The per-pixel core of the hybrid colour kernels: the matrix places medium
// and large dots through the palette limits, and error diffusion against the
// dot curve places the small ones and carries what the dots did not print to
// the neighbouring pixels. The members of the family plug in their filters
// and constants through a small traits struct (see hybrid_colour.cpp).
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/multi_size/dot_sizes.h"

namespace inkdot {

// Copies of the 256-entry tables that one run reads, taken at its start so
// that the hot loop touches only memory of its own.
struct HybridTables {
  int32_t dotCurve[256];    // small-dot thresholds, sign-extended
  uint32_t limits[256];     // low: large limit; high: medium limit
  uint32_t amounts[256];    // low: small amount; high: total amount
  uint32_t totals[256];     // screen totals
  uint8_t gridCoord[256];   // grid point at or below each channel value
  uint8_t gridWeight[256];  // that point's weight

  void Load(const HalftoneContext *ht, bool withGrid) {
    const auto *curve = DotCurve(ht);
    for (int p = 0; p < 256; ++p) {
      dotCurve[p] = curve[p];
      limits[p] = ht->paletteLimits[p];
      amounts[p] = ht->paletteAmounts[p];
      totals[p] = ht->paletteTotals[p];
    }
    if (!withGrid) return;
    const auto *grid = GridIndex(ht);
    for (int v = 0; v < 256; ++v) {
      gridCoord[v] = grid[2 * v];
      gridWeight[v] = grid[2 * v + 1];
    }
  }
};

// Ink 2 is screened only: no dot unless the screen total exceeds m, then a
// small dot below the medium limit, a large one under the large limit.
inline uint32_t ScreenedInkDot(const HybridTables &tables, uint32_t p, uint32_t m) {
  const uint32_t limits = tables.limits[p];
  const uint32_t any = tables.totals[p] > m ? 1 : 0;
  const uint32_t medium = (limits >> 16) > m ? 1 : 0;
  const uint32_t large = (limits & 0xFFFF) > m ? 1 : 0;
  // Below the medium limit a small dot; else large or medium.
  return any * (1 + medium * (1 + large));
}

// Activity: one 5-bit lane per diffused ink, refilled by every pixel with a
// small amount and halved by every non-white pixel, so an ink diffuses while
// it or one of the four pixels before it asked for small dots.
inline constexpr uint32_t kActivityStart = 0x101010;
inline constexpr uint32_t kActivityLanes = 0x1F1F1F;

// One diffused ink within a run.
struct DiffusedInk {
  int32_t *cell;      // the error cell of the current column
  int32_t carry;      // share reserved for the next column's cell
  uint32_t lane;      // the ink's activity lane
  uint32_t laneFill;  // bit 4 of that lane
};

// The error side of the hybrid decision for one ink whose palette index is
// p and whose matrix-placed dot is `code` (MatrixDot of its limits): a
// small dot where the matrix placed none and the error asks for one;
// updates the error line and the carry and returns the dot code.
template <class Member>
inline uint32_t DiffuseSmallDot(const HybridTables &tables, const uint32_t *dotParams,
                                uint32_t p, uint32_t code, int32_t offset,
                                uint32_t &activity, DiffusedInk &ink, bool odd) {
  const uint32_t small = tables.amounts[p] & 0xFFFF;
  if (small != 0) activity |= ink.laneFill;
  if ((activity & ink.lane) == 0) {
    // Inactive: no small dots and no error; the row above's error is
    // dropped here and the carry lands in this cell.
    *ink.cell = ink.carry;
    ink.carry = 0;
    return code;
  }
  const int32_t value =
      static_cast<int32_t>(tables.amounts[p] >> 16) + Member::IncomingError(*ink.cell);
  if constexpr (Member::kSmallDotByMask) {
    // Without branches where the member's filter choice does not branch on
    // the dot straight away: the matrix and the error scatter the outcome.
    code |= static_cast<uint32_t>((code == kNoDot) & (small != 0) &
                                  (value >= tables.dotCurve[p] + offset));
  } else if (code == kNoDot && small != 0 && value >= tables.dotCurve[p] + offset) {
    code = kSmallDot;
  }
  const bool dot = code != kNoDot;
  const int32_t e = Member::kSmallDotByMask
                        ? value - (Member::kDotValue & -static_cast<int32_t>(dot))
                        : (dot ? value - Member::kDotValue : value);
  ink.carry = Member::Spread((tables.limits[p] >> 16) != 0, dot, small, dotParams, odd,
                             ink.cell, e, ink.carry);
  return code;
}

// The whole hybrid decision for one ink whose palette index is p, against
// matrix value m with small-dot offset `offset`: the matrix-placed dot, then
// DiffuseSmallDot.
template <class Member>
inline uint32_t DiffuseInk(const HybridTables &tables, const uint32_t *dotParams,
                           uint32_t p, uint32_t m, int32_t offset, uint32_t &activity,
                           DiffusedInk &ink, bool odd) {
  return DiffuseSmallDot<Member>(tables, dotParams, p, MatrixDot(tables.limits[p], m), offset,
                                 activity, ink, odd);
}

}  // namespace inkdot
