// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/profile.h"

#include <climits>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "inkdot/host/errors.h"
#include "inkdot/host/limits.h"
#include "inkdot/host/printer_model_json.h"
#include "inkdot/host/system_errors.h"

namespace inkdot::host {

namespace {

using nlohmann::json;

constexpr int kManifestFormat = 1;

struct KindEntry {
  ResourceKind kind;
  const char *name;
};

constexpr KindEntry kKinds[] = {
    {ResourceKind::kSelectionTable, "selectionTable"},
    {ResourceKind::kColourTable, "colourTable"},
    {ResourceKind::kChannelMap, "channelMap"},
    {ResourceKind::kReferenceValues, "referenceValues"},
    {ResourceKind::kCalibrationCurves, "calibrationCurves"},
    {ResourceKind::kIdList, "idList"},
    {ResourceKind::kGrid, "grid"},
    {ResourceKind::kMatrix, "matrix"},
    {ResourceKind::kPalette, "palette"},
};

[[noreturn]] void ManifestError(const std::filesystem::path &manifest, const std::string &what) {
  throw Error(manifest.string() + ": " + what);
}

// Typed access to a manifest member, with a message naming it.
template <typename T>
T Member(const json &object, const char *key, const std::filesystem::path &manifest,
         const std::string &where) {
  if (!object.is_object() || !object.contains(key)) {
    ManifestError(manifest, where + "\"" + key + "\" is missing");
  }
  try {
    return object.at(key).get<T>();
  } catch (const json::exception &) {
    ManifestError(manifest, where + "\"" + key + "\" has the wrong type");
  }
}

// The ranges of the manifest's numbers.
constexpr int64_t kInt32Min = INT32_MIN;
constexpr int64_t kInt32Max = INT32_MAX;
constexpr int64_t kMaxResolution = 100000;
constexpr int64_t kMaxDotMode = 2;
constexpr int64_t kMaxMethod = 3;
constexpr int64_t kMaxVariant = 3;
constexpr int64_t kMaxHeadId = 253;

// A JSON value that must be an integer in min..max: a fraction, a number
// written with an exponent or out of range, a negative number where only
// positive ones are meant, fail naming `name`, the value and the range.
int64_t IntegerValue(const json &value, const std::string &name, int64_t min, int64_t max,
                     const std::filesystem::path &manifest) {
  const std::string range = std::to_string(min) + ".." + std::to_string(max);
  int64_t number = 0;
  bool inRange = false;
  if (value.is_number_unsigned()) {
    const uint64_t unsignedValue = value.get<uint64_t>();
    inRange = unsignedValue <= static_cast<uint64_t>(max);
    number = inRange ? static_cast<int64_t>(unsignedValue) : 0;
  } else if (value.is_number_integer()) {
    number = value.get<int64_t>();
    inRange = true;
  } else {
    ManifestError(manifest, "\"" + name + "\" is " + value.dump() + "; it must be an integer in " +
                                range);
  }
  if (!inRange || number < min || number > max) {
    ManifestError(manifest, "\"" + name + "\" is " + value.dump() + "; it must lie in " + range);
  }
  return number;
}

int64_t Integer(const json &object, const char *key, const std::filesystem::path &manifest,
                const std::string &where, int64_t min, int64_t max) {
  const std::string missing = where.empty() ? "" : where.substr(0, where.size() - 1) + ": ";
  const json value = Member<json>(object, key, manifest, missing);
  return IntegerValue(value, where + key, min, max, manifest);
}

bool IsColourKind(ResourceKind kind) {
  switch (kind) {
    case ResourceKind::kSelectionTable:
    case ResourceKind::kColourTable:
    case ResourceKind::kChannelMap:
    case ResourceKind::kReferenceValues:
    case ResourceKind::kCalibrationCurves:
      return true;
    default:
      return false;
  }
}

std::map<int32_t, Resource> ReadResourceList(const json &root, const char *key, bool colour,
                                             const std::filesystem::path &manifest) {
  std::map<int32_t, Resource> resources;
  json list = Member<json>(root, key, manifest, "");
  if (!list.is_array()) ManifestError(manifest, std::string("\"") + key + "\" is not a list");
  for (size_t i = 0; i < list.size(); ++i) {
    std::string where = std::string(key) + "[" + std::to_string(i) + "]: ";
    Resource resource;
    resource.id = static_cast<int32_t>(
        Integer(list[i], "id", manifest, std::string(key) + "[" + std::to_string(i) + "].", 0,
                kInt32Max));
    std::string kind = Member<std::string>(list[i], "kind", manifest, where);
    if (!KindFromName(kind, &resource.kind)) {
      ManifestError(manifest, where + "unknown kind \"" + kind + "\"");
    }
    if (IsColourKind(resource.kind) != colour) {
      ManifestError(manifest, where + "kind \"" + kind + "\" does not belong in " + key);
    }
    resource.file = Member<std::string>(list[i], "file", manifest, where);
    if (resources.count(resource.id)) {
      ManifestError(manifest, where + "id " + std::to_string(resource.id) + " appears twice");
    }
    resources.emplace(resource.id, std::move(resource));
  }
  return resources;
}

}  // namespace

const char *KindName(ResourceKind kind) {
  for (const KindEntry &entry : kKinds) {
    if (entry.kind == kind) return entry.name;
  }
  return "unknown";
}

bool KindFromName(const std::string &name, ResourceKind *kind) {
  for (const KindEntry &entry : kKinds) {
    if (name == entry.name) {
      *kind = entry.kind;
      return true;
    }
  }
  return false;
}

bool ParseHexColour(const std::string &text, std::array<uint8_t, 3> *colour) {
  if (text.size() != 7 || text[0] != '#') return false;
  for (int c = 0; c < 3; ++c) {
    unsigned value = 0;
    for (int d = 0; d < 2; ++d) {
      char ch = text[1 + 2 * c + d];
      unsigned digit;
      if (ch >= '0' && ch <= '9') digit = ch - '0';
      else if (ch >= 'a' && ch <= 'f') digit = ch - 'a' + 10;
      else if (ch >= 'A' && ch <= 'F') digit = ch - 'A' + 10;
      else return false;
      value = value * 16 + digit;
    }
    (*colour)[c] = static_cast<uint8_t>(value);
  }
  return true;
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path &path) {
  return ReadCappedFile(path, kMaxResourceBytes, "a resource");
}

Profile LoadManifest(const std::filesystem::path &dir) {
  const std::filesystem::path manifest = dir / "profile.json";
  std::vector<uint8_t> text = ReadCappedFile(manifest, kMaxManifestBytes, "a profile manifest");
  json root;
  try {
    root = json::parse(text.begin(), text.end());
  } catch (const json::exception &e) {
    // Syntax errors, and numbers too large for any type (out_of_range).
    ManifestError(manifest, std::string("not valid JSON: ") + e.what());
  }
  if (!root.is_object()) ManifestError(manifest, "the manifest is not a JSON object");

  Profile profile;
  profile.dir = dir;
  const int64_t format = Integer(root, "format", manifest, "", kInt32Min, kInt32Max);
  if (format != kManifestFormat) {
    ManifestError(manifest, "format " + std::to_string(format) + " is not supported (only " +
                                std::to_string(kManifestFormat) + ")");
  }
  profile.name = Member<std::string>(root, "name", manifest, "");
  if (root.contains("description")) {
    profile.description = Member<std::string>(root, "description", manifest, "");
  }
  json inks = Member<json>(root, "inks", manifest, "");
  if (!inks.is_array() || inks.empty()) ManifestError(manifest, "\"inks\" must be a non-empty list");
  for (size_t i = 0; i < inks.size(); ++i) {
    std::string where = "inks[" + std::to_string(i) + "]: ";
    Ink ink;
    ink.name = Member<std::string>(inks[i], "name", manifest, where);
    std::string colour = Member<std::string>(inks[i], "color", manifest, where);
    if (!ParseHexColour(colour, &ink.colour)) {
      ManifestError(manifest, where + "colour \"" + colour + "\" is not #RRGGBB");
    }
    profile.inks.push_back(std::move(ink));
  }
  const json resolutions = Member<json>(root, "resolutions", manifest, "");
  if (!resolutions.is_array()) ManifestError(manifest, "\"resolutions\" is not a list");
  for (size_t i = 0; i < resolutions.size(); ++i) {
    const json &pair = resolutions[i];
    if (!pair.is_array() || pair.size() != 2) {
      ManifestError(manifest, "every resolution must be a pair [x, y] of positive numbers");
    }
    const std::string name = "resolutions[" + std::to_string(i) + "]";
    profile.resolutions.emplace_back(
        static_cast<uint32_t>(IntegerValue(pair[0], name + "[0]", 1, kMaxResolution, manifest)),
        static_cast<uint32_t>(IntegerValue(pair[1], name + "[1]", 1, kMaxResolution, manifest)));
  }
  const json dotModes = Member<json>(root, "dotModes", manifest, "");
  if (!dotModes.is_array()) ManifestError(manifest, "\"dotModes\" is not a list");
  for (size_t i = 0; i < dotModes.size(); ++i) {
    profile.dotModes.push_back(static_cast<uint32_t>(IntegerValue(
        dotModes[i], "dotModes[" + std::to_string(i) + "]", 0, kMaxDotMode, manifest)));
  }
  json methods = Member<json>(root, "methods", manifest, "");
  if (!methods.is_object()) ManifestError(manifest, "\"methods\" must map names to methods");
  for (const auto &[name, value] : methods.items()) {
    // A method is a number, or {"method": m, "variant": v}.
    const std::string where = "methods." + name + ".";
    MethodChoice choice;
    if (value.is_object()) {
      choice.method = static_cast<uint32_t>(Integer(value, "method", manifest, where, 0, kMaxMethod));
      if (value.contains("variant")) {
        choice.variant =
            static_cast<uint32_t>(Integer(value, "variant", manifest, where, 0, kMaxVariant));
      }
    } else {
      choice.method = static_cast<uint32_t>(
          IntegerValue(value, "methods." + name, 0, kMaxMethod, manifest));
    }
    profile.methods[name] = choice;
  }
  json key = Member<json>(root, "tableKey", manifest, "");
  profile.tableKeyName =
      static_cast<int32_t>(Integer(key, "name", manifest, "tableKey.", kInt32Min, kInt32Max));
  profile.tableKeyNumber =
      static_cast<int32_t>(Integer(key, "number", manifest, "tableKey.", kInt32Min, kInt32Max));
  profile.calibrationHeadId =
      static_cast<uint8_t>(Integer(root, "calibrationHeadId", manifest, "", 0, kMaxHeadId));
  profile.colourResources = ReadResourceList(root, "colourResources", true, manifest);
  profile.halftoneResources = ReadResourceList(root, "halftoneResources", false, manifest);
  if (root.contains("printer")) {
    if (profile.inks.size() != 4) ManifestError(manifest, "\"printer\" describes four inks only");
    try {
      profile.printer = PrinterModelFromJson(root.at("printer"));
    } catch (const std::exception &e) {
      ManifestError(manifest, std::string("printer: ") + e.what());
    }
  }
  return profile;
}

void ValidateResource(ResourceKind kind, std::span<const uint8_t> bytes, const ResourceRef &ref,
                      uint32_t channels, uint32_t curvesNeeded) {
  switch (kind) {
    case ResourceKind::kSelectionTable: ValidateSelectionTable(bytes, ref); break;
    case ResourceKind::kColourTable: ValidateColourTable(bytes, ref); break;
    case ResourceKind::kChannelMap: ValidateChannelMap(bytes, channels, ref); break;
    case ResourceKind::kReferenceValues: ValidateReferenceValues(bytes, channels, ref); break;
    case ResourceKind::kCalibrationCurves:
      ValidateCalibrationCurves(bytes, curvesNeeded, ref);
      break;
    case ResourceKind::kIdList: ValidateIdList(bytes, ref); break;
    case ResourceKind::kGrid: ValidateGrid(bytes, ref); break;
    case ResourceKind::kMatrix: ValidateMatrix(bytes, ref); break;
    case ResourceKind::kPalette: ValidatePalette(bytes, ref); break;
  }
}

Profile LoadProfile(const std::filesystem::path &dir) {
  Profile profile = LoadManifest(dir);
  const uint32_t channels = static_cast<uint32_t>(profile.inks.size());

  auto load = [&](Resource &resource) {
    resource.bytes = ReadFileBytes(dir / resource.file);
    resource.bytes.push_back(0);  // ends a selection table's text for the engine
  };
  for (auto &[id, resource] : profile.colourResources) load(resource);
  for (auto &[id, resource] : profile.halftoneResources) load(resource);

  // Colour tables first: they fix the channel count; reference values fix
  // how many calibration curves are needed.
  uint32_t curvesNeeded = CurvesForMode(1);
  for (auto &[id, resource] : profile.colourResources) {
    ResourceRef ref{(dir / resource.file).string(), id};
    if (resource.kind == ResourceKind::kColourTable) {
      ColourTable table = ValidateColourTable(resource.content(), ref);
      if (table.channels != channels) {
        throw ValidationError(ref.file, id, "channelCount", table.format == 128 ? 76 : 75,
                              "is " + std::to_string(table.channels) + " but the profile has " +
                                  std::to_string(channels) + " inks");
      }
    } else if (resource.kind == ResourceKind::kReferenceValues) {
      ReferenceValues values = ValidateReferenceValues(resource.content(), channels, ref);
      curvesNeeded = std::max(curvesNeeded, CurvesForMode(values.mode));
    }
  }
  for (auto &[id, resource] : profile.colourResources) {
    if (resource.kind == ResourceKind::kColourTable ||
        resource.kind == ResourceKind::kReferenceValues) {
      continue;
    }
    ValidateResource(resource.kind, resource.content(), {(dir / resource.file).string(), id},
                     channels, curvesNeeded);
  }
  for (auto &[id, resource] : profile.halftoneResources) {
    ValidateResource(resource.kind, resource.content(), {(dir / resource.file).string(), id},
                     channels, curvesNeeded);
  }
  return profile;
}

}  // namespace inkdot::host
