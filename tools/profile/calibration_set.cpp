// SPDX-License-Identifier: Apache-2.0
#include "calibration_set.h"

#include <cmath>
#include <stdexcept>

namespace inkdot::profile {

namespace layout = formats::calibration_layout;

Bytes EncodeChannelMap(const std::vector<ChannelMapRecord> &records) {
  for (const ChannelMapRecord &r : records) {
    // The head id and the planes fill at most 20 bytes of a record.
    if (r.planes.size() > layout::kMaxRecordBytes - 2) {
      throw std::runtime_error("a channel-map record holds at most 18 inks");
    }
  }
  return formats::write::WriteChannelMap(records);
}

Bytes EncodeReferenceValues(int mode, const std::vector<uint8_t> &values) {
  for (uint8_t v : values) {
    if (v < layout::kLowestValue || v > layout::kHighestValue) {
      throw std::runtime_error("reference values lie in 30..70");
    }
  }
  if (mode != 1 && mode != layout::kFineMode) throw std::runtime_error("reference mode is 1 or 2");
  // Mode 1 is the one without a mode byte.
  formats::write::ReferenceValues reference{std::nullopt, values};
  if (mode == layout::kFineMode) reference.mode = static_cast<uint8_t>(mode);
  return formats::write::WriteReferenceValues(reference);
}

Bytes MakeCalibrationCurves(int count) {
  const int coarse = static_cast<int>(layout::kCoarseCurves);
  if (count != coarse && count != static_cast<int>(layout::kFineCurves)) {
    throw std::runtime_error("calibration sets hold 21 or 37 curves");
  }
  // One curve step stands for 2 units in mode 1 and 1 unit in mode 2; a unit
  // is taken as 1 % of ink strength.
  const double unitsPerStep = count == coarse ? 2.0 : 1.0;
  const int middle = count / 2;
  std::vector<formats::write::Curve> curves(static_cast<size_t>(count));
  for (int n = 0; n < count; ++n) {
    // A head s % stronger than nominal darkens the paper as
    // 1 - (1 - a)^(1 + s / 100); the curve gives the amount whose print on
    // that head matches amount a on a nominal head.
    const double strength = 1.0 + (n - middle) * unitsPerStep / 100.0;
    for (int v = 0; v < 256; ++v) {
      const double a = v / 255.0;
      const double corrected = 1.0 - std::pow(1.0 - a, 1.0 / strength);
      curves[n][v] = static_cast<uint8_t>(std::lround(255.0 * corrected));
    }
  }
  return formats::write::WriteCurves(curves);
}

}  // namespace inkdot::profile
