// SPDX-License-Identifier: Apache-2.0
#include "colour/selection_table.h"

#include <cstring>

#include "colour/cm_context.h"
#include "frame/memory_blocks.h"
#include "inkdot/formats/selection_table_layout.h"

namespace inkdot {

namespace {

// Limits of the format. A table beyond them is refused as if no line had
// matched; nothing past them is ever written.
namespace layout = formats::selection_table_layout;
constexpr int32_t kMaxEntries = layout::kMaxEntries;
constexpr uint32_t kMaxNameLength = layout::kMaxNameLength;
constexpr int32_t kMaxMethodNames = layout::kMaxMethodNames;
constexpr int32_t kMaxKeyNames = layout::kMaxKeyNames;
constexpr int32_t kMaxModeNames = layout::kMaxModeNames;
constexpr uint32_t kMaxFieldLength = layout::kMaxFieldLength;
constexpr uint32_t kMaxLineLength = layout::kMaxLineLength;

constexpr uint32_t kWorkAreaBytes = 16800;  // 200 entries of 84 bytes
constexpr int16_t kDefaultVersion = layout::kDefaultVersion;
constexpr int16_t kDotModeVersion = layout::kDotModeVersion;  // column 9 is compared from here on

using Name = char[kMaxNameLength + 1];

// One entry line as read; its names resolve once the lists are known.
struct Entry {
  int32_t tableId;       // column 1
  int32_t halftoneId;    // column 2
  int32_t xResolution;   // column 5
  int32_t yResolution;   // column 6
  int32_t keyNumber;     // column 8
  int32_t dotMode;       // column 9
  Name method;           // column 3
  Name key;              // column 4
  Name mode;             // column 7
};
static_assert(sizeof(Entry) * kMaxEntries <= kWorkAreaBytes);

struct NameList {
  Name names[kMaxKeyNames];
  int32_t count;
  int32_t base;
};

struct Field {
  const uint8_t *start;
  uint32_t length;
};

bool EndsText(uint8_t c) { return c == 0 || c == 0x1A; }
bool EndsLine(uint8_t c) { return c == '\r' || c == '\n' || EndsText(c); }
bool Separates(uint8_t c) { return c == ' ' || c == '\t'; }

// Walks the text line by line and field by field. Fields and lines longer
// than the format allows mark the table as refused.
class Scanner {
 public:
  explicit Scanner(const uint8_t *text) : p_(text), lineStart_(text) {}

  bool AtEnd() const { return EndsText(*p_); }
  bool refused() const { return refused_; }
  void Refuse() { refused_ = true; }

  // Skips everything up to and including the first "//"; false when the
  // text ends first.
  bool SkipPastDoubleSlash() {
    for (; !EndsText(*p_); ++p_) {
      if (p_[0] == '/' && p_[1] == '/') {
        p_ += 2;
        return true;
      }
    }
    return false;
  }

  uint8_t Peek() const { return *p_; }

  // The next field of the current line; false at the line's end.
  bool NextField(Field *field) {
    while (Separates(*p_)) ++p_;
    if (EndsLine(*p_)) return false;
    field->start = p_;
    while (!EndsLine(*p_) && !Separates(*p_)) ++p_;
    field->length = static_cast<uint32_t>(p_ - field->start);
    if (field->length > kMaxFieldLength) refused_ = true;
    return true;
  }

  // Skips the rest of the line and the run of line ends after it. Lines are
  // measured once `measureLines` is set (the heading is not).
  void NextLine() {
    while (!EndsLine(*p_)) ++p_;
    if (measureLines_ && static_cast<uint32_t>(p_ - lineStart_) > kMaxLineLength) {
      refused_ = true;
    }
    while (*p_ == '\r' || *p_ == '\n') ++p_;
    lineStart_ = p_;
  }

  void MeasureLinesFromHere() { measureLines_ = true; }

