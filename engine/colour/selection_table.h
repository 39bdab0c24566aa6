/* SPDX-License-Identifier: Apache-2.0 */
// The selection table: a small text table that picks a colour-table
// resource (and the halftone side's first resource) from the page
// parameters and the user's settings.
#pragma once

#include <cstdint>

struct CmContext;

namespace inkdot {

// Parses `text` and walks its entry lines against the object's page
// parameters, settings and matchMode; the last matching line wins and sets
// matchedId and matchedNext (a column 2 of 0 reads as -1), and the table's
// version is stored in tableVersion. Returns the matched line's first
// column, 0 when no line matched, -1 when the work area could not be had.
int32_t SelectTableLine(CmContext *cm, const uint8_t *text);

}  // namespace inkdot
