// SPDX-License-Identifier: Apache-2.0
#include "halftone_resources.h"

#include <stdexcept>

#include "colour_table.h"
#include "inkdot/formats/colour_table.h"
#include "inkdot/formats/halftone_resources.h"

namespace inkdot::profile {

Bytes EncodeIdList(const std::vector<uint16_t> &ids) {
  if (ids.size() > static_cast<size_t>(formats::id_list_layout::kMaxIds)) {
    throw std::runtime_error("a resource-id list holds at most 15 ids");
  }
  for (uint16_t id : ids) {
    if (id == formats::id_list_layout::kEnd) throw std::runtime_error("0xFFFF ends a resource-id list");
  }
  return formats::write::WriteResourceIdList({ids});
}

std::vector<uint8_t> GridPositions(int count) { return NodePositions(count); }

Bytes EncodeGrid(const std::vector<uint8_t> &positions) {
  return formats::write::WriteGridResource({positions, std::nullopt});
}

Bytes EncodeSelectorRecord(SelectorChoice colour, SelectorChoice grey) {
  formats::write::InputPaletteSelector record;
  record.colourPaletteId = colour.paletteId;
  record.colourAltSelector = colour.alternate;
  record.greyPaletteId = grey.paletteId;
  record.greyAltSelector = grey.alternate;
  // Two bytes longer than type 3 needs, stated and written.
  record.length = formats::selector_layout::kInputPaletteLength + 2;
  record.padding = 2;
  return formats::write::WriteSelectorRecord(record);
}

}  // namespace inkdot::profile
