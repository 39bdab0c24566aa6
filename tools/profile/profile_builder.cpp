// SPDX-License-Identifier: Apache-2.0
#include "profile_builder.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "blue_noise_matrix.h"
#include "calibration_set.h"
#include "colour_inversion.h"
#include "colour_table.h"
#include "dot_palette.h"
#include "halftone_resources.h"
#include "icc_printer.h"
#include "measured_printer.h"
#include "measurements.h"
#include "inkdot/host/printer_model_json.h"
#include "inkdot/host/profile.h"
#include "printer_response.h"
#include "selection_table.h"

namespace inkdot::profile {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// The printer this profile describes.
struct Resolution {
  int x;
  int y;
};
constexpr Resolution kResolutions[] = {{720, 720}, {1440, 720}, {2880, 720}, {720, 1440}, {1440, 1440}};
// Method names at their method numbers. Method 2 is not offered: it is a
// screening method for the set-up (no diffusion lines) but reaches the
// diffusion kernels, which refuse it; its name only holds the place.
// Ordered dither alone is method 3 with variant 1, so it shares the
// screen's lines.
const char *const kMethodNames[] = {"midpoint", "diffusion", "reserved", "screen"};
constexpr uint32_t kDitherVariant = 1;
const char *const kModeNames[] = {"plain", "mode1", "mode2", "mode3", "enhanced"};
constexpr int kMatchModes[] = {0, 4};
// Colour tables sit on the halftone grid's own positions, so the halftone
// set-up takes their nodes as they are instead of resampling them.
constexpr int kColourTableNodes = 32;
// Characterisation grid steps per ink (steps^4 patches per way of printing).
constexpr int kCharacterisationSteps = 9;
constexpr uint8_t kCalibrationHead = 1;
constexpr uint8_t kReferenceValue = 50;

// Colour resource ids. Every colour table lies in 5000..5999, so the
// calibration's second selection table is 5900 for all of them.
constexpr int kSelectionId = 0;
constexpr int kSingleDotTable = 5000;      // single-size dots, screened (and dithered)
constexpr int kSingleDotDiffusionTable = 5001;  // single-size dots, error diffusion
constexpr int kPaletteTable = 5100;            // multi-size dots, error diffusion
constexpr int kPaletteScreenTable = 5101;      // multi-size dots, screened (and dithered)
constexpr int kPaletteTable2880 = 5102;    // selects the 2880 x 720 diffusion kernels
constexpr int kChannelMapId = 980;
constexpr int kReferenceId = 990;
constexpr int kCalibrationSelectionId = 5900;
constexpr int kCurvesId = 5950;

// Halftone resource ids (ids of the list lie outside 300..399, where the
// colour side would apply the ink-load curve to screened tables a second
// time).
constexpr uint16_t kIdListId = 100;
constexpr uint16_t kGridId = 400;
constexpr uint16_t kPaletteId = 420;

// Matrices hold at most 32768 ranks: the halftoning scales level 255 to
// the matrix size in a 16-bit table, so 65536 ranks would wrap to 0 and
// print nothing at full ink. Wide pixels get wide matrices, so each tile
// is about square on paper.
struct MatrixPlan {
  uint16_t id;
  int width;
  int height;
  double stretch;
  uint64_t seed;
};
constexpr MatrixPlan kMatrices[] = {
    {410, 128, 128, 1.0, 0x1D0710},  // x = y
    {412, 256, 128, 2.0, 0x1D0712},  // x = 2y, 1440 x 720
    {413, 128, 128, 0.5, 0x1D0713},  // 2x = y (its colour kernel needs 128 x 128)
    {414, 256, 128, 4.0, 0x1D0714},  // x >= 4y, 2880 x 720
};
// List entries 1..5: x = y, x = 2y, 1440 x 720, 2x = y, x >= 4y.
const std::vector<uint16_t> kIdList = {kGridId, 410, 412, 412, 413, 414};

bool Offered(int dotMode, int method) {
  // The multi-size-dot engine screens (3) or diffuses (1); single-size dots
  // also dither (0).
  return method == 1 || method == 3 || (method == 0 && dotMode != 2);
}

int ColourTableFor(int dotMode, int method, Resolution r) {
  if (dotMode == 2) {
    if (method != 1) return kPaletteScreenTable;
    return (r.x == 2880 && r.y == 720) ? kPaletteTable2880 : kPaletteTable;
  }
  return method == 1 ? kSingleDotDiffusionTable : kSingleDotTable;
}

// The way of printing each colour table is characterised with.
struct TablePlan {
  int id;
  PrintMode mode;
};
const TablePlan kTablePlans[] = {
    {kSingleDotTable, {0, 3, 0, 720, 720, kSingleDotTable}},
    {kSingleDotDiffusionTable, {0, 1, 0, 720, 720, kSingleDotDiffusionTable}},
    {kPaletteTable, {2, 1, 0, 1440, 720, kPaletteTable}},
    {kPaletteScreenTable, {2, 3, 0, 1440, 720, kPaletteScreenTable, true}},
};

SelectionTable BaseTable(const std::string &title) {
  SelectionTable table;
  table.title = title;
  table.methods.assign(std::begin(kMethodNames), std::end(kMethodNames));
  table.keys = {"Plain"};
  table.modes.assign(std::begin(kModeNames), std::end(kModeNames));
  return table;
}

SelectionTable MainSelection() {
  SelectionTable table = BaseTable("inkdot default printer");
  for (int dotMode : {0, 1, 2}) {
    for (int method = 0; method < 4; ++method) {
      if (!Offered(dotMode, method)) continue;
      for (Resolution r : kResolutions) {
        for (int mode : kMatchModes) {
          table.lines.push_back({ColourTableFor(dotMode, method, r), kIdListId, kMethodNames[method],
                                 "Plain", r.x, r.y, kModeNames[mode], 0, dotMode});
        }
      }
    }
  }
  return table;
}

// The calibration's second table is read with match mode 0 and names the
// curve set for each combination.
SelectionTable CalibrationSelection() {
  SelectionTable table = BaseTable("inkdot default printer calibration");
  for (int dotMode : {0, 1, 2}) {
    for (int method = 0; method < 4; ++method) {
      if (!Offered(dotMode, method)) continue;
      for (Resolution r : kResolutions) {
        table.lines.push_back({kCurvesId, kIdListId, kMethodNames[method], "Plain", r.x, r.y,
                               kModeNames[0], 0, dotMode});
      }
    }
  }
  return table;
}

void WriteFile(const fs::path &path, const void *data, size_t size) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Indented JSON with every list of plain numbers on one line: a measured
// printer's thousands of colours stay one line each, and the manifest
// stays well within the size a profile may have.
std::string OneLineNumberLists(const std::string &json) {
  std::string out;
  out.reserve(json.size());
  for (size_t i = 0; i < json.size(); ++i) {
    out += json[i];
    if (json[i] != '[') continue;
    const size_t end = json.find_first_of("[]{}\"", i + 1);
    if (end == std::string::npos || json[end] != ']') continue;
    std::string item;
    bool first = true;
    for (size_t j = i + 1; j <= end; ++j) {
      const char c = json[j];
      if (c == ',' || c == ']') {
        if (!item.empty()) out += (first ? "" : ", ") + item;
        first = false;
        item.clear();
      } else if (c != ' ' && c != '\n') {
        item += c;
      }
    }
    out += ']';
    i = end;
  }
  return out;
}

class ProfileWriter {
 public:
  explicit ProfileWriter(fs::path root) : root_(std::move(root)) {}

