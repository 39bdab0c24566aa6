// SPDX-License-Identifier: Apache-2.0
// The profile's resource checks: each runs the format's validator and turns
// its refusal into a ValidationError that names the file and resource id.
#include "inkdot/formats/format_error.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/resource_formats.h"

namespace inkdot::host {

namespace {

template <typename Validate>
auto Checked(const ResourceRef &ref, Validate validate) {
  try {
    return validate();
  } catch (const formats::FormatError &refusal) {
    throw ValidationError(ref.file, ref.id, refusal.field(), refusal.offset(), refusal.problem());
  }
}

}  // namespace

SelectionTable ValidateSelectionTable(std::span<const uint8_t> bytes, const ResourceRef &ref) {
  return Checked(ref, [&] { return formats::ValidateSelectionTable(bytes); });
}

SelectorRecord ValidateSelectorRecord(std::span<const uint8_t> bytes, uint64_t base,
                                      const ResourceRef &ref) {
  return Checked(ref, [&] { return formats::ValidateSelectorRecord(bytes, base); });
}

ColourTable ValidateColourTable(std::span<const uint8_t> bytes, const ResourceRef &ref) {
  return Checked(ref, [&] { return formats::ValidateColourTable(bytes); });
}

std::vector<ChannelMapRecord> ValidateChannelMap(std::span<const uint8_t> bytes,
                                                 uint32_t channels, const ResourceRef &ref) {
  return Checked(ref, [&] { return formats::ValidateChannelMap(bytes, channels); });
}

ReferenceValues ValidateReferenceValues(std::span<const uint8_t> bytes, uint32_t channels,
                                        const ResourceRef &ref) {
  return Checked(ref, [&] { return formats::ValidateReferenceValues(bytes, channels); });
}

uint32_t ValidateCalibrationCurves(std::span<const uint8_t> bytes, uint32_t curvesNeeded,
                                   const ResourceRef &ref) {
  return Checked(ref, [&] { return formats::ValidateCalibrationCurves(bytes, curvesNeeded); });
}

std::vector<uint16_t> ValidateIdList(std::span<const uint8_t> bytes, const ResourceRef &ref) {
  return Checked(ref, [&] { return formats::ValidateIdList(bytes); });
}

std::vector<uint8_t> ValidateGrid(std::span<const uint8_t> bytes, const ResourceRef &ref) {
  return Checked(ref, [&] { return formats::ValidateGrid(bytes); });
}

ThresholdMatrix ValidateMatrix(std::span<const uint8_t> bytes, const ResourceRef &ref) {
  return Checked(ref, [&] { return formats::ValidateMatrix(bytes); });
}

std::vector<PaletteEntry> ValidatePalette(std::span<const uint8_t> bytes, const ResourceRef &ref) {
  return Checked(ref, [&] { return formats::ValidatePalette(bytes); });
}

}  // namespace inkdot::host
