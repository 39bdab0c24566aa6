// SPDX-License-Identifier: Apache-2.0
// The selection table: a text table whose scanner has fixed limits
// (entries, name and line lengths, list sizes). The writer lays it out from
// meaningful values; the validator reads it as the engine's scanner does,
// which scans up to a NUL or 0x1A (the host always hands it the text
// followed by a NUL), and refuses what the scanner cannot hold.
#include "inkdot/formats/selection_table.h"

#include "byte_fields.h"

namespace inkdot::formats {

namespace layout = selection_table_layout;

namespace write {

namespace {

std::string JoinLine(const std::vector<std::string> &fields, bool mixed, const std::string &end) {
  std::string line;
  for (size_t n = 0; n < fields.size(); ++n) {
    if (n != 0) line += mixed && n % 2 ? "\t" : " ";
    line += fields[n];
  }
  return line + end;
}

}  // namespace

std::string WriteSelectionTable(const SelectionTable &table) {
  const std::string &end = table.lineEnd;
  const bool mixed = table.mixedSeparators;
  std::string text = table.preamble + "//" + table.version + table.title + end;
  text += table.heading + end;
  for (const SelectionEntry &e : table.entries) {
    text += JoinLine({std::to_string(e.tableId), std::to_string(e.halftoneId), e.method,
                      e.key, std::to_string(e.xResolution), std::to_string(e.yResolution),
                      e.mode, std::to_string(e.keyNumber), std::to_string(e.dotMode)},
                     mixed, end);
  }
  text += "/end" + end;
  text += JoinLine(table.methods, mixed, end);
  std::vector<std::string> keyLine;
  if (table.keyBase) keyLine.push_back(std::to_string(*table.keyBase));
  keyLine.insert(keyLine.end(), table.keys.begin(), table.keys.end());
  text += JoinLine(keyLine, mixed, end);
  text += JoinLine(table.modes, mixed, end);
  text += table.closingLine + end;
  if (table.endsWithNul) text.push_back('\0');
  return text;
}

}  // namespace write

namespace {

using detail::Refuse;

bool IsLineEnd(uint8_t c) { return c == '\r' || c == '\n'; }
bool IsBlank(uint8_t c) { return c == ' ' || c == '\t'; }

struct Field {
  std::string text;
  uint64_t offset = 0;
};

struct Line {
  std::vector<Field> fields;
  uint64_t offset = 0;
};

class Scanner {
 public:
  explicit Scanner(std::span<const uint8_t> text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  uint64_t Position() const { return pos_; }
  void Seek(size_t pos) { pos_ = pos; }

  // Reads one line (the separators after it included) and splits it.
  Line ReadLine() {
    Line line;
    line.offset = pos_;
    size_t start = pos_;
    while (pos_ < text_.size() && !IsLineEnd(text_[pos_])) ++pos_;
    if (pos_ - start > static_cast<size_t>(layout::kMaxLineLength)) {
      Refuse("line", start,
             "is " + std::to_string(pos_ - start) + " characters long; at most " +
                 std::to_string(layout::kMaxLineLength) + " are allowed");
    }
    size_t i = start;
    while (i < pos_) {
      while (i < pos_ && IsBlank(text_[i])) ++i;
      if (i >= pos_) break;
      Field field;
      field.offset = i;
      while (i < pos_ && !IsBlank(text_[i])) field.text.push_back(static_cast<char>(text_[i++]));
      line.fields.push_back(std::move(field));
    }
    while (pos_ < text_.size() && IsLineEnd(text_[pos_])) ++pos_;
    return line;
  }

 private:
  std::span<const uint8_t> text_;
  size_t pos_ = 0;
};

int32_t ParseInteger(const Field &field, const std::string &name) {
  if (field.text.empty()) return 0;
  size_t i = 0;
  bool negative = false;
  if (field.text[0] == '-') {
    negative = true;
    i = 1;
  }
  if (i == field.text.size()) Refuse(name, field.offset, "\"-\" is not a number");
  int64_t value = 0;
  for (; i < field.text.size(); ++i) {
    char c = field.text[i];
    if (c < '0' || c > '9') {
      Refuse(name, field.offset, "\"" + field.text + "\" is not a whole number");
    }
    value = value * 10 + (c - '0');
    if (value > INT32_MAX) Refuse(name, field.offset, "\"" + field.text + "\" is too large");
  }
  return static_cast<int32_t>(negative ? -value : value);
}

std::string ParseName(const Field &field, const std::string &name) {
  if (field.text.size() > static_cast<size_t>(layout::kMaxNameLength)) {
    Refuse(name, field.offset,
           "\"" + field.text + "\" is longer than " + std::to_string(layout::kMaxNameLength) +
               " characters");
  }
  return field.text;
}

std::vector<std::string> ParseNameList(const Line &line, size_t first, size_t limit,
                                       const std::string &name) {
  std::vector<std::string> names;
  for (size_t i = first; i < line.fields.size(); ++i) {
    if (names.size() == limit) {
      Refuse(name, line.fields[i].offset,
             "holds more than " + std::to_string(limit) + " names");
    }
    names.push_back(ParseName(line.fields[i], name));
  }
  return names;
}

Line RequireLine(Scanner &scanner, const std::string &name) {
  if (scanner.AtEnd()) Refuse(name, scanner.Position(), "is missing: the text ends first");
  return scanner.ReadLine();
}

}  // namespace

int32_t ResolveName(const std::vector<std::string> &list, const std::string &name) {
  int32_t position = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] == name) position = static_cast<int32_t>(i);
  }
  return position;
}

