// SPDX-License-Identifier: Apache-2.0
#include "colour/colour_table.h"

#include <cstring>

#include "colour/cm_context.h"
#include "colour/interpolate.h"
#include "frame/memory_blocks.h"
#include "inkdot/formats/colour_table_layout.h"

namespace inkdot {

namespace {

namespace layout = formats::colour_table_layout;

constexpr uint8_t kFourInputFormat = layout::kFourInputFormat;
constexpr uint8_t kGreyBlockFormat = layout::kGreyBlockFormat;
constexpr int32_t kMaxGridSize = static_cast<int32_t>(layout::kMaxGridSize);
constexpr int32_t kNeutralBalance = 50;

constexpr uint32_t kFormatAt = layout::kFormatAt;
constexpr uint32_t kAuxOffsetAt = layout::kAuxOffsetAt;
constexpr uint32_t kAuxLengthAt = layout::kAuxLengthAt;
constexpr uint32_t kKindAt = layout::kKindAt;
constexpr uint32_t kDominantReductionAt = layout::kDominantReductionAt;
constexpr uint32_t kHueShiftAt = layout::kHueShiftAt;
constexpr uint32_t kSaturationBoostAt = layout::kSaturationBoostAt;
constexpr uint32_t kPairReductionAt = layout::kPairReductionAt;
constexpr uint32_t kInkLoadLightAt = layout::kInkLoadLightAt;
constexpr uint32_t kInkLoadDarkAt = layout::kInkLoadDarkAt;
constexpr uint32_t kInkParamsAt = layout::kInkParamsAt;
constexpr uint32_t kLevelParamsAt = layout::kLevelParamsAt;
constexpr uint32_t kGridSizesAt = layout::kGridSizesAt;
// The halftone side reads this much of the dot-mode selector record.
constexpr uint32_t kSelectorRecordBytes = formats::selector_layout::kLongestRead;

uint32_t LittleEndian32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t BigEndianSigned16(const uint8_t *p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] << 8 | p[1]));
}

// Where the parts of the resource lie, from its grid sizes.
struct Layout {
  bool fourInputs;
  int32_t size1, size2, size3, size4;
  int32_t channels;
  const uint8_t *nodes1, *nodes2, *nodes3;  // nodes3: the list the CmLut keeps
  const uint8_t *table;
  uint32_t tableBytes;
  const uint8_t *neutralBlack;
  const uint8_t *greyBlock;
};

Layout LayOut(const uint8_t *resource) {
  Layout l{};
  l.fourInputs = resource[kFormatAt] == kFourInputFormat;
  const uint8_t *sizes = resource + kGridSizesAt;
  l.size1 = sizes[0];
  l.size2 = sizes[1];
  l.size3 = sizes[2];
  l.size4 = l.fourInputs ? sizes[3] : 1;
  l.channels = l.fourInputs ? sizes[4] : sizes[3];
  l.nodes1 = resource + kGridSizesAt + (l.fourInputs ? 5 : 4);
  l.nodes2 = l.nodes1 + l.size1;
  l.nodes3 = l.nodes2 + l.size2;
  l.table = l.nodes3 + l.size3;
  if (l.fourInputs) {
    // The fourth axis's list follows the third and takes its place.
    l.nodes3 = l.table;
    l.table += l.size3;
  }
  l.tableBytes = static_cast<uint32_t>(l.channels) * static_cast<uint32_t>(l.size1) *
                 static_cast<uint32_t>(l.size2) * static_cast<uint32_t>(l.size3) *
                 static_cast<uint32_t>(l.size4);
  l.neutralBlack = l.table + l.tableBytes;
  l.greyBlock = l.neutralBlack + l.size1;
  return l;
}

// A node list the interpolator can walk: starts at 0, ends at 255, rises
// strictly (which also needs two nodes at least).
bool NodesUsable(const uint8_t *nodes, int32_t count) {
  if (count < 2 || nodes[0] != 0 || nodes[count - 1] != 255) return false;
  for (int32_t n = 1; n < count; ++n) {
    if (nodes[n] <= nodes[n - 1]) return false;
  }
  return true;
}

// A cube of at most 36 nodes per axis, with usable node lists and at least
// one channel; anything else cannot be held in the CmLut or interpolated.
bool LayoutUsable(const Layout &l) {
  if (l.size1 > kMaxGridSize || l.size2 != l.size1 || l.size3 != l.size1) return false;
  if (l.fourInputs && l.size4 != l.size1) return false;
  if (l.channels == 0) return false;
  return NodesUsable(l.nodes1, l.size1) && NodesUsable(l.nodes2, l.size2) &&
         NodesUsable(l.nodes3, l.size3);
}

