// Engine sessions: settings checks, and the errors of a colour
// conversation that cannot finish.
#include <gtest/gtest.h>

#include "inkdot/host/errors.h"
#include "inkdot/host/print_job.h"
#include "inkdot/host/session.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

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

}  // namespace
}  // namespace inkdot::host
