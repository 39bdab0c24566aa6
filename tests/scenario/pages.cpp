// SPDX-License-Identifier: Apache-2.0
#include "pages.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "digest.h"
#include "resources.h"

namespace inkdot::scenario {

namespace {

// Everything that varies from page to page. Defaults give a plain colour
// page on a multi-size-dot printer at 720 x 720 dpi.
struct PageSpec {
  const char *name;
  // The page parameters (HalftoneParams).
  uint32_t method = 1;
  uint32_t methodVariant = 0;
  uint32_t inputFormat = 2;
  int32_t colorMode = -1;  // -1: 0 for grey input, else 1
  uint32_t x = 720;
  uint32_t y = 720;
  uint32_t dotMode = 2;
  int32_t magnification = 0;
  uint32_t maxPixels = 80;
  // The user's colour settings (CmParams) and the option list.
  int32_t brightness = 0;
  int32_t contrast = 0;
  int32_t saturation = 0;
  int32_t redOffset = 0;
  int32_t greenOffset = 0;
  int32_t blueOffset = 0;
  int32_t grayMode = 0;
  int32_t colorAdjustMode = 0;
  int32_t neutralBalance = 50;
  int32_t tableKeyName = 3;
  int32_t gamma = 0;        // hundredths; 0 = no gamma option
  bool hostCurves = false;
  int calibration = 0;      // 0 = none, else the reference mode (1 or 2)
  // The colour-table resource.
  uint8_t tableFormat = 0;
  uint8_t tableKind = 1;
  uint8_t gridSize = 9;
  int16_t inkLoadLight = 250;
  int16_t inkLoadDark = 100;
  int32_t halftoneListId = 1200;  // 300..399 asks for the ink-load pass
  int selectorType = 1;           // 0 = no selector record, 1 or 3
  int16_t altSelector = 0;        // type 3 only
  // The halftone resources.
  bool stretchedGrid = false;
  bool wideMatrix = false;        // a 512-wide matrix for the x < 4y class
  int paletteStyle = 0;
  ResultCode runCode = 0;         // what every band call must answer
};

constexpr int32_t kTableId = 5123;        // its thousands give the base 5000
constexpr int32_t kCalibrationTableId = 5900;
constexpr int32_t kCurvesId = 5950;
constexpr int32_t kTableKeyNumber = 7;
constexpr uint16_t kUniformGridId = 501;
constexpr uint16_t kStretchedGridId = 502;
constexpr uint16_t kPaletteId = 601;
constexpr uint16_t kColourPaletteId = 602;
constexpr uint16_t kGreyPaletteId = 603;

// Every kernel of the dispatcher's tables at least once, each conversation
// in several shapes (calibration in both reference modes, gamma, host
// curves, the enhanced adjustment, grey blocks, four-input tables, the
// ink-load pass, both selector-record types), and every magnification form.
std::vector<PageSpec> Pages() {
  return {
      // Multi-size dots (dotMode 2).
      {.name = "HybridColorRow 720x720 calibrated", .brightness = 10, .contrast = -6,
       .saturation = 20, .gamma = 180, .calibration = 1, .selectorType = 3},
      {.name = "HybridColorRowWide 1440x720", .x = 1440, .magnification = 1,
       .colorAdjustMode = 2, .neutralBalance = 40, .tableFormat = 50,
       .tableKind = 3},
      {.name = "HybridColorRowTall 720x1440", .y = 1440, .redOffset = 12,
       .blueOffset = -9, .stretchedGrid = true},
      {.name = "HybridColorRowTall pairs", .y = 1440, .magnification = -1,
       .hostCurves = true, .gridSize = 17},
      {.name = "HybridColorRowTall inks", .inputFormat = 4, .y = 1440,
       .magnification = -1},
      {.name = "HybridColorRow inks replicated", .inputFormat = 4,
       .magnification = 2, .paletteStyle = 1},
      {.name = "HybridColorRow2880 calibrated", .x = 2880, .saturation = -30,
       .calibration = 2, .selectorType = 3, .altSelector = 1},
      {.name = "DotDiffuseMonoRow 720x720", .inputFormat = 0, .gamma = 120},
      {.name = "DotDiffuseMonoRow1440 1440x720", .inputFormat = 0, .x = 1440,
       .paletteStyle = 1},
      {.name = "DotDiffuseMonoRowTall halved", .inputFormat = 0, .y = 1440,
       .magnification = -1, .tableKind = 0},
      {.name = "DotDiffuseMonoRow2880", .inputFormat = 0, .x = 2880,
       .selectorType = 3, .altSelector = 1},
      {.name = "DotDitherColorRow halved calibrated", .method = 3,
       .magnification = -1, .calibration = 2, .halftoneListId = 320},
      {.name = "DotDitherInkRow doubled", .method = 3, .inputFormat = 4,
       .magnification = 1, .grayMode = 1},
      {.name = "DotDitherMonoRow replicated", .method = 3, .inputFormat = 0,
       .magnification = 3},
      {.name = "DotDitherMonoRowTall halved", .method = 3, .inputFormat = 0,
       .y = 1440, .magnification = -1},
      // One-bit dots (dotMode other than 2).
      {.name = "DitherColorRowCorners grey block", .method = 0, .dotMode = 0,
       .neutralBalance = 40, .tableFormat = 50, .selectorType = 0},
      {.name = "DitherMonoRow midpoint", .method = 0, .inputFormat = 0,
       .dotMode = 0, .inkLoadLight = 350, .selectorType = 0},
      {.name = "DitherMonoRow remapped halved", .method = 3, .inputFormat = 0,
       .dotMode = 1, .magnification = -1, .inkLoadLight = 500, .selectorType = 0},
      {.name = "DitherColorRow wide area", .method = 3, .methodVariant = 1,
       .colorMode = 3, .dotMode = 1, .contrast = 25, .colorAdjustMode = 7,
       .selectorType = 0},
      {.name = "DitherColorRow inks", .method = 3, .methodVariant = 1,
       .inputFormat = 4, .dotMode = 0, .grayMode = 4, .selectorType = 0},
      {.name = "DiffuseColorRowHybrid ink load", .method = 3, .dotMode = 0,
       .halftoneListId = 310, .selectorType = 0},
      {.name = "DiffuseMonoRow four-input table", .inputFormat = 0, .dotMode = 0,
       .tableFormat = 128, .gridSize = 5, .selectorType = 0},
      {.name = "DiffuseMonoRow1440 doubled", .inputFormat = 0, .x = 1440,
       .dotMode = 0, .magnification = 1, .inkLoadLight = 350, .selectorType = 0},
      {.name = "DiffuseMonoRowTall halved", .inputFormat = 0, .y = 1440,
       .dotMode = 5, .magnification = -1, .selectorType = 0},
      {.name = "DiffuseMonoRow 2880x720", .inputFormat = 0, .x = 2880,
       .dotMode = 0, .inkLoadLight = 500, .selectorType = 0},
      {.name = "DiffuseColorRowFast1440", .x = 1440, .dotMode = 0,
       .brightness = -20, .gamma = 250, .calibration = 1, .selectorType = 0},
      {.name = "DiffuseColorRow1440 inks", .inputFormat = 4, .x = 1440,
       .dotMode = 0, .inkLoadLight = 350, .selectorType = 0},
      {.name = "DiffuseColorRowFast three planes", .colorMode = 2, .dotMode = 0,
       .greenOffset = 30, .hostCurves = true, .selectorType = 0,
       .stretchedGrid = true},
      {.name = "DiffuseColorRow halved", .dotMode = 0, .magnification = -1,
       .inkLoadLight = 500, .selectorType = 0},
      {.name = "DiffuseColorRow inks", .inputFormat = 4, .dotMode = 0,
       .magnification = 1, .selectorType = 0},
      {.name = "DiffuseColorRowTall 720x1440", .y = 1440, .dotMode = 0,
       .colorAdjustMode = 2, .gridSize = 33, .selectorType = 0},
      {.name = "DiffuseColorRowFast refuses a wide matrix", .dotMode = 0,
       .selectorType = 0, .wideMatrix = true, .runCode = INKDOT_BAD_RESOURCE},
  };
}

uint32_t ColourModeOf(const PageSpec &shape) {
  if (shape.colorMode >= 0) return static_cast<uint32_t>(shape.colorMode);
  return shape.inputFormat == 0 ? 0 : 1;
}

bool OneBitOutput(const PageSpec &shape) { return shape.dotMode != 2; }

// The method and match mode that the colour-matching object compares with
// the selection table's columns: its copy of the page rewrites method 0 to
// 3 (with the enhanced adjustment), and the grey settings choose the mode.
uint32_t ColourMethod(const PageSpec &shape) { return shape.method == 0 ? 3 : shape.method; }

int32_t MatchMode(const PageSpec &shape) {
  const int32_t adjust = shape.method == 0 ? 2 : shape.colorAdjustMode;
  int32_t mode = adjust == 2 ? 4 : adjust & 0xFFFF;
  if (shape.grayMode == 1) {
    mode = 4;
  } else if (shape.grayMode == 4 || shape.inputFormat == 0) {
    mode = 0;
  }
  return mode;
}

// The host's resource store of one page: the colour resources and the
// halftone resources, each by id.
struct Store {
  ColourTableSpec table;
  std::map<int32_t, Bytes> colour;
  std::map<int32_t, Bytes> halftone;
  Bytes gamma;
  Bytes curves;
  Bytes calibrationBlock;
};

Store BuildStore(const PageSpec &shape) {
  Store store;
  const int keyBase = 2;
  const SelectionLine match = {kTableId,
                               shape.halftoneListId,
                               MethodName(ColourMethod(shape)),
                               KeyName(shape.tableKeyName, keyBase),
                               shape.x,
                               shape.y,
                               ModeName(MatchMode(shape)),
                               kTableKeyNumber,
                               shape.dotMode};
  // Decoys around the line that must win: an earlier full match (the later
  // one wins), and lines that differ in one column each. Their ids are not
  // in the store, so picking one stops the page.
  SelectionLine earlier = match;
  earlier.tableId = 6001;
  earlier.halftoneId = 1100;
  SelectionLine otherDots = match;
  otherDots.tableId = 6002;
  otherDots.dotMode = shape.dotMode + 1;
  SelectionLine otherX = match;
  otherX.tableId = 6003;
  otherX.x = shape.x + 360;
  SelectionLine otherKey = match;
  otherKey.tableId = 6004;
  otherKey.key = KeyName(shape.tableKeyName + 1, keyBase);
  store.colour[0] = SelectionTable(300, {otherDots, earlier, otherX, match, otherKey},
                                   keyBase);

  ColourTableSpec &table = store.table;
  table.format = shape.tableFormat;
  table.kind = shape.tableKind;
  table.gridSize = shape.gridSize;
  table.inkLoadLight = shape.inkLoadLight;
  table.inkLoadDark = shape.inkLoadDark;
  if (shape.selectorType == 1) {
    table.selectorRecord = SelectorRecordType1(kPaletteId);
  } else if (shape.selectorType == 3) {
    table.selectorRecord = SelectorRecordType3(kColourPaletteId, shape.altSelector,
                                               kGreyPaletteId, shape.altSelector);
  }
  store.colour[kTableId] = ColourTable(table);

  if (shape.gamma != 0) {
    store.gamma.resize(4);
    std::memcpy(store.gamma.data(), &shape.gamma, 4);
  }
  if (shape.hostCurves) store.curves = HostToneCurves();
  if (shape.calibration != 0) {
    const bool mode1 = shape.calibration == 1;
    store.calibrationBlock =
        CalibrationBlock(7, mode1 ? std::vector<uint8_t>{55, 48, 62, 40}
                                  : std::vector<uint8_t>{50, 53, 47, 60});
    store.colour[980] = ChannelMap({{3, 3, 2, 1, 0}, {7, 1, 0, 2, 3}, {9, 0, 0, 0, 0},
                                    {7, 0, 1, 3, 2}});
    store.colour[990] = mode1 ? ReferenceValues(1, {50, 50, 50, 50})
                              : ReferenceValues(2, {50, 50, 52, 49});
    // The second table is read with match mode 0 and version 200 (the
    // dot-mode column is not compared).
    SelectionLine curves = match;
    curves.tableId = kCurvesId;
    curves.halftoneId = 0;
    curves.key = KeyName(shape.tableKeyName, -1);
    curves.mode = ModeName(0);
    curves.dotMode = shape.dotMode + 5;
    SelectionLine otherMode = curves;
    otherMode.tableId = 5960;
    otherMode.mode = ModeName(1);
    store.colour[kCalibrationTableId] = SelectionTable(200, {curves, otherMode}, -1);
    store.colour[kCurvesId] = CalibrationCurves(mode1 ? 21 : 37);
  }

  const uint16_t gridId = shape.stretchedGrid ? kStretchedGridId : kUniformGridId;
  // Matrices by resolution class: x < 4y, x = 2y, 1440 x 720, 2x = y,
  // x >= 4y; then one id that is stored and never used.
  store.halftone[shape.halftoneListId] = ResourceIdList(
      {gridId, static_cast<uint16_t>(shape.wideMatrix ? 406 : 401), 402, 403, 404, 405,
       999});
  store.halftone[kUniformGridId] = GridResource(UniformGrid());
  store.halftone[kStretchedGridId] = GridResource(StretchedGrid());
  store.halftone[401] = ThresholdMatrix(32, 32, 11);
  store.halftone[402] = ThresholdMatrix(64, 24, 12);
  store.halftone[403] = ThresholdMatrix(32, 16, 13);
  store.halftone[404] = ThresholdMatrix(128, 128, 14);
  store.halftone[405] = ThresholdMatrix(256, 16, 15);
  store.halftone[406] = ThresholdMatrix(512, 8, 16);
  store.halftone[kPaletteId] = DotPalette(shape.paletteStyle);
  store.halftone[kColourPaletteId] = DotPalette(shape.paletteStyle);
  store.halftone[kGreyPaletteId] = DotPalette(1 - shape.paletteStyle);
  return store;
}

// The option list: an unknown key first, then gamma, host curves and the
// calibration block as the page has them.
struct OptionList {
  alignas(CmOptionList) unsigned char storage[sizeof(CmOptionList) + 4 * sizeof(CmOption)];
  const CmOptionList *list() const {
    return reinterpret_cast<const CmOptionList *>(storage);
  }
};

void FillOptions(const Store &store, OptionList &options) {
  std::memset(options.storage, 0, sizeof options.storage);
  auto *list = reinterpret_cast<CmOptionList *>(options.storage);
  static const int32_t kUnrelated = 12345;
  list->pairs[list->count++] = CmOption{77, &kUnrelated};
  if (!store.gamma.empty()) list->pairs[list->count++] = CmOption{1, store.gamma.data()};
  if (!store.curves.empty()) list->pairs[list->count++] = CmOption{256, store.curves.data()};
  if (!store.calibrationBlock.empty()) {
    list->pairs[list->count++] = CmOption{512, store.calibrationBlock.data()};
  }
}

// Bytes per source pixel as the kernels read them: one for grey input,
// four for every colour format.
uint32_t SourcePixelBytes(const PageSpec &shape) { return shape.inputFormat == 0 ? 1 : 4; }

uint32_t Mix(uint32_t v) {
  v ^= v >> 16;
  v *= 0x7feb352du;
  v ^= v >> 15;
  v *= 0x846ca68bu;
  v ^= v >> 16;
  return v;
}

// One source row: zones of ramps, white, noise, greys, black with opposed
// pairs, and saturated colours, shifting from row to row.
Bytes SourceRow(const PageSpec &shape, uint32_t row, uint32_t pixels) {
  const uint32_t bytes = SourcePixelBytes(shape);
  const bool inks = shape.inputFormat == 4;
  Bytes out(pixels * bytes);
  for (uint32_t x = 0; x < pixels; ++x) {
    uint8_t *p = &out[x * bytes];
    const uint32_t noise = Mix(x * 7919u + row * 104729u);
    const uint32_t zone = (x / 9 + row) % 6;
    uint8_t v[4] = {0, 0, 0, static_cast<uint8_t>(noise >> 24)};
    switch (zone) {
      case 0:  // ramps
        v[0] = static_cast<uint8_t>(x * 255 / pixels);
        v[1] = static_cast<uint8_t>(row * 16 + x);
        v[2] = static_cast<uint8_t>(255 - x * 3);
        break;
      case 1:  // white (no ink for ink levels)
        v[0] = v[1] = v[2] = inks ? 0 : 255;
        v[3] = inks ? 0 : v[3];
        break;
      case 2:  // noise
        v[0] = static_cast<uint8_t>(noise);
        v[1] = static_cast<uint8_t>(noise >> 8);
        v[2] = static_cast<uint8_t>(noise >> 16);
        break;
      case 3:  // greys
        v[0] = v[1] = v[2] = static_cast<uint8_t>(x * 7 + row * 13);
        break;
      case 4:  // black, with opposed neighbours
        v[0] = v[1] = v[2] = (x & 1) != 0 ? 0 : static_cast<uint8_t>(noise & 1 ? 255 : 200);
        break;
      default: {  // saturated primaries and secondaries
        static const uint8_t kColours[6][3] = {{255, 0, 0}, {0, 255, 0},   {0, 0, 255},
                                               {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
        const uint8_t *c = kColours[(x + row) % 6];
        v[0] = c[0];
        v[1] = c[1];
        v[2] = c[2];
      }
    }
    if (bytes == 1) {
      p[0] = v[(x + row) % 3];
    } else {
      std::memcpy(p, v, 4);
    }
  }
  return out;
}

struct Run {
  uint32_t startX;
  uint32_t count;
};

// Runs of one row: whole rows, rows cut at positions inside an output byte
// (so that later runs keep earlier pixels), an empty run, and rows 15 and
// 31 with gaps before, between and after their runs (so that the stale
// error rules of rows that end in 15 and begin a group of 16 come into play).
std::vector<Run> RunsOfRow(uint32_t row, uint32_t width) {
  if (row % 16 == 15) return {{5, 25}, {37, 23}};
  switch (row % 3) {
    case 0:
      return {{0, width}};
    case 1: {
      const uint32_t cut = 11 + row % 7;
      return {{0, cut}, {cut, width - cut}};
    }
    default: {
      const uint32_t a = 3 + row % 5;
      const uint32_t b = 41 + row % 3;
      return {{0, a}, {a, 0}, {a, b - a}, {b, width - b}};
    }
  }
}

// Rows of a page: a skipped row (7, 8), rows around the groups of 16, and
// a restart after a longer gap.
const uint32_t kRows[] = {0, 1, 2, 3, 4, 5, 6, 9, 10, 14, 15, 16, 17, 30, 31, 32, 33};

class PageRunner {
 public:
  PageRunner(const EngineApi &api, const PageSpec &shape)
      : api_(api), spec_(shape), store_(BuildStore(shape)) {}

  PageReport Run() {
    PageReport report;
    report.name = spec_.name;
    if (RunColour() && RunHalftoneSetup()) RunBands();
    Cleanup();
    report.complete = failure_.empty();
    report.status = report.complete ? "complete" : failure_;
    report.status += ", " + std::to_string(dots_) + " dots";
    report.digest = digest_.Hex();
    return report;
  }

 private:
  // Digests a result that must be `expected` for the page to be complete;
  // the first one that is not becomes the page's status.
  void Expect(const std::string &call, ResultCode code, ResultCode expected) {
    digest_.AddWord(code);
    if (code != expected && failure_.empty()) {
      failure_ = call + " answered " + std::to_string(code);
    }
  }

  // One resource conversation: hands over each resource asked for until
  // the object asks for none (-1). Every id and result is digested.
  template <typename SetResource>
  bool Converse(const std::string &side, const std::map<int32_t, Bytes> &resources,
                int32_t nextId, SetResource set) {
    for (int call = 1; nextId != -1; ++call) {
      const auto found = resources.find(nextId);
      if (found == resources.end() || call > 8) {
        if (failure_.empty()) {
          failure_ = side + " asked for resource " + std::to_string(nextId);
        }
        digest_.AddWord(0xFFFFFFFFu);
        return false;
      }
      const ResultCode code = set(found->second.data(), &nextId);
      digest_.AddWord(static_cast<uint32_t>(nextId));
      Expect(side + " call " + std::to_string(call), code, 0);
      if (code != 0) return false;
    }
    return true;
  }

  bool RunColour() {
    page_ = HalftoneParams{spec_.method,        spec_.methodVariant, spec_.inputFormat,
                           ColourModeOf(spec_), spec_.x,             spec_.y,
                           spec_.dotMode,       spec_.magnification, 0xDEADBEEFu,
                           spec_.maxPixels,     0x12345678u};
    FillOptions(store_, options_);
    const CmParams params = {0,
                             spec_.brightness,
                             spec_.contrast,
                             spec_.saturation,
                             spec_.redOffset,
                             spec_.greenOffset,
                             spec_.blueOffset,
                             kTableKeyNumber,
                             spec_.tableKeyName,
                             spec_.grayMode,
                             spec_.colorAdjustMode,
                             spec_.neutralBalance,
                             0x1111,
                             0x2222,
                             options_.list()};
    int32_t nextId = -99;
    CmContext *cm = nullptr;
    const ResultCode created = api_.cmNew(&params, &page_, 0xCAFEu, &nextId, &cm);
    digest_.AddWord(static_cast<uint32_t>(nextId));
    Expect("CmNew", created, 0);
    if (created != 0) return false;
    cm_ = cm;
    const bool done = Converse("CmSetResource", store_.colour, nextId,
                               [this](const void *resource, int32_t *next) {
                                 return api_.cmSetResource(cm_, resource, next);
                               });
    lut_ = api_.cmGetLut(cm_);
    if (lut_ == nullptr) {
      Expect("CmGetLut", 1, 0);
    } else {
      DigestLut();
    }
    if (done && lut_ != nullptr) return true;
    // The colour side did not finish: the halftone side still runs, on a
    // CmLut that the host makes from the same colour table, so that its
    // results are compared too.
    MakeHostLut();
    lut_ = &hostLut_;
    return true;
  }

  // A CmLut as the colour side would leave it with every adjustment
  // neutral: the resource's grid as it stands and a plain grey-to-black
  // ramp.
  void MakeHostLut() {
    ColourTableSpec plain = store_.table;
    plain.format = 0;
    hostTable_ = ColourTable(plain);
    const int g = plain.gridSize;
    const std::vector<uint8_t> nodes = ColourTableNodes(g);
    hostLut_ = CmLut{};
    hostLut_.tableKind = plain.kind;
    hostLut_.channelCount = 4;
    hostLut_.inkLoadLight = plain.inkLoadLight;
    hostLut_.inkLoadDark = plain.inkLoadDark;
    hostLut_.gridSize1 = hostLut_.gridSize2 = hostLut_.gridSize3 = g;
    hostLut_.gridSize4 = 1;
    std::copy(nodes.begin(), nodes.end(), hostLut_.nodes1);
    std::copy(nodes.begin(), nodes.end(), hostLut_.nodes2);
    std::copy(nodes.begin(), nodes.end(), hostLut_.nodes3);
    for (int v = 0; v < 256; ++v) {
      hostLut_.grayToBlack[v] = static_cast<uint8_t>(v == 255 ? 0 : std::max(1, 254 - v));
    }
    hostLut_.tableData = hostTable_.data() + ColourTableGridOffset(plain);
    hostLut_.tableHandle = 1;
    hostLut_.tableResourceId = kTableId;
    hostLut_.halftoneResourceId = spec_.halftoneListId;
    if (!plain.selectorRecord.empty()) {
      hostLut_.selectorRecord = hostTable_.data() + ColourTableAuxOffset(hostTable_);
    }
    hostLut_.blockHandle = 1;
  }

  // The CmLut words that do not hold addresses (bytes 0..467 sit at the
  // same offsets in 32-bit and 64-bit builds, then the two resource ids),
  // and the finished colour table.
  void DigestLut() {
    digest_.AddBytes(lut_, offsetof(CmLut, grayToBlack) + sizeof lut_->grayToBlack);
    digest_.AddWord(static_cast<uint32_t>(lut_->tableResourceId));
    digest_.AddWord(static_cast<uint32_t>(lut_->halftoneResourceId));
    const int32_t g = lut_->gridSize1;
    const int32_t g4 = lut_->gridSize4;
    const int32_t channels = lut_->channelCount;
    const bool plausible = g > 0 && g <= 36 && g4 > 0 && g4 <= 36 && channels > 0 &&
                           channels <= 16 && lut_->gridSize2 == g && lut_->gridSize3 == g;
    if (lut_->tableData != nullptr && plausible) {
      digest_.AddBytes(lut_->tableData, static_cast<size_t>(g) * g * g * g4 * channels);
    } else {
      Expect("colour table", 1, 0);
    }
  }

  bool RunHalftoneSetup() {
    // A reserved word is refused before anything else is looked at.
    int32_t untouched = -7;
    HalftoneContext *none = nullptr;
    Expect("HalftoneNew with reserved 1",
           api_.halftoneNew(nullptr, lut_, 1, &untouched, &none), INKDOT_BAD_RESERVED);
    digest_.AddWord(static_cast<uint32_t>(untouched));

    int32_t nextId = -99;
    HalftoneContext *ht = nullptr;
    const ResultCode created = api_.halftoneNew(&page_, lut_, 0, &nextId, &ht);
    digest_.AddWord(static_cast<uint32_t>(nextId));
    if (ht != nullptr) ht_ = ht;
    Expect("HalftoneNew", created, 0);
    if (created != 0) return false;
    return Converse("HalftoneSetResource", store_.halftone, nextId,
                    [this](const void *resource, int32_t *next) {
                      return api_.halftoneSetResource(ht_, resource, next);
                    });
  }

  void RunBands() {
    const uint32_t width = spec_.maxPixels;
    const uint32_t bits = OneBitOutput(spec_) ? 1 : 2;
    const uint32_t planes = ColourModeOf(spec_) != 0 ? 4 : 1;
    const uint32_t stride = (width * bits + 7) / 8 + 3;
    const uint32_t pixelsPerByte = 8 / bits;
    const uint32_t sourceBytes = SourcePixelBytes(spec_);
    for (const uint32_t row : kRows) {
      const Bytes source = SourceRow(spec_, row, 2 * width + 16);
      Bytes out(planes * stride, static_cast<uint8_t>(0xA5 ^ row));
      for (const scenario::Run &run : RunsOfRow(row, width)) {
        const uint32_t sourcePixel = spec_.magnification < 0
                                         ? 2 * run.startX
                                         : run.startX / (spec_.magnification + 1);
        const ResultCode code = api_.halftone(
            ht_, source.data() + sourcePixel * sourceBytes,
            out.data() + run.startX / pixelsPerByte, stride, run.startX % pixelsPerByte,
            run.count, run.startX, 0xFEEDu, row, 0, 0);
        Expect("Halftone row " + std::to_string(row), code, spec_.runCode);
        if (code == 0) dots_ += CountDots(out, planes, stride, bits, run);
      }
      digest_.AddWord(row);
      digest_.AddBytes(out.data(), out.size());
    }
    // Refused runs write nothing: a run past maxPixels (tested first), a
    // non-zero reservedA, and for one-channel input a non-zero reservedB.
    Bytes out(planes * stride, 0x3C);
    const Bytes source = SourceRow(spec_, 40, 2 * width + 16);
    Expect("Halftone past maxPixels",
           api_.halftone(ht_, source.data(), out.data(), stride, 0, 2, width - 1, 0, 40, 1, 0),
           INKDOT_RUN_TOO_LONG);
    Expect("Halftone with reservedA",
           api_.halftone(ht_, source.data(), out.data(), stride, 0, 8, 0, 0, 40, 1, 0),
           INKDOT_BAD_RESERVED_A);
    if (planes == 1) {
      Expect("Halftone with reservedB",
             api_.halftone(ht_, source.data(), out.data(), stride, 0, 8, 0, 0, 40, 0, 1),
             INKDOT_BAD_RESERVED_B);
    }
    digest_.AddBytes(out.data(), out.size());
  }

  // Pixels of a run that received a dot, over all planes.
  static uint64_t CountDots(const Bytes &out, uint32_t planes, uint32_t stride,
                            uint32_t bits, const scenario::Run &run) {
    uint64_t dots = 0;
    for (uint32_t plane = 0; plane < planes; ++plane) {
      for (uint32_t x = run.startX; x < run.startX + run.count; ++x) {
        const uint32_t bit = x * bits;
        const uint8_t byte = out[plane * stride + bit / 8];
        const uint32_t shift = 8 - bits - bit % 8;
        if (((byte >> shift) & ((1u << bits) - 1)) != 0) ++dots;
      }
    }
    return dots;
  }

  void Cleanup() {
    if (ht_ != nullptr) Expect("HalftoneDelete", api_.halftoneDelete(ht_), 0);
    if (cm_ != nullptr) Expect("CmDelete", api_.cmDelete(cm_), 0);
  }

  const EngineApi &api_;
  const PageSpec &spec_;
  Store store_;
  OptionList options_;
  HalftoneParams page_{};
  CmContext *cm_ = nullptr;
  CmLut *lut_ = nullptr;
  CmLut hostLut_{};
  Bytes hostTable_;
  HalftoneContext *ht_ = nullptr;
  Digest digest_;
  std::string failure_;
  uint64_t dots_ = 0;
};

}  // namespace

std::vector<PageReport> RunPages(const EngineApi &api) {
  std::vector<PageReport> reports;
  for (const PageSpec &shape : Pages()) reports.push_back(PageRunner(api, shape).Run());
  return reports;
}

std::string FormatReport(const std::vector<PageReport> &reports) {
  std::string text;
  Digest all;
  int complete = 0;
  for (const PageReport &r : reports) {
    text += r.digest + "  " + r.name + ": " + r.status + "\n";
    all.AddBytes(r.digest.data(), r.digest.size());
    complete += r.complete ? 1 : 0;
  }
  text += all.Hex() + "  all " + std::to_string(reports.size()) + " pages (" +
          std::to_string(complete) + " complete)\n";
  return text;
}

}  // namespace inkdot::scenario
