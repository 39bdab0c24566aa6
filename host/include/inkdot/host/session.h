/* SPDX-License-Identifier: Apache-2.0 */
// RAII owners of the engine's two objects. Each constructor runs its whole
// resource conversation against a profile (following nextId until -1) and
// turns every non-zero result into an EngineError; each destructor releases
// its object.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "inkdot/host/profile.h"
#include "inkdot/inkdot.h"

namespace inkdot::host {

// The user's colour settings in the units the engine takes.
struct ColourSettings {
  int32_t brightness = 0;  // -50..50
  int32_t contrast = 0;    // -50..50
  int32_t saturation = 0;  // -50..50
  int32_t redOffset = 0;   // -50..50
  int32_t greenOffset = 0;
  int32_t blueOffset = 0;
  int32_t gamma = 0;                    // hundredths, 100..300; 0 = the engine's 1.50
  std::vector<uint8_t> toneCurves;      // empty, or 768 bytes: red, green, blue curves
  std::vector<uint8_t> calibration;     // empty, or one value 30..70 per ink
  int32_t grayMode = 0;
  int32_t colorAdjustMode = 0;
  int32_t neutralBalance = 50;
};

// Throws SettingError naming the first setting outside what the engine
// accepts; `inks` is the profile's ink count.
void CheckColourSettings(const ColourSettings &settings, size_t inks);

// The option list and calibration block that CmParams points at; kept alive
// for as long as the colour conversation may read them.
class OptionList {
 public:
  OptionList(const ColourSettings &settings, uint8_t calibrationHeadId);
  const CmOptionList *get() const;

 private:
  int32_t gamma_ = 0;
  std::vector<uint8_t> toneCurves_;
  std::vector<uint8_t> calibrationBlock_;
  std::unique_ptr<std::byte[]> storage_;
};

// Builds the calibration block "CW:", head id, one value per ink, FE FF.
std::vector<uint8_t> MakeCalibrationBlock(uint8_t headId, const std::vector<uint8_t> &values);

class ColourSession {
 public:
  ColourSession(const Profile &profile, const ColourSettings &settings,
                const HalftoneParams &page);
  ColourSession(const ColourSession &) = delete;
  ColourSession &operator=(const ColourSession &) = delete;

  CmContext *get() const { return cm_.get(); }
  const CmLut *lut() const { return CmGetLut(cm_.get()); }
  // The ids of the resources the conversation consumed, in order.
  const std::vector<int32_t> &consumed() const { return consumed_; }

 private:
  struct Deleter {
    void operator()(CmContext *cm) const { CmDelete(cm); }
  };
  OptionList options_;
  std::unique_ptr<CmContext, Deleter> cm_;
  std::vector<int32_t> consumed_;
};

class HalftoneSession {
 public:
  // The colour session must stay alive until this constructor returns.
  HalftoneSession(const Profile &profile, const ColourSession &colour,
                  const HalftoneParams &page);
  HalftoneSession(const HalftoneSession &) = delete;
  HalftoneSession &operator=(const HalftoneSession &) = delete;

  HalftoneContext *get() const { return ht_.get(); }
  const std::vector<int32_t> &consumed() const { return consumed_; }

 private:
  struct Deleter {
    void operator()(HalftoneContext *ht) const { HalftoneDelete(ht); }
  };
  std::unique_ptr<HalftoneContext, Deleter> ht_;
  std::vector<int32_t> consumed_;
};

// Both objects for one page: the colour object lives exactly until the
// halftone set-up has ended.
class PageEngine {
 public:
  PageEngine(const Profile &profile, const ColourSettings &settings, const HalftoneParams &page);
  HalftoneContext *halftone() const { return halftone_->get(); }

 private:
  std::optional<ColourSession> colour_;
  std::optional<HalftoneSession> halftone_;
};

}  // namespace inkdot::host
