// The bundled default profile, read back through its manifest with a small
// reader of the resource formats written here from their descriptions.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using Bytes = std::vector<uint8_t>;

// Files are read once; the walk over every combination reads many twice.
const Bytes &ReadAll(const fs::path &p) {
  static std::map<fs::path, Bytes> cache;
  auto it = cache.find(p);
  if (it == cache.end()) {
    std::ifstream in(p, std::ios::binary);
    it = cache.emplace(p, Bytes(std::istreambuf_iterator<char>(in), {})).first;
  }
  return it->second;
}

// A selection table: version, entry lines (nine fields) and the three lists.
struct Table {
  int version = 200;
  std::vector<std::vector<std::string>> entries;
  std::vector<std::string> methods, modes;
  int keyBase = 0;
  std::vector<std::string> keys;
};

std::vector<std::string> Fields(const std::string &line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string f; in >> f;) out.push_back(f);
  return out;
}

Table ParseTable(const std::string &text) {
  Table t;
  const size_t slash = text.find("//");
  EXPECT_NE(slash, std::string::npos);
  if (text[slash + 2] == '3') t.version = std::stoi(text.substr(slash + 2));
  std::vector<std::string> lines;
  std::string rest = text.substr(slash + 2), line;
  std::istringstream in(rest);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!Fields(line).empty()) lines.push_back(line);
  }
  size_t i = 2;  // the version line and the heading
  for (; i < lines.size() && Fields(lines[i])[0][0] != '/'; ++i) t.entries.push_back(Fields(lines[i]));
  t.methods = Fields(lines.at(i + 1));
  auto keys = Fields(lines.at(i + 2));
  if (keys[0][0] != 'P') {
    t.keyBase = std::stoi(keys[0]);
    keys.erase(keys.begin());
  }
  t.keys = keys;
  t.modes = Fields(lines.at(i + 3));
  return t;
}

int Position(const std::vector<std::string> &list, const std::string &name) {
  int found = 0;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == name) found = int(i);
  return found;
}

// The last matching line's first two columns, or {0, 0}.
std::pair<int, int> Select(const Table &t, int method, int key, int x, int y, int mode, int keyNo,
                           int dotMode) {
  std::pair<int, int> chosen{0, 0};
  for (const auto &e : t.entries) {
    if (e.size() < 9) continue;
    if (Position(t.methods, e[2]) == method && t.keyBase + Position(t.keys, e[3]) == key &&
        std::stoi(e[4]) == x && std::stoi(e[5]) == y && Position(t.modes, e[6]) == mode &&
        std::stoi(e[7]) == keyNo && (t.version < 300 || std::stoi(e[8]) == dotMode)) {
      chosen = {std::stoi(e[0]), std::stoi(e[1])};
    }
  }
  return chosen;
}

class DefaultProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = INKDOT_DEFAULT_PROFILE;
    std::ifstream in(root_ / "profile.json");
    ASSERT_TRUE(in) << "no bundled profile at " << root_;
    manifest_ = Json::parse(in);
    for (const auto &r : manifest_["colourResources"]) colour_[r["id"].get<int>()] = r;
    for (const auto &r : manifest_["halftoneResources"]) halftone_[r["id"].get<int>()] = r;
  }
  const Bytes &Colour(int id, const char *kind) {
    EXPECT_TRUE(colour_.count(id)) << "colour resource " << id;
    EXPECT_EQ(colour_[id]["kind"], kind);
    return ReadAll(root_ / colour_[id]["file"].get<std::string>());
  }
  const Bytes &Halftone(int id, const char *kind) {
    EXPECT_TRUE(halftone_.count(id)) << "halftone resource " << id;
    EXPECT_EQ(halftone_[id]["kind"], kind);
    return ReadAll(root_ / halftone_[id]["file"].get<std::string>());
  }
  fs::path root_;
  Json manifest_;
  std::map<int, Json> colour_, halftone_;
};

TEST_F(DefaultProfile, ManifestListsFilesThatExist) {
  EXPECT_EQ(manifest_["format"], 1);
  EXPECT_EQ(manifest_["inks"].size(), 4u);
  for (const auto *list : {&colour_, &halftone_})
    for (const auto &[id, r] : *list) EXPECT_TRUE(fs::is_regular_file(root_ / r["file"].get<std::string>())) << id;
  Table table = ParseTable([&] { Bytes b = Colour(0, "selectionTable"); return std::string(b.begin(), b.end()); }());
  // The method list holds the manifest's names at their method numbers.
  for (const auto &[name, value] : manifest_["methods"].items()) {
    ASSERT_LT(value.get<size_t>(), table.methods.size());
    EXPECT_EQ(table.methods[value.get<size_t>()], name);
  }
}

