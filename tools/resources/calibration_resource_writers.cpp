#include "calibration_resource_writers.h"

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
  std::vector<uint8_t> out;
  if (reference.mode) out.push_back(*reference.mode);
  out.insert(out.end(), reference.values.begin(), reference.values.end());
  return out;
}

std::vector<uint8_t> WriteCurves(const std::vector<Curve> &curves) {
  std::vector<uint8_t> out;
  out.reserve(curves.size() * 256);
  for (const Curve &curve : curves) out.insert(out.end(), curve.begin(), curve.end());
  return out;
}

}  // namespace inkdot::resources
