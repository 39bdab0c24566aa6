// SPDX-License-Identifier: Apache-2.0
// Each format's writer against its own validator: what one writes, the
// other reads back field for field, whichever of the writer's styles
// was used.
#include <gtest/gtest.h>

#include "inkdot/formats/calibration.h"
#include "inkdot/formats/colour_table.h"
#include "inkdot/formats/format_error.h"
#include "inkdot/formats/halftone_resources.h"
#include "inkdot/formats/selection_table.h"

namespace inkdot::formats {
namespace {

write::SelectionTable OneEntryTable() {
  write::SelectionTable table;
  table.entries = {{5000, 400, "screen", "Pvivid", 1440, 720, "enh", 7, 2}};
  table.methods = {"dither", "screen"};
  table.keys = {"Pplain", "Pvivid"};
  table.modes = {"normal", "enh"};
  return table;
}

std::span<const uint8_t> Bytes(const std::string &text) {
  return {reinterpret_cast<const uint8_t *>(text.data()), text.size()};
}

TEST(SelectionTableFormat, EveryWritingStyleReadsBackTheSameEntries) {
  write::SelectionTable mixed = OneEntryTable();
  write::SelectionTable plain = OneEntryTable();
  plain.preamble = "";
  plain.title = " default printer";
  plain.heading = "; id next ...";
  plain.closingLine = "end";
  plain.mixedSeparators = false;
  plain.endsWithNul = false;
  write::SelectionTable based = OneEntryTable();
  based.keyBase = 3;
  based.version = "";
  based.lineEnd = "\n";
  for (const write::SelectionTable *table : {&mixed, &plain, &based}) {
    const std::string text = write::WriteSelectionTable(*table);
    SCOPED_TRACE(text);
    const SelectionTable read = ValidateSelectionTable(Bytes(text));
    EXPECT_EQ(read.version, table->version.empty() ? 200 : 300);
    EXPECT_EQ(read.keyBase, table->keyBase.value_or(0));
    ASSERT_EQ(read.entries.size(), 1u);
    const SelectionEntry &e = read.entries[0];
    EXPECT_EQ(e.tableId, 5000);
    EXPECT_EQ(e.halftoneId, 400);
    EXPECT_EQ(e.method, "screen");
    EXPECT_EQ(e.xResolution, 1440);
    EXPECT_EQ(e.yResolution, 720);
    EXPECT_EQ(e.mode, "enh");
    EXPECT_EQ(e.keyNumber, 7);
    EXPECT_EQ(e.dotMode, 2);
    EXPECT_EQ(read.keys, table->keys);
    EXPECT_EQ(ResolveName(read.modes, e.mode), 1);
  }
  EXPECT_EQ(write::WriteSelectionTable(mixed).back(), '\0');
  EXPECT_NE(write::WriteSelectionTable(plain).back(), '\0');
}

write::ColourTable Cube(uint8_t format) {
  write::ColourTable table;
  table.tag = "tag";
  table.format = format;
  table.kind = 3;
  table.inkLoadLight = 250;
  table.inkLoadDark = 120;
  table.channelCount = 2;
  table.nodes1 = table.nodes2 = table.nodes3 = write::EvenNodes(3);
  const size_t nodes = format == colour_table_layout::kFourInputFormat ? 81 : 27;
  if (nodes == 81) table.nodes4 = write::EvenNodes(3);
  for (size_t n = 0; n < 2 * nodes; ++n) table.grid.push_back(static_cast<uint8_t>(n));
  table.neutralBlack = {9, 8, 7};
  if (format == colour_table_layout::kGreyBlockFormat) table.greyBlock = {1, 2, 3, 4, 5, 6};
  return table;
}

TEST(ColourTableFormat, EachFormatReadsBackWithItsBlocksWhereTheWriterPutThem) {
  for (uint8_t format : {uint8_t{0}, colour_table_layout::kGreyBlockFormat,
                         colour_table_layout::kFourInputFormat}) {
    SCOPED_TRACE(static_cast<int>(format));
    const write::ColourTable table = Cube(format);
    const std::vector<uint8_t> bytes = write::WriteColourTable(table);
    const ColourTable read = ValidateColourTable(bytes);
    EXPECT_EQ(bytes[0], 't');
    EXPECT_EQ(read.format, format);
    EXPECT_EQ(read.kind, 3);
    EXPECT_EQ(read.inkLoadLight, 250);
    EXPECT_EQ(read.inkLoadDark, 120);
    EXPECT_EQ(read.gridSize, 3u);
    EXPECT_EQ(read.channels, 2u);
    EXPECT_EQ(read.nodes3, (std::vector<uint8_t>{0, 128, 255}));
    EXPECT_EQ(read.tableBytes, table.grid.size());
    EXPECT_EQ(bytes[read.tableOffset + 5], 5);
    EXPECT_EQ(bytes[read.blackOffset], 9);
    EXPECT_EQ(read.greyBlockOffset != 0, format == colour_table_layout::kGreyBlockFormat);
    EXPECT_EQ(read.endOffset, bytes.size());
    EXPECT_FALSE(read.selector.has_value());
  }
  write::ColourTable tooLong = Cube(0);
  tooLong.tag = std::string(16, 'x');
  EXPECT_THROW(write::WriteColourTable(tooLong), std::invalid_argument);
}

// The ink-load divisor D(x) = (((L - K)(255 - x)^2 + 1) / 255 + 255 K) / 100
// must lie between x (and 1) and 65535 at every level x; the first level
// outside is named.
TEST(ColourTableFormat, InkLoadsAreRefusedWhereTheDivisorLeavesItsRange) {
  struct Loads {
    int16_t light, dark;
    const char *problem;  // nullptr: accepted
  };
  const Loads cases[] = {
      {250, 100, nullptr},    // the default: D(255) = 255
      {100, 100, nullptr},    // D = 255 at every level
      {100, 250, nullptr},    // lighter at the light end than at the dark end
      {25700, 100, nullptr},  // D(0) = 65535 exactly
      {250, 99,
       "the ink-load divisor is 252 at level 253 (light 250, dark 99); it must be at least 253 "
       "and at most 65535"},
      {250, 0,
       "the ink-load divisor is 136 at level 137 (light 250, dark 0); it must be at least 137 "
       "and at most 65535"},
      {25701, 100,
       "the ink-load divisor is 65537 at level 0 (light 25701, dark 100); it must be at least 1 "
       "and at most 65535"},
      {-32768, 32767, "the ink-load blend overflows 32 bits (light -32768, dark 32767)"},
  };
  for (const Loads &loads : cases) {
    SCOPED_TRACE(std::to_string(loads.light) + "/" + std::to_string(loads.dark));
    write::ColourTable table = Cube(0);
    table.inkLoadLight = loads.light;
    table.inkLoadDark = loads.dark;
    const std::vector<uint8_t> bytes = write::WriteColourTable(table);
    if (loads.problem == nullptr) {
      EXPECT_EQ(ValidateColourTable(bytes).inkLoadDark, loads.dark);
      continue;
    }
    try {
      ValidateColourTable(bytes);
      ADD_FAILURE() << "accepted";
    } catch (const FormatError &e) {
      EXPECT_EQ(e.field(), "inkLoadLight/inkLoadDark");
      EXPECT_EQ(e.problem(), loads.problem);
    }
  }
}

TEST(SelectorRecordFormat, BothTypesReadBackThroughTheColourTable) {
  write::InputPaletteSelector padded{-3, 1, 420, -1};
  padded.length = 24;
  padded.padding = 2;
  const struct {
    std::vector<uint8_t> record;
    uint32_t length;
    int16_t type;
    int32_t colourPalette, colourAlt, greyPalette, greyAlt;
  } cases[] = {
      {write::WriteSelectorRecord(write::SinglePaletteSelector{900}), 4, 1, 900, 0, 900, 0},
      {write::WriteSelectorRecord(write::InputPaletteSelector{7, 2, 8, 3}), 22, 3, 7, 2, 8, 3},
      {write::WriteSelectorRecord(padded), 24, 3, -3, 1, 420, -1},
  };
  for (const auto &c : cases) {
    write::ColourTable table = Cube(0);
    table.selector = c.record;
    const std::vector<uint8_t> bytes = write::WriteColourTable(table);
    const ColourTable read = ValidateColourTable(bytes);
    ASSERT_TRUE(read.selector.has_value());
    EXPECT_EQ(read.auxOffset, read.endOffset);
    EXPECT_EQ(read.auxLength, c.record.size());
    EXPECT_EQ(c.record.size(), c.length + 4);
    const SelectorRecord &s = *read.selector;
    EXPECT_EQ(s.length, c.length);
    EXPECT_EQ(s.type, c.type);
    EXPECT_EQ(s.colourPaletteId, c.colourPalette);
    EXPECT_EQ(s.colourAltSelector, c.colourAlt);
    EXPECT_EQ(s.greyPaletteId, c.greyPalette);
    EXPECT_EQ(s.greyAltSelector, c.greyAlt);
  }
}

TEST(HalftoneFormats, IdListGridPaletteAndMatrixReadBack) {
  EXPECT_EQ(ValidateIdList(write::WriteResourceIdList({{400, 0, 0xFFFE}})),
            (std::vector<uint16_t>{400, 0, 0xFFFE}));

  write::GridResource grid;
  for (uint32_t n = 0; n < grid_layout::kPoints; ++n) grid.positions.push_back(static_cast<uint8_t>(n * 8));
  grid.positions.back() = 255;
  EXPECT_EQ(ValidateGrid(write::WriteGridResource(grid)), grid.positions);

  write::DotPalette palette;
  palette.levels[17] = {1, 2, 252};
  const std::vector<PaletteEntry> entries = ValidatePalette(write::WriteDotPalette(palette));
  EXPECT_EQ(entries[17].large, 252);
  EXPECT_EQ(entries[18].large, 0);

  for (uint32_t side : {1u, 2u, 128u, 256u}) {
    write::ThresholdMatrix matrix{side, 2, {}};
    for (uint32_t n = 0; n < 2 * side; ++n) matrix.thresholds.push_back(static_cast<uint16_t>(2 * side - 1 - n));
    const ThresholdMatrix read = ValidateMatrix(write::WriteThresholdMatrix(matrix));
    EXPECT_EQ(read.width, side);
    EXPECT_EQ(read.height, 2u);
    EXPECT_TRUE(read.isPermutation);
    EXPECT_EQ(read.maxThreshold, 2 * side - 1);
  }
}

TEST(HalftoneFormats, EveryMatrixSideWithACodeDecodesBackToItself) {
  uint32_t coded = 0;
  for (uint32_t side = 0; side <= 600; ++side) {
    const std::optional<uint8_t> code = write::MatrixSideCode(side);
    if (!code) continue;
    ++coded;
    EXPECT_EQ(matrix_layout::DecodeSide(*code), side);
  }
  EXPECT_EQ(coded, 256u);  // 0..254 but 239, then 256 and 512
  EXPECT_THROW(write::WriteThresholdMatrix({239, 1, {0}}), std::invalid_argument);
}

TEST(CalibrationFormats, MapReferenceAndCurvesReadBack) {
  const std::vector<ChannelMapRecord> records =
      ValidateChannelMap(write::WriteChannelMap({{1, {3, 2, 1, 0}}, {2, {0, 1, 2, 3}}}), 4);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].planes, (std::vector<uint8_t>{3, 2, 1, 0}));
  EXPECT_EQ(records[1].headId, 2);
  EXPECT_EQ(records[1].offset, 6u);