  void Colour(int id, const char *kind, const std::string &file, const Bytes &bytes) {
    Add(colour_, id, kind, "colour/" + file, bytes.data(), bytes.size());
  }
  void ColourText(int id, const char *kind, const std::string &file, const std::string &text) {
    Add(colour_, id, kind, "colour/" + file, text.data(), text.size());
  }
  void Halftone(int id, const char *kind, const std::string &file, const Bytes &bytes) {
    Add(halftone_, id, kind, "halftone/" + file, bytes.data(), bytes.size());
  }

  void Manifest(const host::PrinterModel &printer, const std::string &description) {
    Json manifest;
    manifest["format"] = 1;
    manifest["name"] = "default";
    manifest["description"] = description;
    manifest["inks"] = Json::array({
        {{"name", "cyan"}, {"color", "#00A0E4"}},
        {{"name", "magenta"}, {"color", "#E4007C"}},
        {{"name", "yellow"}, {"color", "#FFE600"}},
        {{"name", "black"}, {"color", "#231F20"}},
    });
    Json resolutions = Json::array();
    for (Resolution r : kResolutions) resolutions.push_back({r.x, r.y});
    manifest["resolutions"] = resolutions;
    manifest["dotModes"] = {0, 1, 2};
    Json methods = Json::object();
    for (int m = 0; m < 4; ++m) {
      if (Offered(0, m)) methods[kMethodNames[m]] = m;
    }
    methods["dither"] = {{"method", 3}, {"variant", kDitherVariant}};
    manifest["methods"] = methods;
    manifest["tableKey"] = {{"name", 0}, {"number", 0}};
    manifest["calibrationHeadId"] = kCalibrationHead;
    manifest["colourResources"] = colour_;
    manifest["halftoneResources"] = halftone_;
    manifest["printer"] = host::PrinterModelToJson(printer);
    const std::string text = OneLineNumberLists(manifest.dump(2)) + "\n";
    WriteFile(root_ / "profile.json", text.data(), text.size());
  }

