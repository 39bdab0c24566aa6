/* SPDX-License-Identifier: Apache-2.0 */
// Byte layout of the colour-table resource and of the dot-mode selector
// record it may carry. Plain constants only, so that the engine, the
// validators and the writer read one definition.
//
// Header: 76 bytes (77 with a fourth input axis). Numbers in the header are
// big-endian except the auxiliary-record offset and length (little-endian).
// After the header: the node list of each axis, the grid (channel count
// bytes per node, last axis innermost), one neutral black value per grid
// step and, for format 50, a grey block of channel count bytes per step.
#pragma once

#include <cstdint>

namespace inkdot::formats::colour_table_layout {

inline constexpr uint32_t kHeaderBytes = 76;
inline constexpr uint32_t kFourInputHeaderBytes = 77;

// Values of the format byte.
inline constexpr uint8_t kFourInputFormat = 128;
inline constexpr uint8_t kGreyBlockFormat = 50;

// Field offsets.
inline constexpr uint32_t kTagAt = 0;  // free text, up to the format byte
inline constexpr uint32_t kTagBytes = 15;
inline constexpr uint32_t kFormatAt = 15;
inline constexpr uint32_t kAuxOffsetAt = 16;  // u32 little-endian
inline constexpr uint32_t kAuxLengthAt = 20;  // u32 little-endian
inline constexpr uint32_t kKindAt = 24;
inline constexpr uint32_t kDominantReductionAt = 32;  // three bytes
inline constexpr uint32_t kHueShiftAt = 36;           // three signed bytes
inline constexpr uint32_t kSaturationBoostAt = 39;    // signed byte
inline constexpr uint32_t kPairReductionAt = 42;      // three signed bytes
inline constexpr uint32_t kInkLoadLightAt = 48;       // i16 big-endian
inline constexpr uint32_t kInkLoadDarkAt = 50;        // i16 big-endian
inline constexpr uint32_t kInkParamsAt = 52;          // three i16 big-endian
inline constexpr uint32_t kLevelParamsAt = 64;        // four i16 big-endian
inline constexpr uint32_t kGridSizesAt = 72;  // one byte per axis, then the channel count

// Grid limits: a cube of 2..36 nodes per axis, 1..20 channels.
inline constexpr uint32_t kMinGridSize = 2;
inline constexpr uint32_t kMaxGridSize = 36;
inline constexpr uint32_t kMaxChannels = 20;

}  // namespace inkdot::formats::colour_table_layout

namespace inkdot::formats::selector_layout {

// Every record: a u32 length (bytes after it), then an i16 type, little-endian.
inline constexpr uint32_t kLengthAt = 0;
inline constexpr uint32_t kTypeAt = 4;
inline constexpr uint32_t kLengthFieldBytes = 4;
inline constexpr uint32_t kFixedFieldBytes = 6;  // length and type
inline constexpr int32_t kMinLength = 4;

// Type 1: one palette id for every page.
inline constexpr int16_t kSinglePaletteType = 1;
inline constexpr uint32_t kSinglePaletteIdAt = 6;
inline constexpr int32_t kSinglePaletteLength = 4;

// Type 3: a signature, then a palette id and an alternative-selector value
// for colour input and another pair for grey input. Readers want at least
// 22 bytes after the length field, although the fields end 20 bytes after it.
inline constexpr int16_t kInputPaletteType = 3;
inline constexpr uint32_t kSignatureAt = 8;
inline constexpr uint8_t kSignature[4] = {0xFB, 0x69, 0xF7, 0xDD};
inline constexpr uint32_t kColourPaletteIdAt = 16;
inline constexpr uint32_t kColourAltSelectorAt = 18;
inline constexpr uint32_t kGreyPaletteIdAt = 20;
inline constexpr uint32_t kGreyAltSelectorAt = 22;
inline constexpr int32_t kInputPaletteLength = 22;

// The longest record the halftone object reads: the length word and 20 bytes.
inline constexpr uint32_t kLongestRead = 24;

}  // namespace inkdot::formats::selector_layout
