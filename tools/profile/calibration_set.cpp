// SPDX-License-Identifier: Apache-2.0
#include "calibration_set.h"

#include <cmath>
#include <stdexcept>

namespace inkdot::profile {

Bytes EncodeChannelMap(const std::vector<ChannelMapRecord> &records) {
  Bytes out;
  for (const ChannelMapRecord &r : records) {
    if (r.planes.size() > 18) throw std::runtime_error("a channel-map record holds at most 18 inks");
    PutU8(out, r.headId);
    for (uint8_t p : r.planes) PutU8(out, p);
    PutU8(out, 0xFE);
  }
  PutU8(out, 0xFF);
  return out;
}

Bytes EncodeReferenceValues(int mode, const std::vector<uint8_t> &values) {
  for (uint8_t v : values) {
    if (v < 30 || v > 70) throw std::runtime_error("reference values lie in 30..70");
  }
  Bytes out;
  if (mode == 2) {
    PutU8(out, 2);
  } else if (mode != 1) {
    throw std::runtime_error("reference mode is 1 or 2");
  }
  for (uint8_t v : values) PutU8(out, v);
  return out;
}

Bytes MakeCalibrationCurves(int count) {
  if (count != 21 && count != 37) throw std::runtime_error("calibration sets hold 21 or 37 curves");
  // One curve step stands for 2 units in mode 1 and 1 unit in mode 2; a unit
  // is taken as 1 % of ink strength.
  const double unitsPerStep = count == 21 ? 2.0 : 1.0;
  const int middle = count / 2;
  Bytes out;
  out.reserve(static_cast<size_t>(count) * 256);
  for (int n = 0; n < count; ++n) {
    // A head s % stronger than nominal darkens the paper as
    // 1 - (1 - a)^(1 + s / 100); the curve gives the amount whose print on
    // that head matches amount a on a nominal head.
    const double strength = 1.0 + (n - middle) * unitsPerStep / 100.0;
    for (int v = 0; v < 256; ++v) {
      const double a = v / 255.0;
      const double corrected = 1.0 - std::pow(1.0 - a, 1.0 / strength);
      out.push_back(static_cast<uint8_t>(std::lround(255.0 * corrected)));
    }
  }
  return out;
}

}  // namespace inkdot::profile
