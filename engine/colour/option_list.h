/* SPDX-License-Identifier: Apache-2.0 */
// Look-ups in the host's option list of (key, value) pairs.
#pragma once

#include <cstdint>

#include "frame/result_codes.h"

namespace inkdot {

// Option keys in use.
inline constexpr int32_t kOptionGamma = 1;
inline constexpr int32_t kOptionHostCurves = 256;
inline constexpr int32_t kOptionCalibration = 512;

// The value of the first pair whose key is `key`; null when the list is
// null or holds no such pair.
const void *FindOption(const CmOptionList *options, int32_t key);

}  // namespace inkdot
