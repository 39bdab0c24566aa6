#include "profile_builder.h"

#include <gtest/gtest.h>
#include <lcms2.h>

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

TEST(BuildProfile, SameBytesEveryTime) {
  ScratchFolder scratch("twice");
  BuildProfile(scratch.path() / "a", {});
  const auto first = Contents(scratch.path() / "a");
  EXPECT_GT(first.size(), 10u);
  // Built again over itself (named with a trailing slash this time).
  BuildProfile(scratch.path() / "a/", {});
  EXPECT_EQ(first, Contents(scratch.path() / "a"));
  EXPECT_FALSE(fs::exists(scratch.path() / "a.partial"));
}

TEST(BuildProfile, RefusesToReplaceAFolderThatIsNotAProfile) {
  ScratchFolder scratch("occupied");
  std::ofstream(scratch.path() / "notes.txt") << "keep me";
  EXPECT_THROW(BuildProfile(scratch.path(), {}), std::runtime_error);
  EXPECT_TRUE(fs::exists(scratch.path() / "notes.txt"));
  EXPECT_FALSE(fs::exists(scratch.path() / "profile.json"));
}

void SaveProfile(cmsHPROFILE profile, const fs::path &path) {
  ASSERT_TRUE(cmsSaveProfileToFile(profile, path.c_str()));
  cmsCloseProfile(profile);
}

// A CMYK output profile whose Lab-to-ink table puts only the lightness into
// equal cyan, magenta and yellow (so neutral input stays neutral).
int GreyOnlyInks(const cmsUInt16Number in[], cmsUInt16Number out[], void *) {
  const cmsUInt16Number ink = static_cast<cmsUInt16Number>(65535 - in[0]);
  out[0] = out[1] = out[2] = ink;
  out[3] = 0;
  return 1;
}

void SaveGreyCmykProfile(const fs::path &path) {
  cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(p, 2.1);
  cmsSetDeviceClass(p, cmsSigOutputClass);
  cmsSetColorSpace(p, cmsSigCmykData);
  cmsSetPCS(p, cmsSigLabData);
  cmsPipeline *lut = cmsPipelineAlloc(nullptr, 3, 4);
  cmsStage *clut = cmsStageAllocCLut16bit(nullptr, 9, 3, 4, nullptr);
  cmsStageSampleCLut16bit(clut, GreyOnlyInks, nullptr, 0);
  cmsPipelineInsertStage(lut, cmsAT_END, clut);
  cmsWriteTag(p, cmsSigBToA0Tag, lut);
  cmsPipelineFree(lut);
  SaveProfile(p, path);
}

TEST(BuildProfile, ThroughAnIccProfileTheGreyAxisStaysNeutral) {
  ScratchFolder scratch("icc");
  SaveGreyCmykProfile(scratch.path() / "grey.icc");
  BuildProfile(scratch.path() / "out", {scratch.path() / "grey.icc"});
  std::ifstream in(scratch.path() / "out/colour/5100.ctb", std::ios::binary);
  const std::string ctb(std::istreambuf_iterator<char>(in), {});
  const int n = static_cast<uint8_t>(ctb[72]);
  ASSERT_GT(n, 16);
  // Palette levels are ink amounts in 255ths; inks darken multiplicatively.
  double previous = -1;
  for (int i = n - 1; i >= 0; --i) {
    const size_t at = 76 + 3 * size_t(n) + (size_t(i) * (n * n + n + 1)) * 4;
    const int c = static_cast<uint8_t>(ctb[at]), m = static_cast<uint8_t>(ctb[at + 1]),
              y = static_cast<uint8_t>(ctb[at + 2]), k = static_cast<uint8_t>(ctb[at + 3]);
    EXPECT_NEAR(c, m, 3) << "step " << i;
    EXPECT_NEAR(m, y, 3) << "step " << i;
    const double darkness = 1.0 - (1.0 - c / 255.0) * (1.0 - k / 255.0);
    EXPECT_GE(darkness, previous - 0.005) << "step " << i;  // darker towards step 0
    previous = darkness;
  }
}

TEST(BuildProfile, UnusableIccProfilesAreNamedAndLeaveNothingBehind) {
  ScratchFolder scratch("badicc");
  std::ofstream(scratch.path() / "junk.icc") << "not a profile";
  SaveProfile(cmsCreate_sRGBProfile(), scratch.path() / "rgb.icc");
  for (const char *name : {"junk.icc", "rgb.icc", "missing.icc"}) {
    const fs::path out = scratch.path() / "out";
    try {
      BuildProfile(out, {scratch.path() / name});
      ADD_FAILURE() << name << " was accepted";
    } catch (const std::runtime_error &e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(out)) << name;
    EXPECT_FALSE(fs::exists(scratch.path() / "out.partial")) << name;
  }
}

}  // namespace
}  // namespace inkdot::profile
