// SPDX-License-Identifier: Apache-2.0
#include "selection_table.h"

#include <stdexcept>

namespace inkdot::profile {
namespace {

void CheckName(const std::string &name) {
  if (name.empty() || name.size() > 11 || name.find_first_of(" \t\r\n/") != std::string::npos) {
    throw std::runtime_error("selection-table name \"" + name + "\" is not usable");
  }
}

void CheckList(const std::vector<std::string> &names, size_t limit, const char *what) {
  if (names.empty() || names.size() > limit) {
    throw std::runtime_error(std::string("selection-table ") + what + " list has a bad length");
  }
  for (const std::string &n : names) CheckName(n);
}

std::string Joined(const std::vector<std::string> &names) {
  std::string out;
  for (const std::string &n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}

}  // namespace

std::string EncodeSelectionTable(const SelectionTable &table) {
  if (table.lines.empty() || table.lines.size() > 200) {
    throw std::runtime_error("a selection table holds 1 to 200 lines");
  }
  CheckList(table.methods, 12, "method");
  CheckList(table.keys, 32, "key");
  CheckList(table.modes, 12, "mode");
  if (table.keys.front()[0] != 'P') throw std::runtime_error("the first key name must begin with P");
  // Version 300 compares the dot mode as well. The line after the version
  // line is a heading that the reader skips.
  std::string text = "//300 " + table.title + "\r\n";
  text += "; table list method key xres yres mode keyno dotmode\r\n";
  for (const SelectionLine &l : table.lines) {
    CheckName(l.method);
    CheckName(l.key);
    CheckName(l.mode);
    if (l.colourTableId <= 0) throw std::runtime_error("a selection line needs a positive table id");
    text += std::to_string(l.colourTableId) + " " + std::to_string(l.halftoneListId) + " " +
            l.method + " " + l.key + " " + std::to_string(l.xResolution) + " " +
            std::to_string(l.yResolution) + " " + l.mode + " " + std::to_string(l.keyNumber) +
            " " + std::to_string(l.dotMode) + "\r\n";
  }
  text += "/end\r\n";
  text += Joined(table.methods) + "\r\n";
  text += Joined(table.keys) + "\r\n";
  text += Joined(table.modes) + "\r\n";
  text += "end\r\n";
  return text;
}

}  // namespace inkdot::profile
