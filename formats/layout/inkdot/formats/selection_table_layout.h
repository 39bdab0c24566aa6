/* SPDX-License-Identifier: Apache-2.0 */
// Limits of the selection table, a text resource: a version line ("//" and
// the version), a heading, one line per entry (table id, halftone id,
// method, key, x and y resolution, mode, key number, dot mode), "/end", the
// method names, the key names (optionally after a numeric key base), the
// mode names and a closing line. Plain constants only, so that the engine,
// the validator and the writer read one definition.
#pragma once

#include <cstdint>

namespace inkdot::formats::selection_table_layout {

inline constexpr int32_t kMaxEntries = 200;
inline constexpr uint32_t kMaxNameLength = 11;
inline constexpr uint32_t kMaxFieldLength = 255;
inline constexpr uint32_t kMaxLineLength = 255;
inline constexpr int32_t kMaxMethodNames = 12;
inline constexpr int32_t kMaxKeyNames = 32;
inline constexpr int32_t kMaxModeNames = 12;

// Versions: without a number after "//" the table is read as 200; from 300
// on the ninth column (the dot mode) is compared too.
inline constexpr int16_t kDefaultVersion = 200;
inline constexpr int16_t kDotModeVersion = 300;

// The first key name must begin with this letter, or it is read as the base.
inline constexpr char kKeyNameLead = 'P';

}  // namespace inkdot::formats::selection_table_layout
