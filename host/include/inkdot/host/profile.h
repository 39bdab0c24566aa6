/* SPDX-License-Identifier: Apache-2.0 */
// A printer profile: a folder holding profile.json (the manifest) and one
// file per resource. Loading reads the manifest and every resource and
// validates each against its format, so the engine only ever sees resources
// that it can read without going past their end.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "inkdot/host/printer_model.h"
#include "inkdot/host/resource_formats.h"

namespace inkdot::host {

enum class ResourceKind {
  kSelectionTable,
  kColourTable,
  kChannelMap,
  kReferenceValues,
  kCalibrationCurves,
  kIdList,
  kGrid,
  kMatrix,
  kPalette,
};

// The manifest's name of a kind ("selectionTable", ...), and back; the
// second returns false for an unknown name.
const char *KindName(ResourceKind kind);
bool KindFromName(const std::string &name, ResourceKind *kind);

struct Resource {
  int32_t id = 0;
  ResourceKind kind = ResourceKind::kSelectionTable;
  std::string file;            // as the manifest names it, relative to the profile
  std::vector<uint8_t> bytes;  // the file's bytes followed by one NUL
  size_t size() const { return bytes.empty() ? 0 : bytes.size() - 1; }
  std::span<const uint8_t> content() const { return {bytes.data(), size()}; }
};

struct Ink {
  std::string name;
  std::array<uint8_t, 3> colour{};  // display colour, sRGB
};

// What one of the command's method names stands for: the page's method and
// its variant (method 3 with variant 0 screens with diffusion, with variant 1
// dithers alone).
struct MethodChoice {
  uint32_t method = 0;
  uint32_t variant = 0;
};

struct Profile {
  std::filesystem::path dir;
  std::string name;
  std::string description;
  std::vector<Ink> inks;  // plane order
  std::vector<std::pair<uint32_t, uint32_t>> resolutions;
  std::vector<uint32_t> dotModes;
  std::map<std::string, MethodChoice> methods;
  int32_t tableKeyName = 0;
  int32_t tableKeyNumber = 0;
  uint8_t calibrationHeadId = 0;
  std::map<int32_t, Resource> colourResources;
  std::map<int32_t, Resource> halftoneResources;
  std::optional<PrinterModel> printer;  // "printer" of the manifest, when given
};

// Reads and validates a whole profile. Throws ValidationError for a resource
// that breaks its format, Error for a missing file or a bad manifest.
Profile LoadProfile(const std::filesystem::path &dir);

// Reads the manifest alone (no resource files), for tools that look at
// single resources of a profile.
Profile LoadManifest(const std::filesystem::path &dir);

// Reads a whole file; throws Error naming it when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path &path);

// Validates one resource of a given kind. `channels` is the ink count (for
// the calibration formats); `curvesNeeded` for calibration curves.
void ValidateResource(ResourceKind kind, std::span<const uint8_t> bytes,
                      const ResourceRef &ref, uint32_t channels, uint32_t curvesNeeded);

// Parses "#RRGGBB"; false when malformed.
bool ParseHexColour(const std::string &text, std::array<uint8_t, 3> *colour);

}  // namespace inkdot::host
