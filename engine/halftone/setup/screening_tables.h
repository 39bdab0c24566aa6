/* SPDX-License-Identifier: Apache-2.0 */
// The screening and dot-size tables: the grey level curve, the tone curve,
// the level scale onto the matrix's rank range, the error-diffusion dot
// curve, the four dot parameters and the three dot-palette tables.
//
// Every table keeps its stored width: a 16-bit entry keeps the low 16 bits
// of whatever the 32-bit arithmetic gave, exactly as the kernels expect.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"

namespace inkdot {

// Grey level curve, plain form: entry i = grey[i].
void BuildGreyCurve(const uint8_t *grey, uint16_t *curve);

// Pad of the padded grey curve: spreads the curve's last fall below 4 over
// the levels that follow it. Even, at least 1 (1 when the curve never
// falls below 4 after level 0).
uint32_t GreyCurvePad(const uint8_t *grey);

// Entries of the padded curve, all of which BuildPaddedGreyCurve writes
// except the last: pad + 257.
inline uint32_t PaddedGreyCurveEntries(uint32_t pad) { return pad + 257; }

// Padded form: entry 0 holds the pad, then pad / 2 copies of grey[0], the
// 256 grey values and copies of grey[255]; kernels read entry
// level + (threshold mod pad) + 1.
void BuildPaddedGreyCurve(const uint8_t *grey, uint32_t pad, uint16_t *curve);

// The four dot parameters for this page and ink load `inkLoad`: 0, or 768
// (no parameters for the ink load) or 513 (none for the resolution).
ResultCode ChooseDotParams(const HalftoneParams &page, int32_t inkLoad,
                           uint32_t dotParams[4]);

// Tone curve from the ink load A and the base load B (all 255 in dot mode 2).
void BuildToneCurve(const HalftoneParams &page, int32_t inkLoad,
                    int32_t baseLoad, uint16_t *tone);

// Level scale for a matrix of `matrixSize` ranks: the number of ranks that
// each level covers. `greyCurve` (plain form) is read for dot mode 1 with a
// screening method and grey input; `scale` then holds 512 entries, the
// upper half scratch.
void BuildLevelScale(const HalftoneParams &page, uint32_t matrixSize,
                     const uint16_t *tone, const uint16_t *greyCurve,
                     uint16_t *scale);

// True when the level scale goes through the grey curve.
bool LevelScaleUsesGreyCurve(const HalftoneParams &page);

// Error-diffusion dot curve from the tone curve (256 signed entries).
void BuildDotCurve(const HalftoneParams &page, const uint16_t *tone,
                   int16_t *dot);

// Remaps the dot curve through the palette (dot[p] := dot[s + m + l] of
// entry p); at 2880 dpi across, the curve becomes a fixed table instead.
// Entries 256..511 of `dot` are scratch.
void RemapDotCurve(const HalftoneParams &page, const uint8_t *palette,
                   int16_t *dot);

// The palette tables from the 256 (small, medium, large) triplets and the
// level scale.
void BuildPaletteTables(const uint8_t *palette, const uint16_t *scale,
                        HalftoneContext *ht);

inline bool IsScreenMethod(uint32_t method) {
  return method == 0 || method == 2 || method == 3;
}

}  // namespace inkdot
