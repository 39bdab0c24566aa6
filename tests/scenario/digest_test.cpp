// The scenario's own building blocks: if a resource builder wrote a format
// wrongly, or the digest missed bytes, the page digests would compare equal
// while proving little.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "digest.h"
#include "resources.h"

namespace inkdot::scenario {
namespace {

uint32_t U32LE(const Bytes &b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(ScenarioDigest, MatchesPublishedFnv1aVectors) {
  Digest empty;
  EXPECT_EQ(empty.Hex(), "cbf29ce484222325");
  Digest a;
  a.AddBytes("a", 1);
  EXPECT_EQ(a.Hex(), "af63dc4c8601ec8c");
  Digest foobar;
  foobar.AddBytes("foobar", 6);
  EXPECT_EQ(foobar.value(), 0x85944171f73967e8u);
}

TEST(ScenarioDigest, WordsGoInLeastSignificantByteFirst) {
  Digest bytes;
  bytes.AddBytes("abcd", 4);
  Digest word;
  word.AddWord(0x64636261u);  // 'd' 'c' 'b' 'a'
  EXPECT_EQ(word.value(), bytes.value());
}

TEST(ScenarioResources, MatrixHoldsEveryRankOnceUnderTheSizeCodes) {
  for (const auto &[width, height] : {std::pair{32u, 32u}, {256u, 16u}, {512u, 8u}}) {
    const Bytes m = ThresholdMatrix(width, height, 7);
    const uint8_t widthCode = width == 256 ? 255 : width == 512 ? 239 : width;
    EXPECT_EQ(m[0], widthCode);
    EXPECT_EQ(m[1], height);
    ASSERT_EQ(m.size(), 4 + 2 * width * height);
    std::vector<bool> seen(width * height, false);
    for (uint32_t i = 0; i < width * height; ++i) {
      const uint32_t rank = m[4 + 2 * i] | m[5 + 2 * i] << 8;
      ASSERT_LT(rank, width * height);
      EXPECT_FALSE(seen[rank]) << "rank " << rank << " twice";
      seen[rank] = true;
    }
  }
  // The order depends on its seed and on nothing else.
  EXPECT_EQ(ThresholdMatrix(64, 24, 3), ThresholdMatrix(64, 24, 3));
  EXPECT_NE(ThresholdMatrix(64, 24, 3), ThresholdMatrix(64, 24, 4));
}

TEST(ScenarioResources, GridsAndNodeListsRiseFromZeroTo255) {
  std::vector<std::vector<uint8_t>> lists = {UniformGrid(), StretchedGrid()};
  for (int g = 2; g <= 36; ++g) lists.push_back(ColourTableNodes(g));
  for (const std::vector<uint8_t> &list : lists) {
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list.front(), 0);
    EXPECT_EQ(list.back(), 255);
    EXPECT_TRUE(std::adjacent_find(list.begin(), list.end(), std::greater_equal<>()) ==
                list.end());
  }
  EXPECT_EQ(UniformGrid().size(), 32u);
  EXPECT_EQ(StretchedGrid().size(), 32u);
  const Bytes grid = GridResource(UniformGrid());
  EXPECT_EQ(grid[0] | grid[1] << 8, 32);
  EXPECT_EQ(grid.size(), 34u);
}

TEST(ScenarioResources, ColourTableLayoutFollowsTheGridSize) {
  ColourTableSpec shape;
  shape.gridSize = 5;
  const Bytes plain = ColourTable(shape);
  // Header 72, three sizes and the channel count, three node lists, the
  // 4-byte nodes, then one neutral black value per diagonal step.
  EXPECT_EQ(plain.size(), 76u + 3 * 5 + 4 * 125 + 5);
  EXPECT_EQ(ColourTableGridOffset(shape), 76u + 3 * 5);
  EXPECT_EQ(plain[72], 5);
  EXPECT_EQ(plain[75], 4);
  EXPECT_EQ(U32LE(plain, 20), 0u);  // no auxiliary record
  // Ink-load values are big-endian: 250 and 100.
  EXPECT_EQ(plain[48] << 8 | plain[49], 250);
  EXPECT_EQ(plain[50] << 8 | plain[51], 100);
  // White (the last node) takes no ink, black (the first) takes black.
  const size_t grid = ColourTableGridOffset(shape);
  EXPECT_EQ(std::vector<uint8_t>(plain.begin() + grid + 4 * 124, plain.begin() + grid + 4 * 125),
            std::vector<uint8_t>(4, 0));
  EXPECT_GT(plain[grid + 3], 200);

  shape.format = 50;
  shape.selectorRecord = SelectorRecordType1(601);
  const Bytes withGrey = ColourTable(shape);
  EXPECT_EQ(withGrey.size(), plain.size() + 5 * 4 + 8);
  EXPECT_EQ(U32LE(withGrey, 20), 8u);
  EXPECT_EQ(ColourTableAuxOffset(withGrey), plain.size() + 5 * 4);
  EXPECT_EQ(withGrey[ColourTableAuxOffset(withGrey) + 4], 1);  // record type

  shape.format = 128;
  shape.selectorRecord.clear();
  const Bytes fourInput = ColourTable(shape);
  EXPECT_EQ(fourInput[75], 5);  // the fourth axis
  EXPECT_EQ(fourInput[76], 4);  // then the channel count
  EXPECT_EQ(ColourTableGridOffset(shape), 77u + 4 * 5);
  EXPECT_EQ(fourInput.size(), 77u + 4 * 5 + 4 * 625 + 5);
}

TEST(ScenarioResources, SelectorRecordsCarryTheirLengthTypeAndSignature) {
  const Bytes one = SelectorRecordType1(0x1234);
  EXPECT_EQ(one, (Bytes{4, 0, 0, 0, 1, 0, 0x34, 0x12}));
  const Bytes three = SelectorRecordType3(602, 1, -1, 0);
  ASSERT_EQ(three.size(), 26u);
  EXPECT_EQ(U32LE(three, 0), 22u);
  EXPECT_EQ(three[4], 3);
  EXPECT_EQ(Bytes(three.begin() + 8, three.begin() + 12), (Bytes{0xFB, 0x69, 0xF7, 0xDD}));
  EXPECT_EQ(three[16] | three[17] << 8, 602);
  EXPECT_EQ(three[18], 1);
  EXPECT_EQ(three[20], 0xFF);  // -1, little-endian
  EXPECT_EQ(three[21], 0xFF);
}

TEST(ScenarioResources, CalibrationResourcesHaveTheirTerminators) {
  EXPECT_EQ(CalibrationBlock(7, {55, 48}), (Bytes{'C', 'W', ':', 7, 55, 48, 0xFE, 0xFF}));
  EXPECT_EQ(ChannelMap({{7, 1, 0}, {3, 0, 1}}), (Bytes{7, 1, 0, 0xFE, 3, 0, 1, 0xFE, 0xFF}));
  EXPECT_EQ(ReferenceValues(1, {50, 51}), (Bytes{50, 51}));
  EXPECT_EQ(ReferenceValues(2, {50, 51}), (Bytes{2, 50, 51}));
  const Bytes curves = CalibrationCurves(21);
  ASSERT_EQ(curves.size(), 21u * 256);
  // The middle curve is the identity; every curve keeps 0 and 255.
  for (int v = 0; v < 256; ++v) EXPECT_EQ(curves[10 * 256 + v], v);
  for (int n = 0; n < 21; ++n) {
    EXPECT_EQ(curves[n * 256], 0);
    EXPECT_EQ(curves[n * 256 + 255], 255);
  }
}

TEST(ScenarioResources, PaletteEntriesNeverExceed255) {
  for (int style : {0, 1}) {
    const Bytes palette = DotPalette(style);
    ASSERT_EQ(palette.size(), 768u);
    EXPECT_EQ(palette[0] + palette[1] + palette[2], 0);
    for (int p = 0; p < 256; ++p) {
      EXPECT_LE(palette[3 * p] + palette[3 * p + 1] + palette[3 * p + 2], 255) << p;
    }
    EXPECT_GT(palette[3 * 255 + 2], 0) << "the darkest level uses large dots";
  }
}

TEST(ScenarioResources, IdListIsBigEndianWithItsEndMark) {
  EXPECT_EQ(ResourceIdList({300, 0x0102}), (Bytes{0x01, 0x2C, 0x01, 0x02, 0xFF, 0xFF}));
}

TEST(ScenarioResources, SelectionTableLinesAndListsAreWhereTheScannerLooks) {
  const SelectionLine line = {5123, 310, MethodName(3), KeyName(4, 2), 720, 1440,
                              ModeName(4), 7, 2};
  const Bytes table = SelectionTable(300, {line}, 2);
  ASSERT_EQ(table.back(), 0);
  const std::string text(reinterpret_cast<const char *>(table.data()));
  // The version follows the first "//"; a heading line follows that line.
  const size_t slashes = text.find("//");
  ASSERT_NE(slashes, std::string::npos);
  EXPECT_EQ(text.substr(slashes + 2, 3), "300");
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) break;
    if (end > start) lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[2], "5123 310\tM3 K2  720 1440 D4 7 2");
  EXPECT_EQ(lines[3].front(), '/');
  // Key list with base 2: K2 stands for 4.
  EXPECT_EQ(lines[5], "2 K0 K1 K2 K3 K4");
  EXPECT_EQ(lines[6].substr(0, 9), "D0 D1 D2 ");
  // Without a base the key names begin with P and count from 0.
  EXPECT_EQ(KeyName(4, -1), "P4");
  const Bytes second = SelectionTable(200, {line}, -1);
  EXPECT_NE(std::string(reinterpret_cast<const char *>(second.data())).find("\nP0 P1 P2"),
            std::string::npos);
}

}  // namespace
}  // namespace inkdot::scenario