// The ink-load divisor D for x, scaled by 255 (D = 255 divides by 1).
// (L - K) x (255 - x)^2 can leave 32 bits for extreme pairs; it wraps as the
// signed 32-bit arithmetic of the format does, computed unsigned and cast.
int32_t InkLoadDivisor(int32_t light, int32_t dark, uint32_t x) {
  const uint32_t span = (255u - x) * (255u - x);
  const int32_t blend = static_cast<int32_t>(
      static_cast<uint32_t>(light - dark) * span + 1u);
  return (blend / 255 + dark * 255) / 100;
}

// The 256 values of the ink-load curve.
void InkLoadCurve(int32_t light, int32_t dark, uint8_t curve[256]) {
  for (uint32_t x = 0; x < 256; ++x) {
    curve[x] = InkLoadLevel(light, dark, static_cast<uint8_t>(x));
  }
}

bool CompositeGray(const CmContext *cm) {
  if (cm->params.grayMode == 1) return true;
  return cm->page.inputFormat != 0 && cm->params.neutralBalance != kNeutralBalance;
}

// Rewrites the grey diagonal to black ink only: step i gets K[i] in its last
// channel, and in the others K[i] for method 2, else 0. Kind 3 with colour
// then passes the black through the ink-load curve.
void BlackOnlyDiagonal(const CmContext *cm, const Layout &l, uint8_t *table) {
  const CmLut *lut = cm->lut;
  const uint32_t channels = static_cast<uint32_t>(l.channels);
  const uint32_t size = static_cast<uint32_t>(l.size1);
  const uint32_t diagonalStep = size * (size + 1) + 1;
  const bool inkLoad = lut->tableKind == 3 && cm->page.colorMode != 0;
  uint8_t curve[256];
  if (inkLoad) InkLoadCurve(lut->inkLoadLight, lut->inkLoadDark, curve);
  for (uint32_t i = 0; i < size; ++i) {
    uint8_t *node = table + i * diagonalStep * channels;
    const uint8_t black = l.neutralBlack[i];
    const uint8_t colour = cm->page.method == 2 ? black : 0;
    std::memset(node, colour, channels - 1);
    node[channels - 1] = inkLoad ? curve[black] : black;
  }
}

// Takes the grey diagonal from the resource's grey block.
void GreyBlockDiagonal(const Layout &l, uint8_t *table) {
  const uint32_t channels = static_cast<uint32_t>(l.channels);
  const uint32_t size = static_cast<uint32_t>(l.size1);
  const uint32_t diagonalStep = size * (size + 1) + 1;
  for (uint32_t i = 0; i < size; ++i) {
    std::memcpy(table + i * diagonalStep * channels, l.greyBlock + i * channels,
                channels);
  }
}

}  // namespace

bool InkLoadUsable(int32_t inkLoadLight, int32_t inkLoadDark) {
  for (uint32_t x = 0; x < 256; ++x) {
    if (InkLoadDivisor(inkLoadLight, inkLoadDark, x) <= 0) return false;
  }
  return true;
}

bool ResourceInkLoadUsable(const uint8_t *resource) {
  return InkLoadUsable(BigEndianSigned16(resource + kInkLoadLightAt),
                       BigEndianSigned16(resource + kInkLoadDarkAt));
}

uint8_t InkLoadLevel(int32_t inkLoadLight, int32_t inkLoadDark, uint8_t x) {
  const int32_t d = InkLoadDivisor(inkLoadLight, inkLoadDark, x);
  if (d <= 0) return x;  // refused before any table is passed through it
  return static_cast<uint8_t>((d / 2 + x * 255) / d);
}

