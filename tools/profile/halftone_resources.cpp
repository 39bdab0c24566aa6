// SPDX-License-Identifier: Apache-2.0
#include "halftone_resources.h"

#include <stdexcept>

#include "colour_table.h"

namespace inkdot::profile {

Bytes EncodeIdList(const std::vector<uint16_t> &ids) {
  if (ids.size() > 15) throw std::runtime_error("a resource-id list holds at most 15 ids");
  Bytes out;
  for (uint16_t id : ids) {
    if (id == 0xFFFF) throw std::runtime_error("0xFFFF ends a resource-id list");
    PutU16BE(out, id);
  }
  PutU16BE(out, 0xFFFF);
  return out;
}

std::vector<uint8_t> GridPositions(int count) { return NodePositions(count); }

Bytes EncodeGrid(const std::vector<uint8_t> &positions) {
  Bytes out;
  PutU16LE(out, static_cast<unsigned>(positions.size()));
  PutBytes(out, positions);
  return out;
}

Bytes EncodeSelectorRecord(SelectorChoice colour, SelectorChoice grey) {
  Bytes out;
  PutU32LE(out, 24);  // bytes after this field; type 3 needs at least 22
  PutU16LE(out, 3);   // record type
  PutU16LE(out, 0);
  for (uint8_t b : {0xFB, 0x69, 0xF7, 0xDD}) PutU8(out, b);  // type-3 signature
  PutU32LE(out, 0);
  PutU16LE(out, static_cast<uint16_t>(colour.paletteId));
  PutU16LE(out, static_cast<uint16_t>(colour.alternate));
  PutU16LE(out, static_cast<uint16_t>(grey.paletteId));
  PutU16LE(out, static_cast<uint16_t>(grey.alternate));
  PutU32LE(out, 0);  // padding up to the stated length
  return out;
}

}  // namespace inkdot::profile
