/* SPDX-License-Identifier: Apache-2.0 */
// Builders for every resource format that the engine reads, with the
// synthetic content that the scenario pages use. Each returns the
// resource's bytes exactly as a host would hand them over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace inkdot::scenario {

using Bytes = std::vector<uint8_t>;

// One entry line of a selection table: the nine columns.
struct SelectionLine {
  int32_t tableId;
  int32_t halftoneId;
  std::string method;  // a name of the method list
  std::string key;     // a name of the key list
  uint32_t x;
  uint32_t y;
  std::string mode;    // a name of the mode list
  int32_t keyNumber;
  uint32_t dotMode;
};

// A selection table: the version line, a heading, the entry lines, the
// end line and the three name lists. `keyBase` < 0 writes a key list whose
// names begin with P (base 0); otherwise the list starts with the base.
// Method names are M0..M3, key names K0..K4 (or P0..P4), mode names D0..D7.
Bytes SelectionTable(int version, const std::vector<SelectionLine> &lines,
                     int keyBase);
std::string MethodName(uint32_t method);
std::string KeyName(int32_t tableKeyName, int keyBase);
std::string ModeName(int32_t matchMode);

// The colour-table resource: a grid of `gridSize` nodes per axis and four
// inks, separated from RGB by a fixed synthetic recipe.
struct ColourTableSpec {
  uint8_t format = 0;     // 50 adds a grey block, 128 makes a four-input table
  uint8_t kind = 1;
  uint8_t gridSize = 9;
  int16_t inkLoadLight = 250;
  int16_t inkLoadDark = 100;
  Bytes selectorRecord;   // the auxiliary record; empty = none
};
Bytes ColourTable(const ColourTableSpec &shape);
// The node positions of such a table (the same on every axis), and where its
// grid and its auxiliary record begin in the resource.
std::vector<uint8_t> ColourTableNodes(int gridSize);
size_t ColourTableGridOffset(const ColourTableSpec &shape);
size_t ColourTableAuxOffset(const Bytes &resource);

// The dot-mode selector record: type 1 names one palette; type 3 names a
// palette and an alternate-kernel flag for colour and for grey input.
Bytes SelectorRecordType1(uint16_t paletteId);
Bytes SelectorRecordType3(int16_t colourPalette, int16_t colourAlt,
                          int16_t greyPalette, int16_t greyAlt);

// Calibration: the block of the option list and the four resources.
Bytes CalibrationBlock(uint8_t head, const std::vector<uint8_t> &values);
Bytes ChannelMap(const std::vector<std::vector<uint8_t>> &records);
Bytes ReferenceValues(int mode, const std::vector<uint8_t> &values);
Bytes CalibrationCurves(int count);

// Host tone curves: 768 bytes, red, green and blue.
Bytes HostToneCurves();

// Halftone resources.
Bytes ResourceIdList(const std::vector<uint16_t> &ids);
Bytes GridResource(const std::vector<uint8_t> &positions);
std::vector<uint8_t> UniformGrid();   // 0, 8, ..., 240, 255
std::vector<uint8_t> StretchedGrid(); // denser towards the dark end
// A threshold matrix: every rank 0..width*height-1 once, in an order fixed
// by `seed`. Widths and heights of 256 and 512 use the format's codes.
Bytes ThresholdMatrix(uint32_t width, uint32_t height, uint32_t seed);
Bytes DotPalette(int style);

}  // namespace inkdot::scenario
