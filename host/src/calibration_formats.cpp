// SPDX-License-Identifier: Apache-2.0
// Validation of the calibration resources: the channel map, the reference
// values and the correction curves.
#include "byte_checks.h"
#include "inkdot/host/resource_formats.h"

namespace inkdot::host {

namespace {
using detail::Refuse;
using detail::RequireBytes;

constexpr uint8_t kRecordEnd = 0xFE;
constexpr uint8_t kMapEnd = 0xFF;
constexpr size_t kMaxRecordBytes = 20;  // head id and plane numbers
}  // namespace

std::vector<ChannelMapRecord> ValidateChannelMap(std::span<const uint8_t> bytes,
                                                 uint32_t channels, const ResourceRef &ref) {
  std::vector<ChannelMapRecord> records;
  size_t at = 0;
  while (true) {
    if (at >= bytes.size()) Refuse(ref, "end mark 0xFF", at, "the file ends before it");
    if (bytes[at] == kMapEnd) return records;
    ChannelMapRecord record;
    record.offset = at;
    record.headId = bytes[at];
    size_t end = at + 1;
    while (end < bytes.size() && bytes[end] != kRecordEnd) ++end;
    if (end >= bytes.size()) {
      Refuse(ref, "record end 0xFE", at, "the file ends inside the record");
    }
    size_t length = end - at;
    if (length > kMaxRecordBytes) {
      Refuse(ref, "record", at,
             "holds " + std::to_string(length) + " bytes; at most " +
                 std::to_string(kMaxRecordBytes));
    }
    if (length < 1 + channels) {
      Refuse(ref, "record", at,
             "holds " + std::to_string(length - 1) + " plane numbers; " +
                 std::to_string(channels) + " inks need one each");
    }
    for (size_t i = at + 1; i < end; ++i) {
      if (bytes[i] >= channels) {
        Refuse(ref, "plane number", i,
               "is " + std::to_string(bytes[i]) + "; planes are numbered 0.." +
                   std::to_string(channels - 1));
      }
      record.planes.push_back(bytes[i]);
    }
    records.push_back(std::move(record));
    at = end + 1;
  }
}

ReferenceValues ValidateReferenceValues(std::span<const uint8_t> bytes, uint32_t channels,
                                        const ResourceRef &ref) {
  RequireBytes(bytes, 0, 1, ref, "first byte");
  ReferenceValues result;
  size_t first = 0;
  if (bytes[0] < kMinCalibrationValue || bytes[0] > kMaxCalibrationValue) {
    result.storedMode = bytes[0];
    result.mode = bytes[0] == 2 ? 2 : 1;
    first = 1;
  }
  RequireBytes(bytes, first, channels, ref, "reference values");
  for (size_t i = 0; i < channels; ++i) {
    uint8_t value = bytes[first + i];
    if (value < kMinCalibrationValue || value > kMaxCalibrationValue) {
      Refuse(ref, "reference value", first + i,
             "is " + std::to_string(value) + "; must lie in " +
                 std::to_string(kMinCalibrationValue) + ".." +
                 std::to_string(kMaxCalibrationValue));
    }
    result.values.push_back(value);
  }
  return result;
}

uint32_t ValidateCalibrationCurves(std::span<const uint8_t> bytes, uint32_t curvesNeeded,
                                   const ResourceRef &ref) {
  if (bytes.size() % 256 != 0) {
    Refuse(ref, "curves", bytes.size() - bytes.size() % 256,
           "the file is not a whole number of 256-byte curves (" +
               std::to_string(bytes.size()) + " bytes)");
  }
  RequireBytes(bytes, 0, static_cast<uint64_t>(curvesNeeded) * 256, ref,
               std::to_string(curvesNeeded) + " curves");
  return static_cast<uint32_t>(bytes.size() / 256);
}

}  // namespace inkdot::host