SelectionTable ValidateSelectionTable(std::span<const uint8_t> bytes) {
  // The text ends at the first NUL or 0x1A.
  size_t length = bytes.size();
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == 0 || bytes[i] == 0x1A) {
      length = i;
      break;
    }
  }
  std::span<const uint8_t> text = bytes.first(length);

  size_t marker = length;
  for (size_t i = 0; i + 1 < length; ++i) {
    if (text[i] == '/' && text[i + 1] == '/') {
      marker = i;
      break;
    }
  }
  if (marker == length) Refuse("version marker", length, "no \"//\" in the text");

  SelectionTable table;
  Scanner scanner(text);
  scanner.Seek(marker + 2);
  Line versionLine = scanner.ReadLine();
  if (marker + 2 < length && text[marker + 2] == '3') {
    Field version{"", marker + 2};
    if (!versionLine.fields.empty() && versionLine.fields[0].offset == marker + 2) {
      version = versionLine.fields[0];
    }
    table.version = ParseInteger(version, "version");
  }
  RequireLine(scanner, "heading line");

  while (true) {
    Line line = RequireLine(scanner, "end-of-entries line (a line starting with \"/\")");
    if (!line.fields.empty() && line.fields[0].text[0] == '/') break;
    if (table.entries.size() == static_cast<size_t>(layout::kMaxEntries)) {
      Refuse("entries", line.offset,
             "more than " + std::to_string(layout::kMaxEntries) + " entry lines");
    }
    auto field = [&](size_t column) {
      return column - 1 < line.fields.size() ? line.fields[column - 1] : Field{"", line.offset};
    };
    SelectionEntry entry;
    entry.offset = line.offset;
    entry.tableId = ParseInteger(field(1), "colour table id (column 1)");
    entry.halftoneId = ParseInteger(field(2), "halftone id (column 2)");
    entry.method = ParseName(field(3), "method name (column 3)");
    entry.key = ParseName(field(4), "key name (column 4)");
    entry.xResolution = ParseInteger(field(5), "x resolution (column 5)");
    entry.yResolution = ParseInteger(field(6), "y resolution (column 6)");
    entry.mode = ParseName(field(7), "mode name (column 7)");
    entry.keyNumber = ParseInteger(field(8), "key number (column 8)");
    entry.dotMode = ParseInteger(field(9), "dot mode (column 9)");
    table.entries.push_back(std::move(entry));
  }

  Line methods = RequireLine(scanner, "method list");
  table.methods = ParseNameList(methods, 0, layout::kMaxMethodNames, "method list");

  Line keys = RequireLine(scanner, "key list");
  size_t firstKey = 0;
  if (!keys.fields.empty() && keys.fields[0].text[0] != layout::kKeyNameLead) {
    table.keyBase = ParseInteger(keys.fields[0], "key list base");
    firstKey = 1;
  }
  table.keys = ParseNameList(keys, firstKey, layout::kMaxKeyNames, "key list");

  Line modes = RequireLine(scanner, "mode list");
  table.modes = ParseNameList(modes, 0, layout::kMaxModeNames, "mode list");

  // The field after the lists is read and not used; any lines after it must
  // still respect the scanner's line limit.
  while (!scanner.AtEnd()) scanner.ReadLine();
  return table;
}

}  // namespace inkdot::formats
