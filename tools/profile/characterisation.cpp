// SPDX-License-Identifier: Apache-2.0
#include "characterisation.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "colour_table.h"
#include "halftone_resources.h"
#include "inkdot/host/print_job.h"

namespace inkdot::profile {
namespace {

constexpr int kGrid = 32;        // the halftone grid the profiles use
constexpr uint32_t kPatch = 40;  // patch side in device pixels
constexpr uint32_t kMargin = 8;  // left out of the measurement on each side
constexpr uint32_t kColumns = 64;

// A colour table whose nodes sit on the halftone grid's positions, so a
// pixel at a node's RGB prints that node's levels exactly. Node n holds
// patch n; nodes on the grey diagonal are left out (the engine may rewrite
// them).
struct PatchTable {
  std::vector<uint8_t> positions;
  std::vector<uint32_t> nodeOfPatch;
  Bytes bytes;
};

PatchTable MakePatchTable(const std::vector<Levels> &patches, bool upperNode) {
  PatchTable out;
  out.positions = GridPositions(kGrid);
  ColourTable table;
  table.nodes = out.positions;
  table.kind = 0;
  table.levels.assign(static_cast<size_t>(kGrid) * kGrid * kGrid * 4, 0);
  table.neutralBlack.assign(kGrid, 0);
  uint32_t node = 0;
  for (const Levels &levels : patches) {
    const auto skip = [&](uint32_t n) {
      const uint32_t i = n / (kGrid * kGrid), j = n / kGrid % kGrid, k = n % kGrid;
      return (i == j && j == k) || (upperNode && (i == 0 || j == 0 || k == 0));
    };
    while (node < kGrid * kGrid * kGrid && skip(node)) ++node;
    if (node >= static_cast<uint32_t>(kGrid * kGrid * kGrid))
      throw std::runtime_error("too many patches");
    for (int k = 0; k < 4; ++k) table.levels[node * 4 + k] = levels[k];
    out.nodeOfPatch.push_back(node++);
  }
  out.bytes = EncodeColourTable(table);
  return out;
}

}  // namespace

host::Xyz WorkingValue(const host::PrinterModel &printer, const host::AreaTerm &mean) {
  if (!printer.measured) return {mean[0], mean[1], mean[2]};
  const host::Xyz xyz = host::AreaXyz(printer, mean);
  host::Xyz term;
  for (int c = 0; c < 3; ++c)
    term[c] = std::pow(std::max(xyz[c], 0.0), 1 / printer.yuleNielsen);
  return term;
}

std::vector<uint8_t> NodeSourceValues(const PrintMode &mode) {
  std::vector<uint8_t> values = GridPositions(kGrid);
  if (mode.upperNode) {
    // Node n serves [g(n-1), g(n)): it holds the colour of the middle of
    // that span, which halves the worst step error; the last node holds
    // 255, which a channel at 255 reaches (it never steps past the last
    // point).
    const std::vector<uint8_t> positions = values;
    for (int n = 1; n < kGrid - 1; ++n)
      values[n] = static_cast<uint8_t>((positions[n - 1] + positions[n]) / 2);
  }
  return values;
}

std::vector<PatchReading> MeasurePatches(const host::Profile &profile,
                                         const PrintMode &mode,
                                         const host::PrinterModel &printer,
                                         const std::vector<Levels> &patches) {
  const PatchTable table = MakePatchTable(patches, mode.upperNode);
  // The value that prints a node: its position, or for a kernel that takes
  // the point above, one below the node's position.
  const auto value = [&](uint32_t index) {
    return static_cast<uint16_t>((table.positions[index] - (mode.upperNode ? 1 : 0)) *
                                 257);
  };
  host::Profile patched = profile;
  host::Resource &resource = patched.colourResources.at(mode.tableId);
  // Keep the ink-load fields and the selector record of the table it stands in for.
  Bytes bytes = table.bytes;
  const auto &original = resource.bytes;
  for (int i = 48; i < 52; ++i) bytes[i] = original[i];
  const uint32_t selectorOffset =
      original[16] | original[17] << 8 | original[18] << 16 | original[19] << 24;
  const uint32_t selectorLength =
      original[20] | original[21] << 8 | original[22] << 16 | original[23] << 24;
  if (selectorLength) {
    const uint32_t at = static_cast<uint32_t>(bytes.size());
    bytes.insert(bytes.end(), original.begin() + selectorOffset,
                 original.begin() + selectorOffset + selectorLength);
    for (int i = 0; i < 4; ++i) bytes[16 + i] = static_cast<uint8_t>(at >> (8 * i));
    for (int i = 0; i < 4; ++i)
      bytes[20 + i] = static_cast<uint8_t>(selectorLength >> (8 * i));
  }
  resource.bytes = bytes;
  resource.bytes.push_back(0);

  const uint32_t rows =
      static_cast<uint32_t>((patches.size() + kColumns - 1) / kColumns);
  host::Image image;
  image.width = kColumns * kPatch;
  image.height = rows * kPatch;
  image.channels = 3;
  image.samples.assign(static_cast<size_t>(image.width) * image.height * 3, 0xFFFF);
  for (size_t p = 0; p < patches.size(); ++p) {
    const uint32_t node = table.nodeOfPatch[p];
    const uint16_t rgb[3] = {value(node / (kGrid * kGrid)), value(node / kGrid % kGrid),
                             value(node % kGrid)};
    const uint32_t x0 = static_cast<uint32_t>(p % kColumns) * kPatch;
    const uint32_t y0 = static_cast<uint32_t>(p / kColumns) * kPatch;
    for (uint32_t y = y0; y < y0 + kPatch; ++y) {
      for (uint32_t x = x0; x < x0 + kPatch; ++x) {
        for (int c = 0; c < 3; ++c)
          image.samples[(static_cast<size_t>(y) * image.width + x) * 3 + c] = rgb[c];
      }
    }
  }

  host::PrintSettings settings;
  settings.method = mode.method;
  settings.methodVariant = mode.variant;
  settings.xResolution = mode.xResolution;
  settings.yResolution = mode.yResolution;
  settings.dotMode = mode.dotMode;
  settings.pageThreads = 1;
  const host::DotPage page = host::PrintImage(patched, settings, image);
  if (page.width != image.width || page.height != image.height ||
      page.inks.size() != 4) {
    throw std::runtime_error("the characterisation page came out in another size");
  }

  // Working value and coverage of every dot combination a pixel can hold.
  const uint32_t bits = page.bitsPerPixel;
  const uint32_t codes = 1u << bits;
  std::vector<host::AreaTerm> terms(1u << (4 * bits));
  std::vector<std::array<double, 4>> coverages(terms.size());
  for (uint32_t combination = 0; combination < terms.size(); ++combination) {
    std::array<double, 4> coverage{};
    for (uint32_t k = 0; k < 4; ++k) {
      const uint32_t code = (combination >> (k * bits)) & (codes - 1);
      coverage[k] = code == 0 ? 0.0 : bits == 1 ? 1.0 : printer.dotCoverage[code - 1];
    }
    terms[combination] = host::PixelTerm(printer, coverage);
    coverages[combination] = coverage;
  }

  std::vector<PatchReading> readings(patches.size());
  const uint32_t side = kPatch - 2 * kMargin;
  for (size_t p = 0; p < patches.size(); ++p) {
    const uint32_t x0 = static_cast<uint32_t>(p % kColumns) * kPatch + kMargin;
    const uint32_t y0 = static_cast<uint32_t>(p / kColumns) * kPatch + kMargin;
    PatchReading &reading = readings[p];
    host::AreaTerm sum{};
    for (uint32_t y = y0; y < y0 + side; ++y) {
      for (uint32_t x = x0; x < x0 + side; ++x) {
        uint32_t combination = 0;
        for (uint32_t k = 0; k < 4; ++k)
          combination |= static_cast<uint32_t>(page.Code(k, x, y)) << (k * bits);
        for (int c = 0; c < 4; ++c) sum[c] += terms[combination][c];
        for (int k = 0; k < 4; ++k) reading.coverage[k] += coverages[combination][k];
      }
    }
    const double n = static_cast<double>(side) * side;
    for (int c = 0; c < 4; ++c) sum[c] /= n;
    for (int k = 0; k < 4; ++k) reading.coverage[k] /= n;
    reading.lab = host::AreaLab(printer, sum);
    reading.term = WorkingValue(printer, sum);
  }
  return readings;
}

}  // namespace inkdot::profile
