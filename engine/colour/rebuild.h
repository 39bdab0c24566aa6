/* SPDX-License-Identifier: Apache-2.0 */
// The colour-table rebuild through the user's adjustments.
#pragma once

#include "frame/result_codes.h"

struct CmContext;

namespace inkdot {

// Replaces the three-input table by one whose nodes hold the old table's
// ink amounts for the adjusted node colours; the old table stays on every
// failure.
ResultCode RebuildTable(CmContext *cm);

}  // namespace inkdot
