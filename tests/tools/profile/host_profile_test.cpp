// SPDX-License-Identifier: Apache-2.0
// The bundled default profile as the host SDK sees it: loaded and validated
// resource by resource, then printed from the test chart.
#include <gtest/gtest.h>

#include "inkdot/host/print_job.h"
#include "inkdot/host/profile.h"
#include "profile_builder.h"

namespace {

using namespace inkdot;

// Loading validates every resource of the profile; a refusal fails here.
TEST(DefaultProfileInHost, PrintsTheChartForEveryOfferedSetting) {
  const host::Profile profile = host::LoadProfile(INKDOT_DEFAULT_PROFILE);
  const profile::RgbImage chart = profile::MakeTestChart(96, 64);
  host::Image image{uint32_t(chart.width), uint32_t(chart.height), 3, 72, 72, {}};
  for (uint8_t v : chart.rgb) image.samples.push_back(uint16_t(v * 257));
  for (uint32_t dotMode : profile.dotModes) {
    for (const auto &[name, choice] : profile.methods) {
      if (dotMode == 2 && choice.method != 1 && choice.method != 3) continue;
      for (const auto &[x, y] : profile.resolutions) {
        for (bool grey : {false, true}) {
          SCOPED_TRACE(name + " dot mode " + std::to_string(dotMode) + " " + std::to_string(x) + "x" +
                       std::to_string(y) + (grey ? " grey" : " colour"));
          host::PrintSettings settings;
          settings.method = choice.method;
          settings.methodVariant = choice.variant;
          settings.dotMode = dotMode;
          settings.xResolution = x;
          settings.yResolution = y;
          settings.grey = grey;
          EXPECT_NO_THROW(host::PrintImage(profile, settings, image));
        }
      }
    }
  }
}

}  // namespace
