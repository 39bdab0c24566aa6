/* SPDX-License-Identifier: Apache-2.0 */
// The selection table (text, version 300): one line per combination of
// method, key, resolution, match mode, key number and dot mode, naming the
// colour-table resource and the halftone resource-id list to use.
#pragma once

#include <string>
#include <vector>

namespace inkdot::profile {

struct SelectionLine {
  int colourTableId = 0;
  int halftoneListId = 0;
  std::string method;  // a name of the method list
  std::string key;     // a name of the key list
  int xResolution = 0;
  int yResolution = 0;
  std::string mode;    // a name of the mode list
  int keyNumber = 0;
  int dotMode = 0;
};

struct SelectionTable {
  std::string title;
  std::vector<SelectionLine> lines;     // at most 200
  std::vector<std::string> methods;     // position = method number, at most 12
  std::vector<std::string> keys;        // position = key number (base 0), at most 32
  std::vector<std::string> modes;       // position = match mode, at most 12
};

// The table's text. Throws std::runtime_error when a limit of the format is
// exceeded or a name could not be read back as written (names are at most 11
// characters without blanks; the first key name must begin with P so that
// the key list has base 0).
std::string EncodeSelectionTable(const SelectionTable &table);

}  // namespace inkdot::profile
