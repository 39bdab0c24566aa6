// SPDX-License-Identifier: Apache-2.0
#include "profile_builder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace inkdot::profile {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string &name)
      : path_(fs::temp_directory_path() / ("inkdot_profile_test_" + name + "_" + std::to_string(::getpid()))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchFolder() { fs::remove_all(path_); }
  const fs::path &path() const { return path_; }

 private:
  fs::path path_;
};

std::map<std::string, std::string> Contents(const fs::path &root) {
  std::map<std::string, std::string> files;
  for (const auto &entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files[fs::relative(entry.path(), root).string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

// The build wrote the default profile with the same builder; building it
// again, over a copy of that one (named with a trailing slash), must give
// the same bytes.
TEST(BuildProfile, SameBytesEveryTime) {
  ScratchFolder scratch("again");
  const auto built = Contents(INKDOT_DEFAULT_PROFILE);
  EXPECT_GT(built.size(), 10u);
  fs::copy(INKDOT_DEFAULT_PROFILE, scratch.path() / "a", fs::copy_options::recursive);
  BuildProfile(scratch.path() / "a/", {});
  EXPECT_EQ(built, Contents(scratch.path() / "a"));
  EXPECT_FALSE(fs::exists(scratch.path() / "a.partial"));
}

TEST(BuildProfile, RefusesToReplaceAFolderThatIsNotAProfile) {
  ScratchFolder scratch("occupied");
  std::ofstream(scratch.path() / "notes.txt") << "keep me";
  EXPECT_THROW(BuildProfile(scratch.path(), {}), std::runtime_error);
  EXPECT_TRUE(fs::exists(scratch.path() / "notes.txt"));
  EXPECT_FALSE(fs::exists(scratch.path() / "profile.json"));
}

}  // namespace
}  // namespace inkdot::profile
