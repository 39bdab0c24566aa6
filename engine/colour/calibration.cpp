// SPDX-License-Identifier: Apache-2.0
#include "colour/calibration.h"

#include <cstring>

#include "colour/cm_context.h"
#include "colour/option_list.h"
#include "colour/selection_table.h"
#include "frame/memory_blocks.h"
#include "inkdot/formats/calibration_layout.h"

namespace inkdot {

namespace {

constexpr int32_t kChannelMapId = 980;
constexpr int32_t kReferenceId = 990;
constexpr int32_t kSecondTableOffset = 900;  // added to the table's idBase

namespace layout = formats::calibration_layout;
constexpr uint8_t kRecordEnd = layout::kRecordEnd;  // ends a channel-map record
constexpr uint8_t kMapEnd = layout::kMapEnd;        // ends the channel map
constexpr int32_t kMaxRecordBytes = static_cast<int32_t>(layout::kMaxRecordBytes);

constexpr int32_t kCurveBytes = static_cast<int32_t>(layout::kCurveBytes);
constexpr uint8_t kLowestValue = layout::kLowestValue;  // printer and reference values
constexpr uint8_t kHighestValue = layout::kHighestValue;
constexpr uint32_t kValuesAt = layout::kBlockValuesAt;

bool InValueRange(uint8_t v) { return v >= kLowestValue && v <= kHighestValue; }

// The option list's calibration block when it is valid for `channels`
// inks, else null. The bytes are read in order and the reading stops at
// the first that disqualifies the block.
const uint8_t *FindCalibrationBlock(const CmOptionList *options, int32_t channels) {
  if (options == nullptr || options->count == 0) return nullptr;
  const auto *block = static_cast<const uint8_t *>(FindOption(options, kOptionCalibration));
  if (block == nullptr || channels > kMaxCalibratedInks) return nullptr;
  if (block[0] != layout::kBlockTag[0] || block[1] != layout::kBlockTag[1] ||
      block[2] != layout::kBlockTag[2]) {
    return nullptr;
  }
  for (int32_t i = 0; i < channels; ++i) {
    if (!InValueRange(block[kValuesAt + i])) return nullptr;
  }
  if (block[kValuesAt + channels] != layout::kBlockEnd[0] ||
      block[kValuesAt + channels + 1] != layout::kBlockEnd[1]) {
    return nullptr;
  }
  return block;
}

// Step 1: the printer's values from the block and the plane of each ink
// from the records of this head; a later record of the head overrides an
// earlier one. A record longer than 20 bytes, or one of this head that
// names a plane beyond the table's channels (or lacks a plane number, so
// that its end marker would be read as one), is refused.
ResultCode ReadChannelMap(CmContext *cm, CalibrationState *state, const uint8_t *map,
                          int32_t *nextId) {
  const int32_t channels = cm->lut->channelCount;
  const uint8_t *block = FindCalibrationBlock(cm->params.options, channels);
  if (block == nullptr) return kBadResource;  // the host withdrew the block
  const uint8_t head = block[layout::kBlockHeadAt];
  for (int32_t i = 0; i < channels; ++i) state->printerValues[i] = block[kValuesAt + i];
  for (int32_t i = 0; i < kMaxCalibratedInks; ++i) {
    state->channelMap[i] = static_cast<uint8_t>(i);
  }

  for (const uint8_t *record = map; *record != kMapEnd;) {
    int32_t length = 0;
    while (record[length] != kRecordEnd) {
      if (++length > kMaxRecordBytes) return kBadResource;
    }
    if (length > 0 && record[0] == head) {
      for (int32_t i = 0; i < channels; ++i) {
        const uint8_t plane = 1 + i < length ? record[1 + i] : kRecordEnd;
        if (plane >= channels) return kBadResource;
        state->channelMap[i] = plane;
      }
    }
    record += length + 1;
  }
  state->step = 2;
  *nextId = kReferenceId;
  return kOk;
}

// Step 2: a first byte in the value range is already the first value;
// anything else is the reference mode, with the values after it.
ResultCode ReadReferenceValues(CmContext *cm, CalibrationState *state,
                               const uint8_t *reference, int32_t *nextId) {
  const int32_t channels = cm->lut->channelCount;
  const uint8_t *values = reference;
  state->referenceMode = 1;
  if (!InValueRange(reference[0])) {
    state->referenceMode = reference[0];
    values = reference + 1;
  }
  std::memcpy(state->referenceValues, values, static_cast<size_t>(channels));
  state->step = 3;
  *nextId = cm->idBase + kSecondTableOffset;
  return kOk;
}

// Step 3: the second selection table picks the curve resource with the
// settings as they were when the calibration began and match mode 0. The
// CmLut keeps the ids of the first selection.
ResultCode SelectCurves(CmContext *cm, CalibrationState *state, const uint8_t *table,
                        int32_t *nextId) {
  state->step = 4;
  cm->params = state->savedParams;
  cm->page = state->savedPage;
  cm->matchMode = 0;
  const int32_t id = SelectTableLine(cm, table);
  *nextId = id;
  if (id == 0) return kBadResource;
  if (id < 0) return kAllocFailed;
  return kOk;
}

// Step 4: one curve per ink, chosen by how far the printer's value lies
// from the reference. Mode 2 moves one curve per unit around curve 18 of
// 0..36; other modes one curve per two units around curve 10 of 0..20, and
// treat every ink as matching its reference when all are within 2.
ResultCode ChooseCurves(CmContext *cm, CalibrationState *state, const uint8_t *curves,
                        int32_t *nextId) {
  const int32_t channels = cm->lut->channelCount;
  const bool fine = state->referenceMode == layout::kFineMode;
  const int32_t divisor = fine ? 1 : 2;
  const int32_t offset = fine ? 32 : 30;
  const int32_t highest = fine ? 36 : 20;
  const int32_t tolerance = fine ? 0 : 3;

  bool allClose = true;
  for (int32_t i = 0; i < channels; ++i) {
    const int32_t difference = state->printerValues[i] - state->referenceValues[i];
    if (difference >= tolerance || -difference >= tolerance) allClose = false;
  }
  if (allClose) {
    std::memcpy(state->printerValues, state->referenceValues, static_cast<size_t>(channels));
  }

  for (int32_t i = 0; i < channels; ++i) {
    int32_t n = (state->printerValues[i] + 50 - state->referenceValues[i] - offset) / divisor;
    if (n < 0) n = 0;
    if (n > highest) n = highest;
    std::memcpy(state->curvePlanes + state->channelMap[i] * kCurveBytes,
                curves + n * kCurveBytes, kCurveBytes);
  }
  *nextId = -1;
  return kOk;
}

}  // namespace

ResultCode CreateCalibrationState(CmContext *cm, int32_t *nextId) {
  uintptr_t handle = 0;
  void *memory = nullptr;
  ResultCode result = MemAcquire(kCalibrationStateBytes, 1, &handle, &memory);
  if (result != kOk) return result;
  auto *state = static_cast<CalibrationState *>(memory);
  state->selfHandle = handle;

  const int32_t channels = cm->lut->channelCount;
  void *planes = nullptr;
  result = MemAcquire(static_cast<uint32_t>(channels) * kCurveBytes, 1, &state->curveHandle,
                      &planes);
  if (result != kOk) {
    MemDiscard(handle);
    return result;
  }
  state->curvePlanes = static_cast<uint8_t *>(planes);

  state->savedParams = cm->params;
  state->savedPage = cm->page;
  state->owner = cm;
  cm->calibration = state;

  if (FindCalibrationBlock(cm->params.options, channels) != nullptr) {
    state->step = 1;
    *nextId = kChannelMapId;
  } else {
    *nextId = -1;
  }
  return kOk;
}

ResultCode RunCalibrationStep(CmContext *cm, const uint8_t *resource, int32_t *nextId) {
  CalibrationState *state = cm->calibration;
  if (state == nullptr) {
    // The calibration has ended (or never began): nothing more is wanted.
    *nextId = -1;
    return kBadResource;
  }
  switch (state->step) {
    case 1:
      return ReadChannelMap(cm, state, resource, nextId);
    case 2:
      return ReadReferenceValues(cm, state, resource, nextId);
    case 3:
      return SelectCurves(cm, state, resource, nextId);
    case 4:
      return ChooseCurves(cm, state, resource, nextId);
    default:
      *nextId = -1;
      return kBadResource;
  }
}

void ApplyCalibrationCurves(CmContext *cm) {
  const CalibrationState *state = cm->calibration;
  if (state == nullptr) return;
  CmLut *lut = cm->lut;
  const uint32_t channels = static_cast<uint32_t>(lut->channelCount);
  const uint32_t nodes = static_cast<uint32_t>(lut->gridSize1) *
                         static_cast<uint32_t>(lut->gridSize2) *
                         static_cast<uint32_t>(lut->gridSize3);
  uint8_t *byte = lut->tableData;
  for (uint32_t n = 0; n < nodes; ++n) {
    const uint8_t *plane = state->curvePlanes;
    for (uint32_t p = 0; p < channels; ++p, ++byte, plane += kCurveBytes) {
      *byte = plane[*byte];
    }
  }
}

}  // namespace inkdot