 private:
  void Add(Json &list, int id, const char *kind, const std::string &file, const void *data, size_t size) {
    WriteFile(root_ / file, data, size);
    list.push_back({{"id", id}, {"kind", kind}, {"file", file}});
  }

  fs::path root_;
  Json colour_ = Json::array();
  Json halftone_ = Json::array();
};

Bytes TableBytes(const ColourTable &table, int id) {
  ColourTable t = table;
  if (id == kPaletteTable || id == kPaletteScreenTable) t.selector = EncodeSelectorRecord({kPaletteId, 0}, {kPaletteId, 0});
  if (id == kPaletteTable2880) t.selector = EncodeSelectorRecord({kPaletteId, 1}, {kPaletteId, 1});
  return EncodeColourTable(t);
}

void WriteTable(const fs::path &root, int id, const ColourTable &table) {
  const Bytes bytes = TableBytes(table, id);
  WriteFile(root / "colour" / (std::to_string(id) + ".ctb"), bytes.data(), bytes.size());
}

// The colour tables by inverting each way of printing's measured response,
// or through the ICC profile when one is given.
void WriteColourTables(const fs::path &root, const BuildOptions &options,
                       const host::PrinterModel &printer) {
  const host::Profile profile = host::LoadProfile(root);
  if (!options.icc.empty()) {
    // The ICC profile's CMYK as it stands, sampled at the values each
    // table's nodes serve, each ink amount turned into the level that lays
    // it down in that way of printing (from the measured ramps of each ink);
    // kind 0 keeps the ICC profile's grey axis as it is.
    for (const TablePlan &plan : kTablePlans) {
      const PrinterResponse response = Characterise(profile, plan.mode, printer, 2);
      const std::vector<uint8_t> values = NodeSourceValues(plan.mode);
      std::vector<uint8_t> rgb;
      for (uint8_t r : values) {
        for (uint8_t g : values) {
          for (uint8_t b : values) rgb.insert(rgb.end(), {r, g, b});
        }
      }
      const auto cmyk = IccCmyk(options.icc, rgb, options.intent == Intent::kPerceptual,
                                options.blackPointCompensation);
      ColourTable table;
      table.nodes = GridPositions(kColourTableNodes);
      table.kind = 0;
      for (const auto &inks : cmyk) {
        for (int k = 0; k < 4; ++k) table.levels.push_back(response.LevelFor(k, inks[k]));
      }
      const size_t n = values.size();
      for (size_t i = 0; i < n; ++i) table.neutralBlack.push_back(table.levels[(i * n * n + i * n + i) * 4 + 3]);
      WriteTable(root, plan.id, table);
      if (plan.id == kPaletteTable) WriteTable(root, kPaletteTable2880, table);
    }
    return;
  }
  InversionSettings settings;
  settings.intent = options.intent;
  for (const TablePlan &plan : kTablePlans) {
    const PrinterResponse response = Characterise(profile, plan.mode, printer, kCharacterisationSteps);
    const ColourTable table = InvertToColourTable(response, GridPositions(kColourTableNodes),
                                                    NodeSourceValues(plan.mode), settings);
    WriteTable(root, plan.id, table);
    if (plan.id == kPaletteTable) WriteTable(root, kPaletteTable2880, table);
  }
}

// The default printer; for measurements, the measured printer they
// describe; for an ICC profile, the printer it describes: its colours for
// ink amounts sampled at the measured grid's nodes.
host::PrinterModel PrinterFor(const BuildOptions &options) {
  const host::PrinterModel standard = host::DefaultPrinterModel();
  if (!options.icc.empty()) {
    const auto nodes = IccMeasurements(options.icc, GridNodes(kMeasuredGridSteps));
    return host::MeasuredPrinterModel(SampledGrid(nodes, kMeasuredGridSteps),
                                      standard.dotCoverage);
  }
  if (options.measurements.empty()) return standard;
  const std::vector<Measurement> data = ReadMeasurementsCgats(options.measurements);
  try {
    const MeasuredFit fit = FitMeasuredGrid(data, kMeasuredGridSteps);
    return host::MeasuredPrinterModel(fit.grid, standard.dotCoverage);
  } catch (const std::runtime_error &e) {
    throw std::runtime_error(options.measurements.string() + ": " + e.what());
  }
}

std::string Description(const BuildOptions &options) {
  if (!options.icc.empty())
    return "Four-ink printer of the ICC profile " + options.icc.filename().string();
  if (!options.measurements.empty())
    return "Measured four-ink printer (" + options.measurements.filename().string() + ")";
  return "Virtual four-ink printer (cyan, magenta, yellow, black)";
}

void WriteProfile(const fs::path &root, const BuildOptions &options) {
  const host::PrinterModel printer = PrinterFor(options);
  ProfileWriter writer(root);

  writer.ColourText(kSelectionId, "selectionTable", "selection.txt",
                    EncodeSelectionTable(MainSelection()));

  // Place-holders until the tables are made: the characterisation prints
  // through the profile itself.
  ColourTable empty;
  empty.nodes = GridPositions(kColourTableNodes);
  empty.levels.assign(empty.nodes.size() * empty.nodes.size() * empty.nodes.size() * 4, 0);
  empty.neutralBlack.assign(empty.nodes.size(), 0);
  for (int id : {kSingleDotTable, kSingleDotDiffusionTable, kPaletteTable, kPaletteScreenTable,
                 kPaletteTable2880}) {
    writer.Colour(id, "colourTable", std::to_string(id) + ".ctb", TableBytes(empty, id));
  }

  writer.Colour(kChannelMapId, "channelMap", "980.map",
                EncodeChannelMap({{kCalibrationHead, {0, 1, 2, 3}}}));
  writer.Colour(kReferenceId, "referenceValues", "990.ref",
                EncodeReferenceValues(1, std::vector<uint8_t>(4, kReferenceValue)));
  writer.ColourText(kCalibrationSelectionId, "selectionTable", "5900.txt",
                    EncodeSelectionTable(CalibrationSelection()));
  writer.Colour(kCurvesId, "calibrationCurves", "5950.crv", MakeCalibrationCurves(21));

  writer.Halftone(kIdListId, "idList", "100.ids", EncodeIdList(kIdList));
  writer.Halftone(kGridId, "grid", "400.grid", EncodeGrid(GridPositions(32)));
  for (const MatrixPlan &m : kMatrices) {
    const auto ranks = MakeBlueNoiseMatrix({m.width, m.height, m.stretch, m.seed});
    writer.Halftone(m.id, "matrix", std::to_string(m.id) + ".mtx",
                    EncodeMatrixResource(m.width, m.height, ranks));
  }
  writer.Halftone(kPaletteId, "palette", "420.pal",
                  EncodeDotPalette(MakeDotPalette(printer.dotCoverage[0], printer.dotCoverage[1])));
  writer.Manifest(printer, Description(options));
  WriteColourTables(root, options, printer);
}

}  // namespace

