// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/session.h"

#include <cstring>

#include "inkdot/host/errors.h"

namespace inkdot::host {

namespace {

constexpr int32_t kGammaKey = 1;
constexpr int32_t kToneCurvesKey = 256;
constexpr int32_t kCalibrationKey = 512;
constexpr int kMaxConversationCalls = 16;  // both conversations end long before

void CheckRange(const char *name, int32_t value, int32_t low, int32_t high) {
  if (value < low || value > high) {
    throw SettingError(std::string(name) + " " + std::to_string(value) + " is outside " +
                       std::to_string(low) + ".." + std::to_string(high));
  }
}

const Resource &Find(const std::map<int32_t, Resource> &resources, int32_t id,
                     const Profile &profile, const char *conversation) {
  auto it = resources.find(id);
  if (it == resources.end()) {
    throw Error("the " + std::string(conversation) + " asked for resource " + std::to_string(id) +
                ", which the profile " + profile.dir.string() + " does not hold");
  }
  return it->second;
}

std::string Describe(const Profile &profile, const Resource &resource) {
  return "resource " + std::to_string(resource.id) + ", " + (profile.dir / resource.file).string();
}

}  // namespace

void CheckColourSettings(const ColourSettings &s, size_t inks) {
  CheckRange("brightness", s.brightness, -50, 50);
  CheckRange("contrast", s.contrast, -50, 50);
  CheckRange("saturation", s.saturation, -50, 50);
  CheckRange("red offset", s.redOffset, -50, 50);
  CheckRange("green offset", s.greenOffset, -50, 50);
  CheckRange("blue offset", s.blueOffset, -50, 50);
  if (s.gamma != 0) CheckRange("gamma (hundredths)", s.gamma, 100, 300);
  if (!s.toneCurves.empty() && s.toneCurves.size() != 768) {
    throw SettingError("tone curves must be 768 bytes (red, green, blue), not " +
                       std::to_string(s.toneCurves.size()));
  }
  if (!s.calibration.empty()) {
    if (s.calibration.size() != inks) {
      throw SettingError("calibration needs one value per ink (" + std::to_string(inks) +
                         "), not " + std::to_string(s.calibration.size()));
    }
    for (uint8_t value : s.calibration) CheckRange("calibration value", value, 30, 70);
  }
}

std::vector<uint8_t> MakeCalibrationBlock(uint8_t headId, const std::vector<uint8_t> &values) {
  std::vector<uint8_t> block(values.size() + 6);
  block[0] = 'C';
  block[1] = 'W';
  block[2] = ':';
  block[3] = headId;
  for (size_t i = 0; i < values.size(); ++i) block[4 + i] = values[i];
  block[4 + values.size()] = 0xFE;
  block[5 + values.size()] = 0xFF;
  return block;
}

OptionList::OptionList(const ColourSettings &settings, uint8_t calibrationHeadId)
    : gamma_(settings.gamma), toneCurves_(settings.toneCurves) {
  if (!settings.calibration.empty()) {
    calibrationBlock_ = MakeCalibrationBlock(calibrationHeadId, settings.calibration);
  }
  // The list is a count followed by (key, value) pairs.
  constexpr size_t kMaxPairs = 3;
  // operator new[] aligns for any fundamental type, which covers the list.
  storage_.reset(new std::byte[sizeof(CmOptionList) + kMaxPairs * sizeof(CmOption)]);
  auto *list = reinterpret_cast<CmOptionList *>(storage_.get());
  list->count = 0;
  if (gamma_ != 0) list->pairs[list->count++] = {kGammaKey, &gamma_};
  if (!toneCurves_.empty()) list->pairs[list->count++] = {kToneCurvesKey, toneCurves_.data()};
  if (!calibrationBlock_.empty()) {
    list->pairs[list->count++] = {kCalibrationKey, calibrationBlock_.data()};
  }
}

const CmOptionList *OptionList::get() const {
  return reinterpret_cast<const CmOptionList *>(storage_.get());
}

ColourSession::ColourSession(const Profile &profile, const ColourSettings &settings,
                             const HalftoneParams &page)
    : options_(settings, profile.calibrationHeadId) {
  CheckColourSettings(settings, profile.inks.size());
  CmParams params{};
  params.brightness = settings.brightness;
  params.contrast = settings.contrast;
  params.saturation = settings.saturation;
  params.redOffset = settings.redOffset;
  params.greenOffset = settings.greenOffset;
  params.blueOffset = settings.blueOffset;
  params.tableKeyNumber = profile.tableKeyNumber;
  params.tableKeyName = profile.tableKeyName;
  params.grayMode = settings.grayMode;
  params.colorAdjustMode = settings.colorAdjustMode;
  params.neutralBalance = settings.neutralBalance;
  params.options = options_.get()->count ? options_.get() : nullptr;

  int32_t nextId = 0;
  CmContext *cm = nullptr;
  ResultCode result = CmNew(&params, &page, 0, &nextId, &cm);
  if (result != INKDOT_OK) throw EngineError("CmNew", result);
  cm_.reset(cm);

  while (nextId != -1) {
    if (consumed_.size() == static_cast<size_t>(kMaxConversationCalls)) {
      throw Error("the colour conversation did not end after " +
                  std::to_string(kMaxConversationCalls) + " resources");
    }
    const Resource &resource = Find(profile.colourResources, nextId, profile,
                                    "colour conversation");
    consumed_.push_back(nextId);
    result = CmSetResource(cm, resource.bytes.data(), &nextId);
    if (result != INKDOT_OK) {
      throw EngineError("CmSetResource", result, Describe(profile, resource));
    }
  }
}

HalftoneSession::HalftoneSession(const Profile &profile, const ColourSession &colour,
                                 const HalftoneParams &page) {
  int32_t nextId = -1;
  HalftoneContext *ht = nullptr;
  ResultCode result = HalftoneNew(&page, colour.lut(), 0, &nextId, &ht);
  ht_.reset(ht);  // a refused combination still hands back a live object
  if (result != INKDOT_OK) throw EngineError("HalftoneNew", result);

  while (nextId != -1) {
    if (consumed_.size() == static_cast<size_t>(kMaxConversationCalls)) {
      throw Error("the halftone set-up did not end after " +
                  std::to_string(kMaxConversationCalls) + " resources");
    }
    const Resource &resource = Find(profile.halftoneResources, nextId, profile,
                                    "halftone set-up");
    consumed_.push_back(nextId);
    result = HalftoneSetResource(ht, resource.bytes.data(), &nextId);
    if (result != INKDOT_OK) {
      throw EngineError("HalftoneSetResource", result, Describe(profile, resource));
    }
  }
  // The id list, the grid and a threshold matrix are always needed.
  if (consumed_.size() < 3) {
    throw Error("the halftone set-up ended after " + std::to_string(consumed_.size()) +
                " resources, before a threshold matrix was loaded; check the profile's id list");
  }
}

PageEngine::PageEngine(const Profile &profile, const ColourSettings &settings,
                       const HalftoneParams &page) {
  colour_.emplace(profile, settings, page);
  halftone_.emplace(profile, *colour_, page);
  colour_.reset();  // the set-up has ended; band calls need nothing from it
}

}  // namespace inkdot::host
