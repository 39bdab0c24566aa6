// SPDX-License-Identifier: Apache-2.0
#include "resources.h"

#include <algorithm>

namespace inkdot::scenario {

namespace {

void PutU16LE(Bytes &out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU16BE(Bytes &out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void PutU32LE(Bytes &out, uint32_t v) {
  PutU16LE(out, v & 0xFFFF);
  PutU16LE(out, v >> 16);
}

void SetU32LE(Bytes &out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint8_t Clamp255(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

// Node positions 0..255 on `count` nodes, slightly bent so that the cells
// have unequal widths.
std::vector<uint8_t> ColourTableNodes(int count) {
  std::vector<uint8_t> nodes(count);
  for (int i = 0; i < count; ++i) {
    const int linear = i * 255 / (count - 1);
    const int bend = (i * (count - 1 - i) * 24) / ((count - 1) * (count - 1));
    nodes[i] = static_cast<uint8_t>(std::min(255, linear + bend));
  }
  return nodes;
}

size_t ColourTableGridOffset(const ColourTableSpec &shape) {
  return shape.format == 128 ? 77 + 4 * shape.gridSize : 76 + 3 * shape.gridSize;
}

size_t ColourTableAuxOffset(const Bytes &resource) {
  return resource[16] | resource[17] << 8 | resource[18] << 16 |
         static_cast<size_t>(resource[19]) << 24;
}

namespace {

// The four inks of an RGB colour: cyan, magenta, yellow and black with
// part of the grey component moved to black.
void Separate(int r, int g, int b, uint8_t ink[4]) {
  const int c = 255 - r, m = 255 - g, y = 255 - b;
  const int k = std::min({c, m, y});
  const int black = k * k / 255;
  ink[0] = Clamp255(c - black * 3 / 4);
  ink[1] = Clamp255(m - black * 3 / 4 + (c > 200 ? 6 : 0));
  ink[2] = Clamp255(y - black * 2 / 3);
  ink[3] = Clamp255(black);
}

}  // namespace

std::string MethodName(uint32_t method) { return std::string("M").append(std::to_string(method)); }

std::string KeyName(int32_t tableKeyName, int keyBase) {
  if (keyBase < 0) return std::string("P").append(std::to_string(tableKeyName));
  return std::string("K").append(std::to_string(tableKeyName - keyBase));
}

std::string ModeName(int32_t matchMode) {
  return std::string("D").append(std::to_string(matchMode));
}

Bytes SelectionTable(int version, const std::vector<SelectionLine> &lines,
                     int keyBase) {
  std::string text = "; generated selection table //" + std::to_string(version) +
                     " scenario\r\n";
  text += "table\thalftone method key x y mode number dots\r\n";
  for (const SelectionLine &l : lines) {
    text += std::to_string(l.tableId) + " " + std::to_string(l.halftoneId) + "\t" +
            l.method + " " + l.key + "  " + std::to_string(l.x) + " " +
            std::to_string(l.y) + " " + l.mode + " " + std::to_string(l.keyNumber) +
            " " + std::to_string(l.dotMode) + "\n";
  }
  text += "/end of entries\n";
  text += "M0 M1 M2 M3\n";
  if (keyBase < 0) {
    text += "P0 P1 P2 P3 P4\n";
  } else {
    text += std::to_string(keyBase) + " K0 K1 K2 K3 K4\n";
  }
  text += "D0 D1 D2 D3 D4 D5 D6 D7\n";
  text += "0\n";
  Bytes out(text.begin(), text.end());
  out.push_back(0);
  return out;
}

Bytes ColourTable(const ColourTableSpec &shape) {
  const int g = shape.gridSize;
  const bool fourInput = shape.format == 128;
  Bytes out(72, 0);
  const char kName[] = "scenario table";
  std::copy(kName, kName + 15, out.begin());
  out[15] = shape.format;
  out[24] = shape.kind;
  out[32] = 20;  // dominant reduction, cyan / magenta / yellow
  out[33] = 10;
  out[34] = 30;
  out[36] = static_cast<uint8_t>(-4);  // hue shifts
  out[37] = 6;
  out[38] = static_cast<uint8_t>(-2);
  out[39] = 12;  // saturation boost
  out[42] = 8;   // pair reduction
  out[43] = static_cast<uint8_t>(-5);
  out[44] = 3;
  Bytes params;
  PutU16BE(params, static_cast<uint16_t>(shape.inkLoadLight));
  PutU16BE(params, static_cast<uint16_t>(shape.inkLoadDark));
  PutU16BE(params, 120);
  PutU16BE(params, static_cast<uint16_t>(-200));
  PutU16BE(params, 7);
  std::copy(params.begin(), params.end(), out.begin() + 48);
  const int16_t levels[4] = {64, -3, 900, 12};
  for (int i = 0; i < 4; ++i) {
    out[64 + 2 * i] = static_cast<uint8_t>(static_cast<uint16_t>(levels[i]) >> 8);
    out[65 + 2 * i] = static_cast<uint8_t>(levels[i]);
  }
  out.push_back(static_cast<uint8_t>(g));
  out.push_back(static_cast<uint8_t>(g));
  out.push_back(static_cast<uint8_t>(g));
  out.push_back(fourInput ? static_cast<uint8_t>(g) : 4);
  if (fourInput) out.push_back(4);
  const std::vector<uint8_t> nodes = ColourTableNodes(g);
  for (int axis = 0; axis < (fourInput ? 4 : 3); ++axis) {
    out.insert(out.end(), nodes.begin(), nodes.end());
  }
  const int fourth = fourInput ? g : 1;
  for (int a = 0; a < g; ++a) {
    for (int b = 0; b < g; ++b) {
      for (int c = 0; c < g; ++c) {
        for (int d = 0; d < fourth; ++d) {
          uint8_t ink[4];
          Separate(nodes[a], nodes[b], nodes[c], ink);
          // The fourth input of a four-input table adds black.
          ink[3] = Clamp255(ink[3] + nodes[d] / 4);
          out.insert(out.end(), ink, ink + 4);
        }
      }
    }
  }
  for (int i = 0; i < g; ++i) out.push_back(static_cast<uint8_t>(255 - nodes[i]));
  if (shape.format == 50) {
    for (int i = 0; i < g; ++i) {
      const int dark = 255 - nodes[i];
      const uint8_t grey[4] = {Clamp255(dark / 4), Clamp255(dark / 5),
                               Clamp255(dark / 5), Clamp255(dark * 9 / 10)};
      out.insert(out.end(), grey, grey + 4);
    }
  }
  if (!shape.selectorRecord.empty()) {
    SetU32LE(out, 16, static_cast<uint32_t>(out.size()));
    SetU32LE(out, 20, static_cast<uint32_t>(shape.selectorRecord.size()));
    out.insert(out.end(), shape.selectorRecord.begin(), shape.selectorRecord.end());
  }
  return out;
}

Bytes SelectorRecordType1(uint16_t paletteId) {
  Bytes out;
  PutU32LE(out, 4);
  PutU16LE(out, 1);
  PutU16LE(out, paletteId);
  return out;
}

Bytes SelectorRecordType3(int16_t colourPalette, int16_t colourAlt,
                          int16_t greyPalette, int16_t greyAlt) {
  Bytes out;
  PutU32LE(out, 22);
  PutU16LE(out, 3);
  PutU16LE(out, 0);
  for (uint8_t b : {0xFB, 0x69, 0xF7, 0xDD}) out.push_back(b);
  PutU32LE(out, 0);
  PutU16LE(out, static_cast<uint16_t>(colourPalette));
  PutU16LE(out, static_cast<uint16_t>(colourAlt));
  PutU16LE(out, static_cast<uint16_t>(greyPalette));
  PutU16LE(out, static_cast<uint16_t>(greyAlt));
  PutU16LE(out, 0);  // the length counts 22 bytes after itself
  return out;
}

// The byte vectors below are sized once and filled in place: growing them
// piece by piece makes GCC 12 at -O3 warn of copies that cannot happen.
Bytes CalibrationBlock(uint8_t head, const std::vector<uint8_t> &values) {
  Bytes out(values.size() + 6);
  out[0] = 'C', out[1] = 'W', out[2] = ':', out[3] = head;
  std::copy(values.begin(), values.end(), out.begin() + 4);
  out[values.size() + 4] = 0xFE;
  out[values.size() + 5] = 0xFF;
  return out;
}

Bytes ChannelMap(const std::vector<std::vector<uint8_t>> &records) {
  Bytes out;
  for (const std::vector<uint8_t> &record : records) {
    out.insert(out.end(), record.begin(), record.end());
    out.push_back(0xFE);
  }
  out.push_back(0xFF);
  return out;
}

Bytes ReferenceValues(int mode, const std::vector<uint8_t> &values) {
  const size_t head = mode != 1 ? 1 : 0;
  Bytes out(head + values.size());
  if (head != 0) out[0] = static_cast<uint8_t>(mode);
  std::copy(values.begin(), values.end(), out.begin() + head);
  return out;
}

Bytes CalibrationCurves(int count) {
  Bytes out;
  const int middle = count / 2;
  for (int n = 0; n < count; ++n) {
    for (int v = 0; v < 256; ++v) {
      // Curve n lightens (n below the middle) or darkens the ink, the most
      // in the mid-tones; 0 and 255 stay put.
      const int shift = (n - middle) * v * (255 - v) / (255 * 24);
      out.push_back(Clamp255(v + shift));
    }
  }
  return out;
}

Bytes HostToneCurves() {
  Bytes out;
  for (int channel = 0; channel < 3; ++channel) {
    for (int v = 0; v < 256; ++v) {
      const int lift = (channel + 1) * v * (255 - v) / (255 * 16);
      out.push_back(Clamp255(v + (channel == 1 ? -lift : lift)));
    }
  }
  return out;
}

Bytes ResourceIdList(const std::vector<uint16_t> &ids) {
  Bytes out;
  for (uint16_t id : ids) PutU16BE(out, id);
  PutU16BE(out, 0xFFFF);
  return out;
}

Bytes GridResource(const std::vector<uint8_t> &positions) {
  Bytes out(2 + positions.size());
  out[0] = static_cast<uint8_t>(positions.size());
  out[1] = static_cast<uint8_t>(positions.size() >> 8);
  std::copy(positions.begin(), positions.end(), out.begin() + 2);
  return out;
}

std::vector<uint8_t> UniformGrid() {
  std::vector<uint8_t> positions;
  for (int i = 0; i < 31; ++i) positions.push_back(static_cast<uint8_t>(i * 8));
  positions.push_back(255);
  return positions;
}

std::vector<uint8_t> StretchedGrid() {
  // Half linear, half quadratic: cells narrow towards the light end.
  std::vector<uint8_t> positions;
  for (int i = 0; i < 32; ++i) {
    positions.push_back(static_cast<uint8_t>((i * 255 / 31 + i * i * 255 / 961) / 2));
  }
  return positions;
}

Bytes ThresholdMatrix(uint32_t width, uint32_t height, uint32_t seed) {
  const uint32_t size = width * height;
  std::vector<uint16_t> ranks(size);
  for (uint32_t i = 0; i < size; ++i) ranks[i] = static_cast<uint16_t>(i);
  // Fisher-Yates with a xorshift generator: a fixed, platform-independent
  // order.
  uint32_t state = seed | 1u;
  for (uint32_t i = size - 1; i > 0; --i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    std::swap(ranks[i], ranks[state % (i + 1)]);
  }
  auto code = [](uint32_t n) {
    return static_cast<uint8_t>(n == 256 ? 255 : n == 512 ? 239 : n);
  };
  Bytes out = {code(width), code(height), 0, 0};
  for (uint16_t rank : ranks) PutU16LE(out, rank);
  return out;
}

Bytes DotPalette(int style) {
  Bytes out;
  for (int p = 0; p < 256; ++p) {
    // Ink amount grows with the level; small dots first, then medium, then
    // large. Style 1 moves to the larger dots sooner.
    const int total = p * (style == 1 ? 250 : 236) / 255;
    const int smallLimit = style == 1 ? 60 : 90;
    const int small = std::min(total, smallLimit);
    const int medium = std::clamp(total - smallLimit, 0, 80);
    const int large = std::max(0, total - smallLimit - 80);
    out.push_back(static_cast<uint8_t>(small));
    out.push_back(static_cast<uint8_t>(medium));
    out.push_back(static_cast<uint8_t>(large));
  }
  return out;
}

}  // namespace inkdot::scenario
