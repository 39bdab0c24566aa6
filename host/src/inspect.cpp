// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/inspect.h"

#include <iomanip>

#include "inkdot/host/errors.h"

namespace inkdot::host {

namespace {

std::string Join(const std::vector<std::string> &names) {
  std::string text;
  for (const auto &name : names) text += (text.empty() ? "" : " ") + name;
  return text;
}

std::string Bytes(const std::vector<uint8_t> &values) {
  std::string text;
  for (uint8_t v : values) {
    if (!text.empty()) text += ' ';
    text += std::to_string(v);
  }
  return text;
}

void DescribeSelection(std::ostream &out, const SelectionTable &t) {
  out << "  selection table, version " << t.version << ", " << t.entries.size() << " entries\n";
  out << "  methods: " << Join(t.methods) << "\n";
  out << "  keys (base " << t.keyBase << "): " << Join(t.keys) << "\n";
  out << "  modes: " << Join(t.modes) << "\n";
  out << "  table  halftone  method(#)  key(#)  resolution  mode(#)  keyNumber  dotMode\n";
  for (const SelectionEntry &e : t.entries) {
    out << "  " << std::setw(5) << e.tableId << "  " << std::setw(8) << e.halftoneId << "  "
        << e.method << "(" << ResolveName(t.methods, e.method) << ")  " << e.key << "("
        << t.keyBase + ResolveName(t.keys, e.key) << ")  " << e.xResolution << "x"
        << e.yResolution << "  " << e.mode << "(" << ResolveName(t.modes, e.mode) << ")  "
        << e.keyNumber << "  " << e.dotMode << "\n";
  }
}

void DescribeSelector(std::ostream &out, const SelectorRecord &s) {
  out << "  selector record: type " << s.type << ", length " << s.length;
  if (s.type == 1) {
    out << ", palette " << s.colourPaletteId << "\n";
  } else {
    out << ", colour palette " << s.colourPaletteId << " (alternate " << s.colourAltSelector
        << "), grey palette " << s.greyPaletteId << " (alternate " << s.greyAltSelector << ")\n";
  }
}

void DescribeColourTable(std::ostream &out, const ColourTable &t, std::span<const uint8_t> b) {
  out << "  colour table, format " << int(t.format)
      << (t.format == 128 ? " (four inputs)" : t.format == 50 ? " (with grey block)" : "")
      << ", kind " << int(t.kind) << "\n";
  out << "  grid " << t.gridSize << "^" << (t.format == 128 ? 4 : 3) << ", " << t.channels
      << " channels, table at byte " << t.tableOffset << " (" << t.tableBytes << " bytes)\n";
  out << "  nodes: " << Bytes(t.nodes1) << "\n";
  out << "  ink load: light " << t.inkLoadLight << ", dark " << t.inkLoadDark << "\n";
  std::vector<uint8_t> black(b.begin() + t.blackOffset, b.begin() + t.blackOffset + t.gridSize);
  out << "  neutral black values: " << Bytes(black) << "\n";
  if (t.selector) DescribeSelector(out, *t.selector);
  else out << "  no selector record\n";
}

}  // namespace

bool DescribeResource(std::ostream &out, ResourceKind kind, std::span<const uint8_t> bytes,
                      const ResourceRef &ref, uint32_t channels, uint32_t curvesNeeded) {
  out << ref.file << " (resource " << ref.id << ", " << KindName(kind) << ", " << bytes.size()
      << " bytes)\n";
  try {
    switch (kind) {
      case ResourceKind::kSelectionTable:
        DescribeSelection(out, ValidateSelectionTable(bytes, ref));
        break;
      case ResourceKind::kColourTable:
        DescribeColourTable(out, ValidateColourTable(bytes, ref), bytes);
        break;
      case ResourceKind::kChannelMap:
        for (const auto &record : ValidateChannelMap(bytes, channels, ref)) {
          out << "  head " << int(record.headId) << ": planes " << Bytes(record.planes) << "\n";
        }
        break;
      case ResourceKind::kReferenceValues: {
        ReferenceValues values = ValidateReferenceValues(bytes, channels, ref);
        out << "  reference mode " << values.mode << " (stored " << values.storedMode
            << "), values " << Bytes(values.values) << "\n";
        break;
      }
      case ResourceKind::kCalibrationCurves:
        out << "  " << ValidateCalibrationCurves(bytes, curvesNeeded, ref) << " curves\n";
        break;
      case ResourceKind::kIdList: {
        std::string ids;
        for (uint16_t id : ValidateIdList(bytes, ref)) {
          ids += ' ';
          ids += std::to_string(id);
        }
        out << "  ids:" << ids << "\n";
        break;
      }
      case ResourceKind::kGrid:
        out << "  32 grid positions: " << Bytes(ValidateGrid(bytes, ref)) << "\n";
        break;
      case ResourceKind::kMatrix: {
        ThresholdMatrix m = ValidateMatrix(bytes, ref);
        out << "  threshold matrix " << m.width << " x " << m.height << ", thresholds "
            << m.minThreshold << ".." << m.maxThreshold << ", rank check: "
            << (m.isPermutation ? "every rank once" : "ranks repeat or are missing") << "\n";
        break;
      }
      case ResourceKind::kPalette: {
        std::vector<PaletteEntry> palette = ValidatePalette(bytes, ref);
        int highest = 0;
        for (const auto &e : palette) highest = std::max(highest, e.small + e.medium + e.large);
        out << "  dot palette, largest entry sum " << highest << "\n";
        for (int p : {0, 64, 128, 192, 255}) {
          const auto &e = palette[p];
          out << "  level " << p << ": small " << int(e.small) << ", medium " << int(e.medium)
              << ", large " << int(e.large) << ", sum " << e.small + e.medium + e.large << "\n";
        }
        break;
      }
    }
  } catch (const ValidationError &e) {
    out << "  INVALID: " << e.what() << "\n";
    return false;
  }
  out << "  valid\n";
  return true;
}

bool DescribeProfile(std::ostream &out, const std::filesystem::path &dir) {
  Profile profile = LoadManifest(dir);
  out << "profile " << profile.name << ": " << profile.description << "\n";
  out << "inks:";
  for (const Ink &ink : profile.inks) out << " " << ink.name;
  out << "\nresolutions:";
  for (const auto &[x, y] : profile.resolutions) out << " " << x << "x" << y;
  out << "\ndot modes:";
  for (uint32_t mode : profile.dotModes) out << " " << mode;
  out << "\nmethods:";
  for (const auto &[name, choice] : profile.methods) {
    out << " " << name << "=" << choice.method;
    if (choice.variant != 0) out << "/" << choice.variant;
  }
  out << "\n\n";
  const uint32_t channels = static_cast<uint32_t>(profile.inks.size());
  uint32_t curvesNeeded = CurvesForMode(1);
  std::map<int32_t, std::vector<uint8_t>> contents;
  for (const auto *list : {&profile.colourResources, &profile.halftoneResources}) {
    for (const auto &[id, resource] : *list) {
      try {
        contents[id + (list == &profile.halftoneResources ? 0x10000000 : 0)] =
            ReadFileBytes(dir / resource.file);
      } catch (const Error &) {
      }
    }
  }
  for (const auto &[id, resource] : profile.colourResources) {
    if (resource.kind != ResourceKind::kReferenceValues || !contents.count(id)) continue;
    try {
      curvesNeeded = std::max(
          curvesNeeded, CurvesForMode(ValidateReferenceValues(contents[id], channels, {}).mode));
    } catch (const ValidationError &) {
    }
  }
  bool valid = true;
  for (const auto *list : {&profile.colourResources, &profile.halftoneResources}) {
    for (const auto &[id, resource] : *list) {
      const int32_t key = id + (list == &profile.halftoneResources ? 0x10000000 : 0);
      ResourceRef ref{(dir / resource.file).string(), id};
      if (!contents.count(key)) {
        out << ref.file << " (resource " << id << "): INVALID: cannot read the file\n\n";
        valid = false;
        continue;
      }
      valid &= DescribeResource(out, resource.kind, contents[key], ref, channels, curvesNeeded);
      out << "\n";
    }
  }
  // The verdict is the loader's own, the one printing runs, so that a
  // profile called valid here always prints; it also checks what no single
  // resource shows (a colour table's channels against the inks).
  if (valid) {
    try {
      LoadProfile(dir);
    } catch (const Error &e) {
      out << "INVALID: " << e.what() << "\n";
      valid = false;
    }
  }
  out << (valid ? "profile valid\n" : "profile INVALID\n");
  return valid;
}

std::optional<ResourceKind> GuessResourceKind(const std::filesystem::path &file, int32_t *id,
                                              uint32_t *channels) {
  *id = 0;
  *channels = 4;
  const std::filesystem::path absolute = std::filesystem::absolute(file).lexically_normal();
  for (auto dir = absolute.parent_path(); !dir.empty(); dir = dir.parent_path()) {
    if (std::filesystem::exists(dir / "profile.json")) {
      try {
        Profile profile = LoadManifest(dir);
        *channels = static_cast<uint32_t>(profile.inks.size());
        for (const auto *list : {&profile.colourResources, &profile.halftoneResources}) {
          for (const auto &[rid, resource] : *list) {
            if ((dir / resource.file).lexically_normal() == absolute) {
              *id = rid;
              return resource.kind;
            }
          }
        }
      } catch (const Error &) {
      }
      break;
    }
    if (dir == dir.parent_path()) break;
  }
  static const std::pair<const char *, ResourceKind> kExtensions[] = {
      {".txt", ResourceKind::kSelectionTable}, {".ctb", ResourceKind::kColourTable},
      {".map", ResourceKind::kChannelMap},     {".ref", ResourceKind::kReferenceValues},
      {".crv", ResourceKind::kCalibrationCurves}, {".ids", ResourceKind::kIdList},
      {".grid", ResourceKind::kGrid},          {".mtx", ResourceKind::kMatrix},
      {".pal", ResourceKind::kPalette},
  };
  const std::string extension = file.extension().string();
  for (const auto &[ext, kind] : kExtensions) {
    if (extension == ext) return kind;
  }
  return std::nullopt;
}

}  // namespace inkdot::host
