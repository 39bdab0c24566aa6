/* SPDX-License-Identifier: Apache-2.0 */
// Ink-load divisors (percent) written into every colour table: the
// single-size-dot halftoning divides each level by about 2.5 at the light
// end and by 1 at the dark end (a dot there stands for more than its pixel).
// The characterisation prints through them, so the tables account for them.
#pragma once

namespace inkdot::profile {

constexpr int kInkLoadLight = 250;
constexpr int kInkLoadDark = 100;

}  // namespace inkdot::profile
