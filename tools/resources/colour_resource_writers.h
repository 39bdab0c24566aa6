/* SPDX-License-Identifier: Apache-2.0 */
// Writers of the colour resources that a host hands to the colour-matching
// object: the selection table (text) and the colour-table resource (bytes).
// Each writer lays its format out field by field, so that authoring tools and
// tests build resources from meaningful values instead of raw bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace inkdot::resources {

// One entry line of a selection table, in column order.
struct SelectionEntry {
  int32_t tableId = 0;      // colour-table resource id
  int32_t halftoneId = 0;   // first halftone resource id (0 reads as "none")
  std::string method;       // a name of the method list
  std::string key;          // a name of the key list
  int32_t xResolution = 0;
  int32_t yResolution = 0;
  std::string mode;         // a name of the mode list
  int32_t keyNumber = 0;
  int32_t dotMode = 0;      // read only from version 300 on
};

struct SelectionTable {
  std::string preamble = "Colour table selection ";  // text before the "//"
  std::string version = "300";  // written right after the "//"; may be empty
  std::string heading = "id next method key x y mode key dot";
  std::vector<SelectionEntry> entries;
  std::vector<std::string> methods;
  // Written before the key names when set; without it the first key name
  // must begin with P, or it would be read as the base.
  std::optional<int32_t> keyBase;
  std::vector<std::string> keys;
  std::vector<std::string> modes;
  std::string lineEnd = "\r\n";
};

// The table as text, ending with a NUL byte.
std::string WriteSelectionTable(const SelectionTable &table);

// A colour-table resource. Format 128 has a fourth input axis; format 50
// carries a grey block after the neutral black values.
struct ColourTable {
  uint8_t format = 0;
  uint8_t kind = 0;
  uint8_t dominantReduction[3] = {0, 0, 0};
  int8_t hueShift[3] = {0, 0, 0};
  int8_t saturationBoost = 0;
  int8_t pairReduction[3] = {0, 0, 0};
  int16_t inkLoadLight = 100;
  int16_t inkLoadDark = 100;
  int16_t inkParams[3] = {0, 0, 0};
  int16_t levelParams[4] = {0, 0, 0, 0};
  uint8_t channelCount = 4;
  std::vector<uint8_t> nodes1, nodes2, nodes3;
  std::vector<uint8_t> nodes4;        // format 128 only
  std::vector<uint8_t> grid;          // channelCount bytes per node, last axis innermost
  std::vector<uint8_t> neutralBlack;  // one per step of the grey diagonal
  std::vector<uint8_t> greyBlock;     // format 50 only: channelCount per step
  std::vector<uint8_t> selector;      // the auxiliary record; empty = none
};

// The resource's bytes. Grid sizes are taken from the node lists.
std::vector<uint8_t> WriteColourTable(const ColourTable &table);

// Node positions 0..255 spread evenly over `count` nodes (count >= 2).
std::vector<uint8_t> EvenNodes(int count);

}  // namespace inkdot::resources
