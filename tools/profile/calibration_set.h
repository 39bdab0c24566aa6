/* SPDX-License-Identifier: Apache-2.0 */
// The calibration resources: channel map, reference values and the
// correction curves that are chosen per ink by how far a print head's
// measured value lies from the reference.
#pragma once

#include <cstdint>
#include <vector>

#include "byte_writer.h"
#include "inkdot/formats/calibration.h"

namespace inkdot::profile {

// Channel map: one record per head id (the id, then one curve plane per
// ink, then 0xFE), the sequence ended by 0xFF.
using ChannelMapRecord = formats::write::ChannelMapRecord;
Bytes EncodeChannelMap(const std::vector<ChannelMapRecord> &records);

// Reference values. Mode 1 (values 30..70 from byte 0) goes with 21
// curves, two measurement units apart; mode 2 (a leading 2) with 37 curves,
// one unit apart.
Bytes EncodeReferenceValues(int mode, const std::vector<uint8_t> &values);

// `count` (21 or 37) curves of 256 bytes. The middle curve is the identity;
// curves above it take ink away (a head that prints heavy), curves below add
// ink, each step by the same factor on the ink's optical density.
Bytes MakeCalibrationCurves(int count);

}  // namespace inkdot::profile