// For every offered combination: the selected colour table, its selector
// record, the id list, and the grid and matrix chosen by resolution.
TEST_F(DefaultProfile, EveryOfferedCombinationLeadsToUsableResources) {
  const Bytes selection = Colour(0, "selectionTable");
  const Table table = ParseTable(std::string(selection.begin(), selection.end()));
  EXPECT_EQ(table.version, 300);
  const int key = manifest_["tableKey"]["name"], keyNo = manifest_["tableKey"]["number"];
  int combinations = 0;
  for (int dotMode : manifest_["dotModes"]) {
    for (const auto &[name, methodJson] : manifest_["methods"].items()) {
      const int method = methodJson;
      // Multi-size dots are screened or diffused only.
      if (dotMode == 2 && method != 1 && method != 3) continue;
      for (const auto &res : manifest_["resolutions"]) {
        const int x = res[0], y = res[1];
        for (int mode : {0, 4}) {
          SCOPED_TRACE(name + " dot mode " + std::to_string(dotMode) + " " + std::to_string(x) + "x" +
                       std::to_string(y) + " mode " + std::to_string(mode));
          ++combinations;
          const auto [tableId, listId] = Select(table, method, key, x, y, mode, keyNo, dotMode);
          ASSERT_GE(tableId, 5000);
          ASSERT_LT(tableId, 6000);  // one calibration table, 5900, serves all
          const Bytes &ctb = Colour(tableId, "colourTable");
          const uint32_t auxAt = ctb[16] | ctb[17] << 8 | ctb[18] << 16 | ctb[19] << 24;
          const uint32_t auxLen = ctb[20] | ctb[21] << 8;
          if (dotMode == 2) {
            ASSERT_GE(auxLen, 26u);
            const uint8_t *sel = &ctb[auxAt];
            EXPECT_GE(sel[0] | sel[1] << 8, 22);
            EXPECT_EQ(sel[4], 3);
            EXPECT_EQ(Bytes(sel + 8, sel + 12), (Bytes{0xFB, 0x69, 0xF7, 0xDD}));
            const int alternate = (x == 2880 && y == 720 && method == 1) ? 1 : 0;
            EXPECT_EQ(sel[18], alternate);
            EXPECT_EQ(sel[22], alternate);
            const Bytes &palette = Halftone(sel[16] | sel[17] << 8, "palette");
            ASSERT_EQ(palette.size(), 768u);
            for (int p = 0; p < 256; ++p) EXPECT_LE(palette[3 * p] + palette[3 * p + 1] + palette[3 * p + 2], 255);
          }
          // Id list: entry 0 the grid, then the matrix by resolution class.
          const Bytes list = Halftone(listId, "idList");
          std::vector<int> ids;
          for (size_t i = 0; i + 1 < list.size() && !(list[i] == 0xFF && list[i + 1] == 0xFF); i += 2)
            ids.push_back(list[i] << 8 | list[i + 1]);
          ASSERT_LE(ids.size(), 15u);
          const Bytes grid = Halftone(ids.at(0), "grid");
          EXPECT_EQ(grid[0] | grid[1] << 8, 32);
          const size_t cls = (x == 1440 && y == 720) ? 3 : x == 2 * y ? 2 : 2 * x == y ? 4 : x < 4 * y ? 1 : 5;
          const Bytes &matrix = Halftone(ids.at(cls), "matrix");
          const int w = matrix[0] == 255 ? 256 : matrix[0], h = matrix[1] == 255 ? 256 : matrix[1];
          EXPECT_EQ(matrix.size(), 4u + 2u * w * h);
          // The tall colour kernel reads its table path from 128 x 128 only.
          if (2 * x == y) {
            EXPECT_EQ(w * h, 16384);
          }
        }
      }
    }
  }
  EXPECT_EQ(combinations, 100);
}

TEST_F(DefaultProfile, CalibrationChainFindsCurvesForEveryCombination) {
  const Bytes map = Colour(980, "channelMap");
  EXPECT_EQ(map.at(0), manifest_["calibrationHeadId"].get<int>());
  EXPECT_EQ(map.back(), 0xFF);
  const Bytes ref = Colour(990, "referenceValues");
  const bool modeOne = ref[0] >= 30 && ref[0] <= 70;
  const Bytes second = Colour(5900, "selectionTable");
  const Table table = ParseTable(std::string(second.begin(), second.end()));
  for (int dotMode : {0, 1, 2})
    for (int method : {1, 3})  // the colour side turns method 0 into 3
      for (const auto &res : manifest_["resolutions"]) {
        const int curvesId = Select(table, method, 0, res[0], res[1], 0, 0, dotMode).first;
        ASSERT_GT(curvesId, 0);
        EXPECT_EQ(Colour(curvesId, "calibrationCurves").size(), (modeOne ? 21u : 37u) * 256);
      }
}

}  // namespace
