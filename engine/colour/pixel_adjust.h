/* SPDX-License-Identifier: Apache-2.0 */
// The per-node colour changes of the table rebuild: the saturation change
// and the ink corrections of the enhanced adjustment. Colours are red,
// green and blue in 0..255, held as signed integers while they change.
#pragma once

#include <cstdint>

namespace inkdot {

// Scales each component's distance from the smallest one by (100 + s)
// percent, or by 80 % of that change when blue is strictly the smallest;
// results above 255 become 255. s in -50..50; greys and s = 0 pass as
// they are.
void SaturateColour(int32_t s, int32_t rgb[3]);

// The enhanced adjustment's three corrections in cyan-magenta-yellow terms,
// each parameter indexed 0 = cyan, 1 = magenta, 2 = yellow, in percent:
// the dominant ink pulled towards the next one, the two larger inks pulled
// down by a share of their lead over the smallest, then a hue shift between
// the two larger inks. Greys pass unchanged; results stay in 0..255.
void CorrectInks(const uint16_t dominant[3], const int16_t pair[3],
                 const int16_t hue[3], int32_t rgb[3]);

}  // namespace inkdot
