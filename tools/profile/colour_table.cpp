// SPDX-License-Identifier: Apache-2.0
#include "colour_table.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "ink_levels.h"

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
  Bytes out(15, 0);
  static const char kTag[] = "inkdot colour";
  std::memcpy(out.data(), kTag, sizeof kTag - 1);
  PutU8(out, 0);          // 15: plain three-input table
  PutU32LE(out, 0);       // 16: selector offset, set below
  PutU32LE(out, static_cast<uint32_t>(table.selector.size()));  // 20: selector length
  PutU8(out, table.kind); // 24
  out.resize(48, 0);      // 25..47: no colour corrections (zero leaves colours as they are)
  PutU16BE(out, kInkLoadLight);  // 48
  PutU16BE(out, kInkLoadDark);   // 50
  out.resize(72, 0);      // 52..71: carried parameters, unused
  for (int axis = 0; axis < 3; ++axis) PutU8(out, static_cast<unsigned>(nodes));
  PutU8(out, 4);          // 75: channels
  for (int axis = 0; axis < 3; ++axis) PutBytes(out, table.nodes);
  PutBytes(out, table.levels);
  PutBytes(out, table.neutralBlack);
  if (!table.selector.empty()) {
    SetU32LE(out, 16, static_cast<uint32_t>(out.size()));
    PutBytes(out, table.selector);
  }
  return out;
}

}  // namespace inkdot::profile