 private:
  const uint8_t *p_;
  const uint8_t *lineStart_;
  bool measureLines_ = false;
  bool refused_ = false;
};

// Every character but "-" adds a decimal digit, unchecked; a "-" anywhere
// negates. Long fields wrap: the sum runs in unsigned 32-bit arithmetic and
// is cast back.
int32_t ParseInteger(const Field &field) {
  uint32_t value = 0;
  bool negative = false;
  for (uint32_t n = 0; n < field.length; ++n) {
    const uint8_t c = field.start[n];
    if (c == '-') {
      negative = true;
    } else {
      value = value * 10u + (static_cast<uint32_t>(c) - static_cast<uint32_t>('0'));
    }
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

// Copies a name field; false (nothing copied) when it is too long.
bool CopyName(const Field &field, Name name) {
  if (field.length > kMaxNameLength) return false;
  std::memcpy(name, field.start, field.length);
  name[field.length] = '\0';
  return true;
}

// Reads the fields of one list line into `list` (up to `limit` names);
// false when a name is too long or the list too full.
bool ReadNames(Scanner &scanner, NameList *list, int32_t limit, bool firstField,
               Field first) {
  Field field = first;
  bool have = firstField || scanner.NextField(&field);
  while (have) {
    if (list->count == limit) return false;
    if (!CopyName(field, list->names[list->count])) return false;
    ++list->count;
    have = scanner.NextField(&field);
  }
  scanner.NextLine();
  return true;
}

// Position of `name` in the list (the later one for duplicates), plus the
// list's base; 0 when the name is missing, whatever the base.
int32_t Resolve(const NameList &list, const Name name) {
  for (int32_t n = list.count - 1; n >= 0; --n) {
    if (std::strcmp(list.names[n], name) == 0) return list.base + n;
  }
  return 0;
}

// Reads one entry line; false when a name is too long.
bool ReadEntry(Scanner &scanner, const Field &first, Entry *entry) {
  Field field = first;
  bool have = true;
  for (int column = 1; column <= 9 && have; ++column) {
    switch (column) {
      case 1: entry->tableId = ParseInteger(field); break;
      case 2: entry->halftoneId = ParseInteger(field); break;
      case 3: if (!CopyName(field, entry->method)) return false; break;
      case 4: if (!CopyName(field, entry->key)) return false; break;
      case 5: entry->xResolution = ParseInteger(field); break;
      case 6: entry->yResolution = ParseInteger(field); break;
      case 7: if (!CopyName(field, entry->mode)) return false; break;
      case 8: entry->keyNumber = ParseInteger(field); break;
      case 9: entry->dotMode = ParseInteger(field); break;
    }
    if (column < 9) have = scanner.NextField(&field);
  }
  scanner.NextLine();  // anything after column 9 is ignored
  return true;
}

struct ParsedTable {
  int32_t entryCount;
  NameList methods;
  NameList keys;
  NameList modes;
};

// Parses the text into `entries` and `table`; false when the table is
// refused. The version is stored in the object as soon as it is known.
bool ParseTable(CmContext *cm, const uint8_t *text, Entry *entries,
                ParsedTable *table) {
  Scanner scanner(text);
  if (!scanner.SkipPastDoubleSlash()) return false;

  cm->tableVersion = kDefaultVersion;
  if (scanner.Peek() == '3') {
    Field version;
    scanner.NextField(&version);
    cm->tableVersion = static_cast<int16_t>(ParseInteger(version));
  }
  scanner.NextLine();  // the rest of the "//" line
  scanner.NextLine();  // the heading line
  scanner.MeasureLinesFromHere();

  // Entry lines, up to a line whose first field begins with "/".
  table->entryCount = 0;
  while (!scanner.AtEnd()) {
    Field first{nullptr, 0};
    const bool hasField = scanner.NextField(&first);
    if (hasField && first.start[0] == '/') {
      scanner.NextLine();
      break;
    }
    if (table->entryCount == kMaxEntries) return false;
    Entry *entry = &entries[table->entryCount++];
    if (!ReadEntry(scanner, first, entry)) return false;
  }

  // The method list, then the key list (led by its base unless its first
  // field is a name beginning with P), then the mode list.
  if (!ReadNames(scanner, &table->methods, kMaxMethodNames, false, {})) return false;
  Field first{nullptr, 0};
  bool hasFirst = scanner.NextField(&first);
  if (hasFirst && first.start[0] != layout::kKeyNameLead) {
    table->keys.base = ParseInteger(first);
    hasFirst = false;
  }
  if (!ReadNames(scanner, &table->keys, kMaxKeyNames, hasFirst, first)) return false;
  if (!ReadNames(scanner, &table->modes, kMaxModeNames, false, {})) return false;
  // One more field follows; it carries nothing we use.
  Field last;
  scanner.NextField(&last);
  return !scanner.refused();
}

bool Matches(const CmContext *cm, const ParsedTable &table, const Entry &entry) {
  const CmParams &params = cm->params;
  const HalftoneParams &page = cm->page;
  if (Resolve(table.methods, entry.method) != static_cast<int32_t>(page.method)) return false;
  if (Resolve(table.keys, entry.key) != params.tableKeyName) return false;
  if (entry.xResolution != static_cast<int32_t>(page.xResolution)) return false;
  if (entry.yResolution != static_cast<int32_t>(page.yResolution)) return false;
  if (Resolve(table.modes, entry.mode) != cm->matchMode) return false;
  if (entry.keyNumber != params.tableKeyNumber) return false;
  if (cm->tableVersion >= kDotModeVersion &&
      entry.dotMode != static_cast<int32_t>(page.dotMode)) {
    return false;
  }
  return true;
}

}  // namespace

int32_t SelectTableLine(CmContext *cm, const uint8_t *text) {
  uintptr_t handle = 0;
  void *memory = nullptr;
  if (MemAcquire(kWorkAreaBytes, 1, &handle, &memory) != kOk) return -1;
  Entry *entries = static_cast<Entry *>(memory);

  ParsedTable table{};
  int32_t selected = 0;
  if (ParseTable(cm, text, entries, &table)) {
    for (int32_t n = 0; n < table.entryCount; ++n) {
      const Entry &entry = entries[n];
      if (!Matches(cm, table, entry)) continue;
      cm->matchedId = entry.tableId;
      cm->matchedNext = entry.halftoneId == 0 ? -1 : entry.halftoneId;
      selected = entry.tableId;
    }
  }

  MemDiscard(handle);
  return selected;
}

}  // namespace inkdot
