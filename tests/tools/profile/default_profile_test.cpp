// The bundled default profile's manifest and the files it names.
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
  // The selection table's method list holds the manifest's names at their
  // method numbers (the engine matches a line by that position).
  const Bytes &selection = Colour(0, "selectionTable");
  const std::string text(selection.begin(), selection.end());
  const size_t listAt = text.find("\n", text.find("\n/") + 1) + 1;  // the line after "/end"
  std::istringstream methods(text.substr(listAt, text.find_first_of("\r\n", listAt) - listAt));
  const std::vector<std::string> list{std::istream_iterator<std::string>(methods), {}};
  for (const auto &[name, value] : manifest_["methods"].items()) {
    if (value.is_object()) continue;  // a variant of a listed method
    ASSERT_LT(value.get<size_t>(), list.size());
    EXPECT_EQ(list[value.get<size_t>()], name);
  }
  // Every colour table lies in 5000..5999: the calibration step asks for
  // the second selection table at the table id rounded down to thousands
  // plus 900.
  for (const auto &[id, r] : colour_) {
    if (r["kind"] == "colourTable") {
      EXPECT_EQ(id / 1000 * 1000 + 900, 5900) << id;
    }
  }
  EXPECT_EQ(colour_.count(5900), 1u);
}

}  // namespace
