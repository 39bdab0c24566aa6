// SPDX-License-Identifier: Apache-2.0
#include "test_resources.h"

#include <unistd.h>

#include <atomic>
#include <fstream>

#include "inkdot/formats/calibration.h"
#include "inkdot/formats/colour_table.h"
#include "inkdot/formats/halftone_resources.h"

namespace inkdot::testing {

namespace write = formats::write;

Bytes TextBytes(const std::string &text) { return Bytes(text.begin(), text.end()); }

Bytes SelectionTable(const std::vector<std::string> &entries, const std::string &version) {
  std::string text = "test table //" + version + "\r\nid next method key x y mode number dots\r\n";
  for (const auto &line : entries) text += line + "\r\n";
  text += "/end\r\ndither diffusion midpoint screen\r\n0 keyA\r\nnormal m1 m2 m3 enhanced\r\n0\r\n";
  return TextBytes(text);
}

std::vector<std::string> SelectionEntries(int tableId, int listId) {
  std::vector<std::string> lines;
  for (const char *resolution : {"720 720", "1440 720"}) {
    for (const char *method : {"diffusion", "midpoint", "screen"}) {
      for (const char *mode : {"normal", "enhanced"}) {
        lines.push_back(std::to_string(tableId) + " " + std::to_string(listId) + " " + method +
                        " keyA " + resolution + " " + mode + " 0 0");
      }
    }
  }
  return lines;
}

void SeparationAt(uint8_t r, uint8_t g, uint8_t b, uint8_t out[4]) {
  const int c = 255 - r, m = 255 - g, y = 255 - b;
  const int k = std::min(c, std::min(m, y));
  out[0] = static_cast<uint8_t>(c - k);
  out[1] = static_cast<uint8_t>(m - k);
  out[2] = static_cast<uint8_t>(y - k);
  out[3] = static_cast<uint8_t>(k);
}

Bytes ColourTable(const ColourTableSpec &shape) {
  const bool four = shape.format == formats::colour_table_layout::kFourInputFormat;
  const int g = shape.grid;
  write::ColourTable table;
  table.format = shape.format;
  table.kind = shape.kind;
  table.inkLoadLight = shape.inkLoadLight;
  table.inkLoadDark = shape.inkLoadDark;
  table.channelCount = shape.channels;
  std::vector<uint8_t> nodes(g);
  for (int i = 0; i < g; ++i) nodes[i] = static_cast<uint8_t>(i * 255 / (g - 1));
  table.nodes1 = table.nodes2 = table.nodes3 = nodes;
  if (four) table.nodes4 = nodes;
  const int fourth = four ? g : 1;
  for (int i = 0; i < g; ++i) {
    for (int j = 0; j < g; ++j) {
      for (int k = 0; k < g; ++k) {
        for (int l = 0; l < fourth; ++l) {
          uint8_t inks[4];
          SeparationAt(nodes[i], nodes[j], nodes[k], inks);
          for (int c = 0; c < shape.channels; ++c) table.grid.push_back(c < 4 ? inks[c] : 0);
        }
      }
    }
  }
  for (int i = 0; i < g; ++i) table.neutralBlack.push_back(static_cast<uint8_t>(255 - nodes[i]));
  if (shape.format == formats::colour_table_layout::kGreyBlockFormat) {
    for (int i = 0; i < g; ++i) {
      for (int c = 0; c < shape.channels; ++c) {
        table.greyBlock.push_back(c == shape.channels - 1 ? static_cast<uint8_t>(255 - nodes[i]) : 0);
      }
    }
  }
  if (shape.selector) table.selector = write::WriteSelectorRecord(write::SinglePaletteSelector{shape.paletteId});
  return write::WriteColourTable(table);
}

Bytes IdList(const std::vector<uint16_t> &ids) { return write::WriteResourceIdList({ids}); }

Bytes Grid() {
  write::GridResource grid;
  for (int i = 0; i < 31; ++i) grid.positions.push_back(static_cast<uint8_t>(i * 8));
  grid.positions.push_back(255);
  return write::WriteGridResource(grid);
}

Bytes Matrix(uint8_t widthCode, uint8_t heightCode) {
  const uint32_t w = formats::matrix_layout::DecodeSide(widthCode);
  const uint32_t h = formats::matrix_layout::DecodeSide(heightCode);
  write::ThresholdMatrix matrix{w, h, {}};
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      // Bayer rank: the bits of x ^ y and y interleaved in reverse order,
      // so neighbouring pixels get far-apart ranks. For a square power of
      // two this visits every rank once; other shapes wrap into range.
      uint32_t bits = 0;
      while ((1u << bits) < std::max(w, h)) ++bits;
      uint32_t rank = 0;
      for (uint32_t i = 0; i < bits; ++i) {
        const uint32_t at = 2 * (bits - 1 - i);
        rank |= (((x ^ y) >> i) & 1u) << (at + 1);
        rank |= ((y >> i) & 1u) << at;
      }
      rank %= w * h;
      matrix.thresholds.push_back(static_cast<uint16_t>(rank));
    }
  }
  return write::WriteThresholdMatrix(matrix);
}

