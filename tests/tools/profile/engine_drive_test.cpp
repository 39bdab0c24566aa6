// The bundled default profile driven through the engine the way a host
// drives it: both resource conversations and a page of rows, for every
// method, dot mode and resolution the profile offers.
#include <gtest/gtest.h>
#include <inkdot/inkdot.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Store {
  std::map<int, Bytes> colour, halftone;
  nlohmann::json manifest;
};

const Store &DefaultProfile() {
  static const Store store = [] {
    Store s;
    const fs::path root = INKDOT_DEFAULT_PROFILE;
    std::ifstream in(root / "profile.json");
    s.manifest = nlohmann::json::parse(in);
    for (auto [list, map] : {std::pair{"colourResources", &s.colour}, std::pair{"halftoneResources", &s.halftone}}) {
      for (const auto &r : s.manifest[list]) {
        std::ifstream file(root / r["file"].get<std::string>(), std::ios::binary);
        (*map)[r["id"].get<int>()] = Bytes(std::istreambuf_iterator<char>(file), {});
      }
    }
    return s;
  }();
  return store;
}

struct Page {
  uint32_t dotMode, method, variant, x, y;
  bool colour;
  int32_t adjust;     // colorAdjustMode: 0 plain, 2 enhanced
  bool calibration;   // with a calibration block for head 1
};

std::string Describe(const Page &p) {
  return "dot mode " + std::to_string(p.dotMode) + ", method " + std::to_string(p.method) + "/" +
         std::to_string(p.variant) + ", " + std::to_string(p.x) + "x" + std::to_string(p.y) +
         (p.colour ? ", colour" : ", grey") + ", adjust " + std::to_string(p.adjust) +
         (p.calibration ? ", calibrated" : "");
}

constexpr uint32_t kWidth = 256, kRows = 48, kBands = 8;

// Both engine objects of one page, set up through the two resource
// conversations; released on destruction (halftone object first: its set-up
// read memory of the colour-matching object).
struct Objects {
  CmContext *cm = nullptr;
  HalftoneContext *ht = nullptr;
  int colourCalls = 0;
  HalftoneParams page{};
  ~Objects() {
    if (ht) {
      EXPECT_EQ(HalftoneDelete(ht), 0u);
    }
    if (cm) {
      EXPECT_EQ(CmDelete(cm), 0u);
    }
  }
};

// Feeds each conversation the resources it asks for, as a host would.
// Failures are recorded; the objects hold what was made.
void SetUpObjects(const Page &p, Objects &o) {
  const Store &store = DefaultProfile();
  CmParams params{};
  params.neutralBalance = 50;
  params.colorAdjustMode = p.adjust;
  params.tableKeyName = store.manifest["tableKey"]["name"];
  params.tableKeyNumber = store.manifest["tableKey"]["number"];
  static const uint8_t block[] = {'C', 'W', ':', 1, 54, 46, 60, 41, 0xFE, 0xFF};
  alignas(CmOptionList) unsigned char optionBytes[sizeof(CmOptionList) + sizeof(CmOption)] = {};
  auto *options = reinterpret_cast<CmOptionList *>(optionBytes);
  options->count = 1;
  options->pairs[0] = {512, block};
  if (p.calibration) params.options = options;
  o.page = {p.method, p.variant, p.colour ? 7u : 0u, p.colour ? 1u : 0u, p.x, p.y, p.dotMode, 0, 0, kWidth, 0};

  int32_t next = -2;
  ASSERT_EQ(CmNew(&params, &o.page, 0, &next, &o.cm), 0u);
  while (next != -1 && o.colourCalls++ < 8) {
    auto it = store.colour.find(next);
    ASSERT_NE(it, store.colour.end()) << "colour resource " << next << " is not in the profile";
    const int32_t asked = next;
    ASSERT_EQ(CmSetResource(o.cm, it->second.data(), &next), 0u) << "colour resource " << asked;
  }
  if (p.dotMode == 2) {
    // Only 2880 x 720 diffusion runs on the alternate kernels; elsewhere the
    // flag would leave the page without a kernel.
    const uint8_t *selector = CmGetLut(o.cm)->selectorRecord;
    ASSERT_NE(selector, nullptr);
    EXPECT_EQ(selector[p.colour ? 18 : 22], p.method == 1 && p.x == 2880 && p.y == 720);
  }
  ASSERT_EQ(HalftoneNew(&o.page, CmGetLut(o.cm), 0, &next, &o.ht), 0u);
  for (int phase = 0; next != -1 && phase < 5; ++phase) {
    auto it = store.halftone.find(next);
    ASSERT_NE(it, store.halftone.end()) << "halftone resource " << next << " is not in the profile";
    const int32_t asked = next;
    ASSERT_EQ(HalftoneSetResource(o.ht, it->second.data(), &next), 0u) << "halftone resource " << asked;
  }
  ASSERT_EQ(next, -1);
  if (p.calibration) {
    EXPECT_EQ(o.colourCalls, 6) << "the calibration chain was not followed to its curves";
  }
}

