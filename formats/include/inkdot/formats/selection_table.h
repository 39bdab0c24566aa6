/* SPDX-License-Identifier: Apache-2.0 */
// The selection table (text): its writer, and its validator that decodes
// what the engine's scanner will read, refusing whatever would break the
// scanner's fixed limits.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "inkdot/formats/selection_table_layout.h"

namespace inkdot::formats {

// ---- Writing -------------------------------------------------------------

namespace write {

// One entry line, in column order.
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

// The reader is liberal about everything around the fields (the text
// before "//", the rest of the version line, the heading, the separators,
// the closing line), so the table says how to write each.
struct SelectionTable {
  std::string preamble = "Colour table selection ";  // text before the "//"
  std::string version = "300";  // written right after the "//"; may be empty
  std::string title = " selection";  // the rest of the version line
  std::string heading = "id next method key x y mode key dot";
  std::vector<SelectionEntry> entries;
  std::vector<std::string> methods;
  // Written before the key names when set; without it the first key name
  // must begin with P, or it would be read as the base.
  std::optional<int32_t> keyBase;
  std::vector<std::string> keys;
  std::vector<std::string> modes;
  std::string closingLine = "0";  // the field after the lists, read and unused
  std::string lineEnd = "\r\n";
  bool mixedSeparators = true;  // tab and space in turn; else spaces only
  bool endsWithNul = true;
};

std::string WriteSelectionTable(const SelectionTable &table);

}  // namespace write

// ---- Validating ----------------------------------------------------------

struct SelectionEntry {
  int32_t tableId = 0;
  int32_t halftoneId = 0;
  std::string method;
  std::string key;
  int32_t xResolution = 0;
  int32_t yResolution = 0;
  std::string mode;
  int32_t keyNumber = 0;
  int32_t dotMode = 0;
  uint64_t offset = 0;  // byte offset of the line
};

struct SelectionTable {
  int32_t version = selection_table_layout::kDefaultVersion;
  std::vector<SelectionEntry> entries;
  std::vector<std::string> methods;
  int32_t keyBase = 0;
  std::vector<std::string> keys;
  std::vector<std::string> modes;
};

// Throws FormatError.
SelectionTable ValidateSelectionTable(std::span<const uint8_t> bytes);

// Position of `name` in `list` as the engine resolves it: the last equal
// entry counts, a missing name resolves to 0.
int32_t ResolveName(const std::vector<std::string> &list, const std::string &name);

}  // namespace inkdot::formats