ResultCode DecodeColourTable(CmContext *cm, const uint8_t *resource) {
  CmLut *lut = cm->lut;
  const Layout l = LayOut(resource);
  if (!LayoutUsable(l)) return kBadResource;

  const int32_t kind = resource[kKindAt] == 2 ? 1 : resource[kKindAt];
  const bool compositeGray = CompositeGray(cm);
  const bool blackOnly = !compositeGray && (kind == 1 || kind == 3);
  if (blackOnly && kind == 3 && cm->page.colorMode != 0 &&
      !ResourceInkLoadUsable(resource)) {
    return kBadResource;
  }

  lut->tableResourceId = cm->matchedId;
  lut->halftoneResourceId = cm->matchedNext;
  cm->tableFormat = resource[kFormatAt];

  const uint32_t auxLength = LittleEndian32(resource + kAuxLengthAt);
  if (auxLength != 0) {
    uintptr_t handle = 0;
    void *copy = nullptr;
    // The halftone side reads up to kSelectorRecordBytes of the record
    // whatever length it came with; a shorter copy is padded with zeros.
    const uint32_t blockBytes = auxLength < kSelectorRecordBytes ? kSelectorRecordBytes : auxLength;
    const ResultCode result = MemAcquire(blockBytes, 1, &handle, &copy);
    if (result != kOk) return result;
    std::memcpy(copy, resource + LittleEndian32(resource + kAuxOffsetAt), auxLength);
    lut->selectorRecord = static_cast<const uint8_t *>(copy);
    lut->selectorHandle = handle;
  } else {
    lut->selectorHandle = 0;
  }

  lut->tableKind = kind;
  for (int n = 0; n < 3; ++n) {
    cm->dominantReduction[n] = resource[kDominantReductionAt + n];
    cm->hueShift[n] = static_cast<int8_t>(resource[kHueShiftAt + n]);
    cm->pairReduction[n] = static_cast<int8_t>(resource[kPairReductionAt + n]);
  }
  cm->saturationBoost = static_cast<int8_t>(resource[kSaturationBoostAt]);

  lut->inkLoadLight = BigEndianSigned16(resource + kInkLoadLightAt);
  lut->inkLoadDark = BigEndianSigned16(resource + kInkLoadDarkAt);
  for (int n = 0; n < 3; ++n) {
    lut->inkParams[n] = BigEndianSigned16(resource + kInkParamsAt + 2 * n);
  }
  for (int n = 0; n < 4; ++n) {
    lut->levelParams[n] = BigEndianSigned16(resource + kLevelParamsAt + 2 * n);
  }

  lut->gridSize1 = l.size1;
  lut->gridSize2 = l.size2;
  lut->gridSize3 = l.size3;
  lut->gridSize4 = l.size4;
  lut->channelCount = l.channels;
  std::memcpy(lut->nodes1, l.nodes1, static_cast<size_t>(l.size1));
  std::memcpy(lut->nodes2, l.nodes2, static_cast<size_t>(l.size2));
  std::memcpy(lut->nodes3, l.nodes3, static_cast<size_t>(l.size3));

  lut->compositeGray = compositeGray ? 1 : 0;

  uintptr_t tableHandle = 0;
  void *table = nullptr;
  const ResultCode result = MemAcquire(l.tableBytes, 1, &tableHandle, &table);
  if (result != kOk) return result;  // the selector copy stays for CmDelete
  std::memcpy(table, l.table, l.tableBytes);
  lut->tableHandle = tableHandle;
  lut->tableData = static_cast<uint8_t *>(table);

  if (blackOnly) BlackOnlyDiagonal(cm, l, lut->tableData);
  if (cm->params.colorAdjustMode == 2 && compositeGray &&
      cm->tableFormat == kGreyBlockFormat && cm->params.grayMode == 0) {
    GreyBlockDiagonal(l, lut->tableData);
  }
  return kOk;
}

void ApplyInkLoad(CmLut *lut) {
  uint8_t curve[256];
  InkLoadCurve(lut->inkLoadLight, lut->inkLoadDark, curve);
  const uint32_t bytes =
      static_cast<uint32_t>(lut->gridSize1) * static_cast<uint32_t>(lut->gridSize2) *
      static_cast<uint32_t>(lut->gridSize3) * static_cast<uint32_t>(lut->channelCount);
  uint8_t *table = lut->tableData;
  for (uint32_t n = 0; n < bytes; ++n) table[n] = curve[table[n]];
}

void BuildGrayToBlack(CmLut *lut) {
  const uint32_t black = static_cast<uint32_t>(lut->channelCount) - 1;
  uint8_t node[256];
  for (uint32_t v = 0; v < 256; ++v) {
    const uint8_t grey = static_cast<uint8_t>(v);
    const uint8_t pixel[4] = {0, grey, grey, grey};
    InterpolateRun(lut, 1, pixel, node);
    lut->grayToBlack[v] = node[black];
  }
  // Every grey but white keeps a trace of black in a table with a black
  // axis (non-zero kind); in one without, only white may reach 255.
  for (uint32_t v = 0; v < 255; ++v) {
    if (lut->tableKind != 0 && lut->grayToBlack[v] == 0) lut->grayToBlack[v] = 1;
    if (lut->tableKind == 0 && lut->grayToBlack[v] == 255) lut->grayToBlack[v] = 254;
  }
}

}  // namespace inkdot
