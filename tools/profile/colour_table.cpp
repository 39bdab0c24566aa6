// SPDX-License-Identifier: Apache-2.0
#include "colour_table.h"

#include <cmath>
#include <stdexcept>

#include "ink_levels.h"
#include "inkdot/formats/colour_table.h"

namespace inkdot::profile {

std::vector<uint8_t> NodePositions(int count) {
  if (count < 2 || count > 36) throw std::runtime_error("colour table node count must be 2..36");
  std::vector<uint8_t> nodes(count);
  for (int i = 0; i < count; ++i) nodes[i] = static_cast<uint8_t>((i * 255 * 2 + (count - 1)) / (2 * (count - 1)));
  return nodes;
}

Bytes EncodeColourTable(const ColourTable &table) {
  const size_t nodes = table.nodes.size();
  if (table.levels.size() != nodes * nodes * nodes * 4 || table.neutralBlack.size() != nodes) {
    throw std::runtime_error("colour table sizes do not match its node count");
  }
  // A plain three-input table of four channels with no colour corrections
  // (zero leaves colours as they are) and the printer's ink-load pair.
  formats::write::ColourTable resource;
  resource.tag = "inkdot colour";
  resource.kind = table.kind;
  resource.inkLoadLight = kInkLoadLight;
  resource.inkLoadDark = kInkLoadDark;
  resource.channelCount = 4;
  resource.nodes1 = resource.nodes2 = resource.nodes3 = table.nodes;
  resource.grid = table.levels;
  resource.neutralBlack = table.neutralBlack;
  resource.selector = table.selector;
  return formats::write::WriteColourTable(resource);
}

}  // namespace inkdot::profile
