// Engine sessions: result messages, the option list and calibration block
// the host builds, settings checks, and both resource conversations run
// against the test profile.
#include <gtest/gtest.h>

#include <set>

#include "inkdot/host/errors.h"
#include "inkdot/host/print_job.h"
#include "inkdot/host/result_string.h"
#include "inkdot/host/session.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

TEST(ResultStrings, EveryCodeHasItsOwnMeaning) {
  const uint32_t codes[] = {INKDOT_OK,          INKDOT_ALLOC_FAILED, INKDOT_LOCK_FAILED,
                            INKDOT_UNLOCK_FAILED, INKDOT_FREE_FAILED, INKDOT_NO_KERNEL,
                            INKDOT_BAD_PARAMS,  INKDOT_BAD_TABLE,    INKDOT_BAD_RESERVED,
                            INKDOT_RUN_TOO_LONG, INKDOT_BAD_RESERVED_A, INKDOT_BAD_RESERVED_B,
                            INKDOT_BAD_RESOURCE, INKDOT_BAD_PALETTE};
  const std::string unknown = inkdot_result_string(1);
  std::set<std::string> seen;
  for (uint32_t code : codes) {
    const std::string text = inkdot_result_string(code);
    EXPECT_NE(text, unknown) << code;
    EXPECT_TRUE(seen.insert(text).second) << code << " shares its text";
  }
  EXPECT_EQ(unknown, "unknown result code");
  EXPECT_EQ(std::string(inkdot_result_string(784)).find("255") != std::string::npos, true);
  EngineError error("HalftoneSetResource", 784, "resource 420");
  EXPECT_NE(std::string(error.what()).find("784"), std::string::npos);
  EXPECT_NE(std::string(error.what()).find("resource 420"), std::string::npos);
}

TEST(OptionList, HoldsOnlyWhatIsSetAndABlockTheEngineAccepts) {
  ColourSettings settings;
  OptionList empty(settings, 1);
  EXPECT_EQ(empty.get()->count, 0);

  settings.gamma = 180;
  settings.toneCurves.assign(768, 9);
  settings.calibration = {30, 50, 70, 45};
  OptionList full(settings, 7);
  const CmOptionList *list = full.get();
  ASSERT_EQ(list->count, 3);
  EXPECT_EQ(list->pairs[0].key, 1);
  EXPECT_EQ(*static_cast<const int32_t *>(list->pairs[0].value), 180);
  EXPECT_EQ(list->pairs[1].key, 256);
  EXPECT_EQ(static_cast<const uint8_t *>(list->pairs[1].value)[767], 9);
  EXPECT_EQ(list->pairs[2].key, 512);
  const auto *block = static_cast<const uint8_t *>(list->pairs[2].value);
  const uint8_t expected[] = {'C', 'W', ':', 7, 30, 50, 70, 45, 0xFE, 0xFF};
  EXPECT_EQ(std::vector<uint8_t>(block, block + 10),
            std::vector<uint8_t>(expected, expected + 10));
}

TEST(ColourSettingsCheck, RangesMatchWhatTheEngineAccepts) {
  ColourSettings settings;
  settings.brightness = 50;
  settings.blueOffset = -50;
  settings.gamma = 300;
  EXPECT_NO_THROW(CheckColourSettings(settings, 4));
  settings.brightness = 60;
  try {
    CheckColourSettings(settings, 4);
    ADD_FAILURE();
  } catch (const SettingError &e) {
    EXPECT_NE(std::string(e.what()).find("brightness 60"), std::string::npos) << e.what();
  }
  settings.brightness = 0;
  settings.gamma = 99;
  EXPECT_THROW(CheckColourSettings(settings, 4), SettingError);
  settings.gamma = 0;
  settings.calibration = {50, 50, 50};
  EXPECT_THROW(CheckColourSettings(settings, 4), SettingError);
  settings.calibration = {50, 50, 50, 71};
  EXPECT_THROW(CheckColourSettings(settings, 4), SettingError);
  settings.calibration.clear();
  settings.toneCurves.assign(767, 0);
  EXPECT_THROW(CheckColourSettings(settings, 4), SettingError);
}

class ConversationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteTestProfile(dir_.path());
    profile_ = LoadProfile(dir_.path());
  }
  HalftoneParams Page(uint32_t method, uint32_t dotMode) {
    PrintSettings settings;
    settings.method = method;
    settings.dotMode = dotMode;
    settings.xResolution = settings.yResolution = 720;
    return MakePageParams(settings, 64);
  }
  testing::TempDir dir_;
  Profile profile_;
};

TEST_F(ConversationTest, ColourConversationFollowsTheSelectedIds) {
  ColourSession plain(profile_, {}, Page(1, 2));
  EXPECT_EQ(plain.consumed(), (std::vector<int32_t>{0, 5000}));
  EXPECT_EQ(plain.lut()->halftoneResourceId, 400);
  EXPECT_EQ(plain.lut()->channelCount, 4);
}

TEST_F(ConversationTest, CalibrationAsksForFourMoreResources) {
  ColourSettings settings;
  settings.calibration = {50, 50, 50, 50};
  ColourSession calibrated(profile_, settings, Page(1, 2));
  // The channel map, the reference values, the second selection table
  // (table id rounded down to 1000, plus 900) and the curves it selects.
  EXPECT_EQ(calibrated.consumed(), (std::vector<int32_t>{0, 5000, 980, 990, 5900, 5950}));
}

TEST_F(ConversationTest, UnmatchedSelectionAndMissingResourcesAreReported) {
  HalftoneParams page = Page(1, 2);
  page.xResolution = 360;  // no line of the selection table names it
  try {
    ColourSession session(profile_, {}, page);
    ADD_FAILURE();
  } catch (const EngineError &e) {
    EXPECT_EQ(e.code(), INKDOT_BAD_RESOURCE);
    EXPECT_NE(std::string(e.what()).find("selection.txt"), std::string::npos) << e.what();
  }
  profile_.colourResources.erase(5000);
  try {
    ColourSession session(profile_, {}, Page(1, 2));
    ADD_FAILURE();
  } catch (const Error &e) {
    EXPECT_NE(std::string(e.what()).find("resource 5000"), std::string::npos) << e.what();
  }
}

TEST_F(ConversationTest, HalftoneSetUpReadsListGridMatrixAndPalette) {
  ColourSession colour(profile_, {}, Page(1, 2));
  HalftoneSession multi(profile_, colour, Page(1, 2));
  EXPECT_EQ(multi.consumed(), (std::vector<int32_t>{400, 410, 411, 420}));
  ColourSession colour0(profile_, {}, Page(1, 0));
  HalftoneSession single(profile_, colour0, Page(1, 0));
  EXPECT_EQ(single.consumed(), (std::vector<int32_t>{400, 410, 411}));
}

}  // namespace
}  // namespace inkdot::host
