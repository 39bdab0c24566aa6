// SPDX-License-Identifier: Apache-2.0
#include "selection_table.h"

#include <stdexcept>

#include "inkdot/formats/selection_table.h"

namespace inkdot::profile {
namespace {

namespace layout = formats::selection_table_layout;

void CheckName(const std::string &name) {
  if (name.empty() || name.size() > layout::kMaxNameLength || name.find_first_of(" \t\r\n/") != std::string::npos) {
    throw std::runtime_error("selection-table name \"" + name + "\" is not usable");
  }
}

void CheckList(const std::vector<std::string> &names, size_t limit, const char *what) {
  if (names.empty() || names.size() > limit) {
    throw std::runtime_error(std::string("selection-table ") + what + " list has a bad length");
  }
  for (const std::string &n : names) CheckName(n);
}

}  // namespace

std::string EncodeSelectionTable(const SelectionTable &table) {
  if (table.lines.empty() || table.lines.size() > static_cast<size_t>(layout::kMaxEntries)) {
    throw std::runtime_error("a selection table holds 1 to 200 lines");
  }
  CheckList(table.methods, layout::kMaxMethodNames, "method");
  CheckList(table.keys, layout::kMaxKeyNames, "key");
  CheckList(table.modes, layout::kMaxModeNames, "mode");
  if (table.keys.front()[0] != layout::kKeyNameLead) {
    throw std::runtime_error("the first key name must begin with P");
  }
  // Version 300 compares the dot mode as well. The line after the version
  // line is a heading that the reader skips.
  formats::write::SelectionTable text;
  text.preamble = "";
  text.version = "300";
  text.title = " " + table.title;
  text.heading = "; table list method key xres yres mode keyno dotmode";
  for (const SelectionLine &l : table.lines) {
    CheckName(l.method);
    CheckName(l.key);
    CheckName(l.mode);
    if (l.colourTableId <= 0) throw std::runtime_error("a selection line needs a positive table id");
    text.entries.push_back({l.colourTableId, l.halftoneListId, l.method, l.key, l.xResolution,
                            l.yResolution, l.mode, l.keyNumber, l.dotMode});
  }
  text.methods = table.methods;
  text.keys = table.keys;
  text.modes = table.modes;
  text.closingLine = "end";
  text.mixedSeparators = false;
  text.endsWithNul = false;
  return formats::write::WriteSelectionTable(text);
}

}  // namespace inkdot::profile