  const ReferenceValues coarse = ValidateReferenceValues(write::WriteReferenceValues({std::nullopt, {30, 70}}), 2);
  EXPECT_EQ(coarse.mode, 1);
  EXPECT_EQ(coarse.values, (std::vector<uint8_t>{30, 70}));
  const ReferenceValues fine = ValidateReferenceValues(write::WriteReferenceValues({2, {50, 51}}), 2);
  EXPECT_EQ(fine.mode, 2);
  EXPECT_EQ(fine.values, (std::vector<uint8_t>{50, 51}));

  const std::vector<write::Curve> curves(calibration_layout::CurvesForMode(2));
  EXPECT_EQ(ValidateCalibrationCurves(write::WriteCurves(curves), 37), 37u);
  EXPECT_THROW(ValidateCalibrationCurves(write::WriteCurves(curves), 38), FormatError);

  const std::vector<uint8_t> block = write::WriteCalibrationBlock({.headId = 1, .printerValues = {50, 40}});
  EXPECT_EQ(block, (std::vector<uint8_t>{'C', 'W', ':', 1, 50, 40, 0xFE, 0xFF}));
}

TEST(FormatError, NamesTheFieldAndTheOffset) {
  try {
    ValidateGrid(write::WriteGridResource({{0, 255}, std::nullopt}));
    FAIL() << "a two-point grid was accepted";
  } catch (const FormatError &e) {
    EXPECT_EQ(e.field(), "grid count");
    EXPECT_EQ(e.offset(), 0u);
    EXPECT_EQ(e.problem(), "is 2; must be 32");
  }
}

}  // namespace
}  // namespace inkdot::formats