Bytes Palette() {
  write::DotPalette palette;
  for (int p = 0; p < 256; ++p) {
    const uint8_t third = static_cast<uint8_t>(p / 3);
    palette.levels[p] = {static_cast<uint8_t>(p - 2 * third), third, third};
  }
  return write::WriteDotPalette(palette);
}

Bytes ChannelMap(uint8_t head, uint8_t channels) {
  write::ChannelMapRecord other{static_cast<uint8_t>(head + 1), {}};  // another head's record first
  write::ChannelMapRecord own{head, {}};
  for (uint8_t c = 0; c < channels; ++c) {
    other.planes.push_back(static_cast<uint8_t>(channels - 1 - c));
    own.planes.push_back(c);
  }
  return write::WriteChannelMap({other, own});
}

Bytes ReferenceValues(uint8_t value, uint8_t channels) {
  return write::WriteReferenceValues({std::nullopt, Bytes(channels, value)});
}

Bytes IdentityCurves(int count) {
  write::Curve identity;
  for (int v = 0; v < 256; ++v) identity[v] = static_cast<uint8_t>(v);
  return write::WriteCurves(std::vector<write::Curve>(static_cast<size_t>(count), identity));
}

void WriteFile(const std::filesystem::path &path, const Bytes &bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteTestProfile(const std::filesystem::path &dir, const TestProfileOptions &options) {
  WriteFile(dir / "colour/selection.txt", SelectionTable(SelectionEntries(5000, 400)));
  WriteFile(dir / "colour/5000.ctb",
            options.colourTable.empty() ? ColourTable() : options.colourTable);
  WriteFile(dir / "colour/980.map", ChannelMap(1, 4));
  WriteFile(dir / "colour/990.ref", ReferenceValues(50, 4));
  WriteFile(dir / "colour/5900.txt", SelectionTable(SelectionEntries(5950, 0)));
  WriteFile(dir / "colour/5950.crv", IdentityCurves(21));
  WriteFile(dir / "halftone/400.ids", IdList({410, 411, 411, 411, 411, 411}));
  WriteFile(dir / "halftone/410.grid", Grid());
  WriteFile(dir / "halftone/411.mtx", options.matrix.empty() ? Matrix(16, 16) : options.matrix);
  WriteFile(dir / "halftone/420.pal", Palette());
  const std::string manifest = R"({
  "format": 1,
  "name": "test",
  "description": "four inks for the host tests",
  "inks": [
    {"name": "cyan", "color": "#00A0E4"},
    {"name": "magenta", "color": "#e4007C"},
    {"name": "yellow", "color": "#FFE600"},
    {"name": "black", "color": "#231F20"}
  ],
  "resolutions": [[720, 720], [1440, 720]],
  "dotModes": [0, 2],
  "methods": {"midpoint": 0, "diffusion": 1, "screen": {"method": 3, "variant": 0},
              "dither": {"method": 3, "variant": 1}},
  "tableKey": {"name": 0, "number": 0},
  "calibrationHeadId": 1,
  "colourResources": [
    {"id": 0, "kind": "selectionTable", "file": "colour/selection.txt"},
    {"id": 5000, "kind": "colourTable", "file": "colour/5000.ctb"},
    {"id": 980, "kind": "channelMap", "file": "colour/980.map"},
    {"id": 990, "kind": "referenceValues", "file": "colour/990.ref"},
    {"id": 5900, "kind": "selectionTable", "file": "colour/5900.txt"},
    {"id": 5950, "kind": "calibrationCurves", "file": "colour/5950.crv"}
  ],
  "halftoneResources": [
    {"id": 400, "kind": "idList", "file": "halftone/400.ids"},
    {"id": 410, "kind": "grid", "file": "halftone/410.grid"},
    {"id": 411, "kind": "matrix", "file": "halftone/411.mtx"},
    {"id": 420, "kind": "palette", "file": "halftone/420.pal"}
  ]
}
)";
  WriteFile(dir / "profile.json", TextBytes(manifest));
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("inkdot-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace inkdot::testing