void BuildProfile(const fs::path &folder, const BuildOptions &options) {
  if (folder.empty()) throw std::runtime_error("no output folder given for the profile");
  fs::path dir = folder.lexically_normal();
  if (!dir.has_filename()) dir = dir.parent_path();  // "out/" names "out"
  std::error_code ec;
  if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
    throw std::runtime_error(dir.string() + " exists and is not a folder");
  }
  if (fs::is_directory(dir, ec) && !fs::is_empty(dir, ec) && !fs::exists(dir / "profile.json", ec)) {
    throw std::runtime_error(dir.string() + " is not empty and holds no profile; not replacing it");
  }
  // Build beside the target and move it into place only when complete, so a
  // failure leaves no partial profile behind.
  fs::path staging = dir;
  staging += ".partial";
  fs::remove_all(staging, ec);
  try {
    fs::create_directories(staging);
    WriteProfile(staging, options);
    fs::remove_all(dir);
    fs::rename(staging, dir);
  } catch (const fs::filesystem_error &e) {
    fs::remove_all(staging, ec);
    throw std::runtime_error("cannot write the profile to " + dir.string() + ": " +
                             e.code().message());
  } catch (...) {
    fs::remove_all(staging, ec);
    throw;
  }
}

}  // namespace inkdot::profile
