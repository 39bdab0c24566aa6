// SPDX-License-Identifier: Apache-2.0
#include "calibration_resource_writers.h"

#include <algorithm>

namespace inkdot::resources {

std::vector<uint8_t> WriteCalibrationBlock(const CalibrationBlock &block) {
  std::vector<uint8_t> out(block.tag.begin(), block.tag.end());
  out.push_back(block.headId);
  out.insert(out.end(), block.printerValues.begin(), block.printerValues.end());
  out.insert(out.end(), block.terminator.begin(), block.terminator.end());
  return out;
}

std::vector<uint8_t> WriteChannelMap(const std::vector<ChannelMapRecord> &records) {
  std::vector<uint8_t> out;
  for (const ChannelMapRecord &record : records) {
    out.push_back(record.headId);
    out.insert(out.end(), record.planes.begin(), record.planes.end());
    out.push_back(0xFE);
  }
  out.push_back(0xFF);
  return out;
}

std::vector<uint8_t> WriteReferenceValues(const ReferenceValues &reference) {
  // Sized once and filled in place: appending the values after a first
  // push_back makes GCC 12 at -O3 see a copy from an empty region.
  const size_t head = reference.mode ? 1 : 0;
  std::vector<uint8_t> out(head + reference.values.size());
  if (reference.mode) out[0] = *reference.mode;
  std::copy(reference.values.begin(), reference.values.end(), out.begin() + head);
  return out;
}

std::vector<uint8_t> WriteCurves(const std::vector<Curve> &curves) {
  std::vector<uint8_t> out;
  out.reserve(curves.size() * 256);
  for (const Curve &curve : curves) out.insert(out.end(), curve.begin(), curve.end());
  return out;
}

}  // namespace inkdot::resources
