// SPDX-License-Identifier: Apache-2.0
// The calibration data: the block a host puts in its option list, the
// channel map, the reference values and the correction curves; each
// resource's writer beside its validator.
#include "inkdot/formats/calibration.h"

#include <algorithm>

#include "byte_fields.h"

namespace inkdot::formats {

namespace layout = calibration_layout;

namespace write {

std::vector<uint8_t> WriteCalibrationBlock(const CalibrationBlock &block) {
  std::vector<uint8_t> out(block.tag.begin(), block.tag.end());
  out.push_back(block.headId);
  detail::Append(out, block.printerValues);
  detail::Append(out, block.terminator);
  return out;
}

std::vector<uint8_t> WriteChannelMap(const std::vector<ChannelMapRecord> &records) {
  std::vector<uint8_t> out;
  for (const ChannelMapRecord &record : records) {
    out.push_back(record.headId);
    detail::Append(out, record.planes);
    out.push_back(layout::kRecordEnd);
  }
  out.push_back(layout::kMapEnd);
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
  out.reserve(curves.size() * layout::kCurveBytes);
  for (const Curve &curve : curves) detail::Append(out, curve);
  return out;
}

}  // namespace write

using detail::Refuse;
using detail::RequireBytes;

std::vector<ChannelMapRecord> ValidateChannelMap(std::span<const uint8_t> bytes, uint32_t channels) {
  std::vector<ChannelMapRecord> records;
  size_t at = 0;
  while (true) {
    if (at >= bytes.size()) Refuse("end mark 0xFF", at, "the file ends before it");
    if (bytes[at] == layout::kMapEnd) return records;
    ChannelMapRecord record;
    record.offset = at;
    record.headId = bytes[at];
    size_t end = at + 1;
    while (end < bytes.size() && bytes[end] != layout::kRecordEnd) ++end;
    if (end >= bytes.size()) Refuse("record end 0xFE", at, "the file ends inside the record");
    size_t length = end - at;
    if (length > layout::kMaxRecordBytes) {
      Refuse("record", at,
             "holds " + std::to_string(length) + " bytes; at most " +
                 std::to_string(layout::kMaxRecordBytes));
    }
    if (length < 1 + channels) {
      Refuse("record", at,
             "holds " + std::to_string(length - 1) + " plane numbers; " +
                 std::to_string(channels) + " inks need one each");
    }
    for (size_t i = at + 1; i < end; ++i) {
      if (bytes[i] >= channels) {
        Refuse("plane number", i,
               "is " + std::to_string(bytes[i]) + "; planes are numbered 0.." +
                   std::to_string(channels - 1));
      }
      record.planes.push_back(bytes[i]);
    }
    records.push_back(std::move(record));
    at = end + 1;
  }
}

ReferenceValues ValidateReferenceValues(std::span<const uint8_t> bytes, uint32_t channels) {
  RequireBytes(bytes, 0, 1, "first byte");
  ReferenceValues result;
  size_t first = 0;
  if (bytes[0] < layout::kLowestValue || bytes[0] > layout::kHighestValue) {
    result.storedMode = bytes[0];
    result.mode = bytes[0] == layout::kFineMode ? layout::kFineMode : 1;
    first = 1;
  }
  RequireBytes(bytes, first, channels, "reference values");
  for (size_t i = 0; i < channels; ++i) {
    uint8_t value = bytes[first + i];
    if (value < layout::kLowestValue || value > layout::kHighestValue) {
      Refuse("reference value", first + i,
             "is " + std::to_string(value) + "; must lie in " +
                 std::to_string(layout::kLowestValue) + ".." +
                 std::to_string(layout::kHighestValue));
    }
    result.values.push_back(value);
  }
  return result;
}

uint32_t ValidateCalibrationCurves(std::span<const uint8_t> bytes, uint32_t curvesNeeded) {
  if (bytes.size() % layout::kCurveBytes != 0) {
    Refuse("curves", bytes.size() - bytes.size() % layout::kCurveBytes,
           "the file is not a whole number of 256-byte curves (" +
               std::to_string(bytes.size()) + " bytes)");
  }
  RequireBytes(bytes, 0, static_cast<uint64_t>(curvesNeeded) * layout::kCurveBytes,
               std::to_string(curvesNeeded) + " curves");
  return static_cast<uint32_t>(bytes.size() / layout::kCurveBytes);
}

}  // namespace inkdot::formats
