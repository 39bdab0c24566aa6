// SPDX-License-Identifier: Apache-2.0
#include "colour_resource_writers.h"

namespace inkdot::resources {

namespace {

void PutBigEndian16(std::vector<uint8_t> &out, size_t at, int16_t value) {
  const uint16_t bits = static_cast<uint16_t>(value);
  out[at] = static_cast<uint8_t>(bits >> 8);
  out[at + 1] = static_cast<uint8_t>(bits & 0xFF);
}

void PutLittleEndian32(std::vector<uint8_t> &out, size_t at, uint32_t value) {
  for (int n = 0; n < 4; ++n) out[at + n] = static_cast<uint8_t>(value >> (8 * n));
}

void Append(std::vector<uint8_t> &out, const std::vector<uint8_t> &bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

std::string JoinLine(const std::vector<std::string> &fields, const std::string &end) {
  std::string line;
  for (size_t n = 0; n < fields.size(); ++n) {
    if (n != 0) line += n % 2 ? "\t" : " ";  // both separators occur
    line += fields[n];
  }
  return line + end;
}

}  // namespace

std::string WriteSelectionTable(const SelectionTable &table) {
  const std::string &end = table.lineEnd;
  std::string text = table.preamble + "//" + table.version + " selection" + end;
  text += table.heading + end;
  for (const SelectionEntry &e : table.entries) {
    text += JoinLine({std::to_string(e.tableId), std::to_string(e.halftoneId), e.method,
                      e.key, std::to_string(e.xResolution), std::to_string(e.yResolution),
                      e.mode, std::to_string(e.keyNumber), std::to_string(e.dotMode)},
                     end);
  }
  text += "/end" + end;
  text += JoinLine(table.methods, end);
  std::vector<std::string> keyLine;
  if (table.keyBase) keyLine.push_back(std::to_string(*table.keyBase));
  keyLine.insert(keyLine.end(), table.keys.begin(), table.keys.end());
  text += JoinLine(keyLine, end);
  text += JoinLine(table.modes, end);
  text += "0" + end;
  text.push_back('\0');
  return text;
}

std::vector<uint8_t> WriteColourTable(const ColourTable &table) {
  const bool fourInputs = table.format == 128;
  std::vector<uint8_t> out(fourInputs ? 77 : 76, 0);
  out[15] = table.format;
  out[24] = table.kind;
  for (int n = 0; n < 3; ++n) {
    out[32 + n] = table.dominantReduction[n];
    out[36 + n] = static_cast<uint8_t>(table.hueShift[n]);
    out[42 + n] = static_cast<uint8_t>(table.pairReduction[n]);
  }
  out[39] = static_cast<uint8_t>(table.saturationBoost);
  PutBigEndian16(out, 48, table.inkLoadLight);
  PutBigEndian16(out, 50, table.inkLoadDark);
  for (int n = 0; n < 3; ++n) PutBigEndian16(out, 52 + 2 * n, table.inkParams[n]);
  for (int n = 0; n < 4; ++n) PutBigEndian16(out, 64 + 2 * n, table.levelParams[n]);
  out[72] = static_cast<uint8_t>(table.nodes1.size());
  out[73] = static_cast<uint8_t>(table.nodes2.size());
  out[74] = static_cast<uint8_t>(table.nodes3.size());
  if (fourInputs) {
    out[75] = static_cast<uint8_t>(table.nodes4.size());
    out[76] = table.channelCount;
  } else {
    out[75] = table.channelCount;
  }
  Append(out, table.nodes1);
  Append(out, table.nodes2);
  Append(out, table.nodes3);
  if (fourInputs) Append(out, table.nodes4);
  Append(out, table.grid);
  Append(out, table.neutralBlack);
  Append(out, table.greyBlock);
  if (!table.selector.empty()) {
    PutLittleEndian32(out, 16, static_cast<uint32_t>(out.size()));
    PutLittleEndian32(out, 20, static_cast<uint32_t>(table.selector.size()));
    Append(out, table.selector);
  }
  return out;
}

std::vector<uint8_t> EvenNodes(int count) {
  std::vector<uint8_t> nodes;
  for (int n = 0; n < count; ++n) {
    nodes.push_back(static_cast<uint8_t>((255 * n + (count - 1) / 2) / (count - 1)));
  }
  return nodes;
}

}  // namespace inkdot::resources
