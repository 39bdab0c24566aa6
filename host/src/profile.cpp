#include "inkdot/host/profile.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "inkdot/host/errors.h"
#include "inkdot/host/printer_model_json.h"

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
    resource.id = Member<int32_t>(list[i], "id", manifest, where);
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
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(path.string() + ": cannot open the file");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (in.bad()) throw Error(path.string() + ": reading the file failed");
  return bytes;
}

Profile LoadManifest(const std::filesystem::path &dir) {
  const std::filesystem::path manifest = dir / "profile.json";
  std::vector<uint8_t> text = ReadFileBytes(manifest);
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
  int format = Member<int>(root, "format", manifest, "");
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
  for (const auto &pair :
       Member<std::vector<std::vector<uint32_t>>>(root, "resolutions", manifest, "")) {
    if (pair.size() != 2 || pair[0] == 0 || pair[1] == 0) {
      ManifestError(manifest, "every resolution must be a pair [x, y] of positive numbers");
    }
    profile.resolutions.emplace_back(pair[0], pair[1]);
  }
  profile.dotModes = Member<std::vector<uint32_t>>(root, "dotModes", manifest, "");
  json methods = Member<json>(root, "methods", manifest, "");
  if (!methods.is_object()) ManifestError(manifest, "\"methods\" must map names to methods");
  for (const auto &[name, value] : methods.items()) {
    // A method is a number, or {"method": m, "variant": v}.
    const std::string where = "methods: " + name + ": ";
    MethodChoice choice;
    if (value.is_object()) {
      choice.method = Member<uint32_t>(value, "method", manifest, where);
      if (value.contains("variant")) {
        choice.variant = Member<uint32_t>(value, "variant", manifest, where);
      }
    } else {
      choice.method = Member<uint32_t>(methods, name.c_str(), manifest, "methods: ");
    }
    profile.methods[name] = choice;
  }
  json key = Member<json>(root, "tableKey", manifest, "");
  profile.tableKeyName = Member<int32_t>(key, "name", manifest, "tableKey: ");
  profile.tableKeyNumber = Member<int32_t>(key, "number", manifest, "tableKey: ");
  int head = Member<int>(root, "calibrationHeadId", manifest, "");
  if (head < 0 || head > 253) {
    ManifestError(manifest, "\"calibrationHeadId\" must lie in 0..253");
  }
  profile.calibrationHeadId = static_cast<uint8_t>(head);
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