// Prints a page of a grey ramp (white on the left, black on the right, in
// eight bands) and returns the ink per band: every dot counts by its size
// (1 for single-size dots; 1, 2, 3 for small, medium, large).
std::vector<long> PrintRamp(const Page &p) {
  std::vector<long> ink(kBands, 0);
  Objects o;
  SetUpObjects(p, o);
  if (::testing::Test::HasFatalFailure()) return ink;
  const uint32_t bits = p.dotMode == 2 ? 2 : 1, stride = kWidth * bits / 8;
  const uint32_t pixelBytes = p.colour ? 4 : 1;
  std::vector<uint8_t> src(kWidth * pixelBytes, 0), dst(stride * 4);
  for (uint32_t x = 0; x < kWidth; ++x) {
    const auto v = static_cast<uint8_t>(255 - (x * kBands / kWidth) * 255 / (kBands - 1));
    for (uint32_t c = 0; c < std::min(pixelBytes, 3u); ++c) src[x * pixelBytes + c] = v;
  }
  for (uint32_t row = 0; row < kRows; ++row) {
    std::fill(dst.begin(), dst.end(), 0);
    const ResultCode rc = Halftone(o.ht, src.data(), dst.data(), stride, 0, kWidth, 0, 0, row, 0, 0);
    if (rc != 0) {
      ADD_FAILURE() << "Halftone answered " << rc << " for row " << row;
      break;
    }
    for (uint32_t plane = 0; plane < 4; ++plane) {
      for (uint32_t x = 0; x < kWidth; ++x) {
        const uint32_t bit = x * bits;
        ink[x * kBands / kWidth] += (dst[plane * stride + bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
      }
    }
  }
  return ink;
}

std::vector<Page> OfferedPages() {
  const Store &store = DefaultProfile();
  std::vector<Page> pages;
  for (uint32_t dotMode : store.manifest["dotModes"])
    for (const auto &[name, method] : store.manifest["methods"].items()) {
      if (method.is_object()) continue;  // variants are driven below
      const uint32_t m = method;
      if (dotMode == 2 && m != 1 && m != 3) continue;  // multi-size dots: diffusion and screening
      for (const auto &r : store.manifest["resolutions"]) {
        const uint32_t x = r[0], y = r[1];
        pages.push_back({dotMode, m, 0, x, y, true, 0, false});
        pages.push_back({dotMode, m, 0, x, y, true, 2, false});
        pages.push_back({dotMode, m, 0, x, y, false, 0, false});
        pages.push_back({dotMode, m, 0, x, y, true, 0, true});
        if (m == 3 && dotMode != 2) pages.push_back({dotMode, m, 1, x, y, true, 0, false});
      }
    }
  return pages;
}

TEST(DefaultProfileThroughEngine, EveryOfferedCombinationCompletesBothConversations) {
  for (const Page &p : OfferedPages()) {
    SCOPED_TRACE(Describe(p));
    Objects objects;
    SetUpObjects(p, objects);
  }
}

TEST(DefaultProfileThroughEngine, CalibrationTakesInkFromHeavyHeadsAndAddsItForLightOnes) {
  // The calibration block measures cyan at 54 and magenta at 46 against the
  // reference 50: a heavy cyan head and a light magenta one.
  const Page plain{0, 3, 0, 720, 720, true, 0, false};
  Page calibrated = plain;
  calibrated.calibration = true;
  Objects a, b;
  SetUpObjects(plain, a);
  SetUpObjects(calibrated, b);
  const CmLut *before = CmGetLut(a.cm), *after = CmGetLut(b.cm);
  const size_t bytes = size_t(before->gridSize1) * before->gridSize2 * before->gridSize3 * before->channelCount;
  int lessCyan = 0, moreMagenta = 0;
  for (size_t i = 0; i < bytes; i += before->channelCount) {
    EXPECT_LE(after->tableData[i], before->tableData[i]);
    EXPECT_GE(after->tableData[i + 1], before->tableData[i + 1]);
    lessCyan += after->tableData[i] < before->tableData[i];
    moreMagenta += after->tableData[i + 1] > before->tableData[i + 1];
  }
  EXPECT_GT(lessCyan, 100);
  EXPECT_GT(moreMagenta, 100);
}

TEST(DefaultProfileThroughEngine, EveryOfferedPagePrintsWithoutAnEngineError) {
  for (const Page &p : OfferedPages()) {
    SCOPED_TRACE(Describe(p));
    PrintRamp(p);
  }
}

TEST(DefaultProfileThroughEngine, ColourGreyRampPrintsMoreInkAsItDarkens) {
  for (const Page &p : OfferedPages()) {
    if (!p.colour || p.calibration) continue;
    SCOPED_TRACE(Describe(p));
    const std::vector<long> ink = PrintRamp(p);
    EXPECT_EQ(ink.front(), 0) << "ink on white";
    EXPECT_GT(ink.back(), ink.front());
    for (uint32_t band = 1; band < kBands; ++band) {
      if (p.method == 0) {
        // Method 0 switches every channel at the midpoint: no ink on the
        // light half of the ramp, black on the dark half.
        const bool dark = 255 - band * 255 / (kBands - 1) <= 128;
        EXPECT_EQ(ink[band] > 0, dark) << "band " << band;
      } else {
        EXPECT_GT(ink[band], ink[band - 1]) << "band " << band;
      }
    }
  }
}

}  // namespace
