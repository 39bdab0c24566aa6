// SPDX-License-Identifier: Apache-2.0
// The printer model: its description in the manifest, the Neugebauer
// mixing and the preview that uses it.
#include "inkdot/host/printer_model.h"

#include <gtest/gtest.h>

#include "inkdot/host/preview.h"
#include "inkdot/host/printer_model_json.h"

namespace {

using namespace inkdot::host;

TEST(PrinterModel, SolidCombinationsGiveTheirPrimaries) {
  const PrinterModel model = DefaultPrinterModel();
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE(PrimaryName(i));
    const Lab lab = ModelLab(model, {double(i & 1), double(i >> 1 & 1),
                                     double(i >> 2 & 1), double(i >> 3 & 1)});
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(lab[c], model.primaries[i][c], 1e-6);
  }
}

TEST(PrinterModel, YuleNielsenFactorDarkensHalftones) {
  // Half the paper covered by black: n = 1 averages reflectances (Murray–
  // Davies); a larger n makes the tint darker, as light scattered in the
  // paper meets the ink on its way out.
  PrinterModel model = DefaultPrinterModel();
  model.yuleNielsen = 1.0;
  const double paperY = 1.0, blackY = LabToXyz(model.primaries[8])[1];
  EXPECT_NEAR(LabToXyz(ModelLab(model, {0, 0, 0, 0.5}))[1], (paperY + blackY) / 2,
              1e-9);
  model.yuleNielsen = 2.0;
  const double half = LabToXyz(ModelLab(model, {0, 0, 0, 0.5}))[1];
  EXPECT_NEAR(half, std::pow((1 + std::sqrt(blackY)) / 2, 2), 1e-9);
  EXPECT_LT(half, (paperY + blackY) / 2);
}

TEST(PrinterModel, ReadsBackWhatItWrites) {
  const PrinterModel model = DefaultPrinterModel();
  const PrinterModel back =
      PrinterModelFromJson(nlohmann::json::parse(PrinterModelToJson(model).dump()));
  EXPECT_EQ(back.primaries, model.primaries);
  EXPECT_EQ(back.dotCoverage, model.dotCoverage);
  EXPECT_EQ(back.yuleNielsen, model.yuleNielsen);
}

TEST(PrinterModel, RefusesBrokenDescriptions) {
  const nlohmann::json good =
      nlohmann::json::parse(PrinterModelToJson(DefaultPrinterModel()).dump());
  struct Case {
    const char *what;
    std::function<void(nlohmann::json &)> spoil;
    const char *message;
  };
  const Case cases[] = {
      {"missing primary", [](nlohmann::json &j) { j["primaries"].erase("cmk"); },
       "\"cmk\" is missing"},
      {"two numbers",
       [](nlohmann::json &j) {
         j["primaries"]["y"] = {90, 0};
       },
       "[L, a, b]"},
      {"lightness",
       [](nlohmann::json &j) {
         j["primaries"]["k"] = {120, 0, 0};
       },
       "primary 8"},
      {"factor", [](nlohmann::json &j) { j["yuleNielsen"] = 0.5; }, "yuleNielsen"},
      {"dot order",
       [](nlohmann::json &j) {
         j["dotCoverage"] = {0.7, 0.4, 1.0};
       },
       "rise strictly"},
      {"other model", [](nlohmann::json &j) { j["model"] = "kubelka-munk"; },
       "\"model\""},
      {"wrong type", [](nlohmann::json &j) { j["yuleNielsen"] = "two"; },
       "right types"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    nlohmann::json j = good;
    c.spoil(j);
    try {
      PrinterModelFromJson(j);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error &e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

// A 2-bit page, 8 x 8, every pixel of plane k holding `codes[k]`.
DotPage FlatPage(std::array<uint8_t, 4> codes) {
  DotPage page;
  page.width = page.height = 8;
  page.bitsPerPixel = 2;
  page.xDpi = page.yDpi = 720;
  page.inks.resize(4);
  page.Allocate();
  for (int k = 0; k < 4; ++k) {
    const uint8_t byte = static_cast<uint8_t>(codes[k] * 0x55);
    std::fill(page.planes[k].begin(), page.planes[k].end(), byte);
  }
  return page;
}

TEST(PrinterModelPreview, ShowsWhatTheModelPredicts) {
  const PrinterModel model = DefaultPrinterModel();
  PreviewOptions options;
  options.dpi = 90;
  options.printer = model;
  struct Case {
    std::array<uint8_t, 4> codes;
    std::array<double, 4> coverage;
  };
  const Case cases[] = {
      {{0, 0, 0, 0}, {0, 0, 0, 0}},    // paper shows white
      {{1, 0, 0, 0}, {0.4, 0, 0, 0}},  // small cyan dots (solid cyan lies outside sRGB)
      {{0, 0, 0, 1}, {0, 0, 0, 0.4}},  // small black dots
      {{0, 1, 0, 0}, {0, 0.4, 0, 0}},  // small magenta dots cover 40 %
      {{0, 0, 2, 3}, {0, 0, 0.7, 1}},  // medium yellow on black
  };
  for (const Case &c : cases) {
    const RgbImage8 preview = RenderPreview(FlatPage(c.codes), options);
    ASSERT_EQ(preview.width, 1u);
    const Lab want = ModelLab(model, c.coverage);
    const Lab seen = SrgbToLab(preview.rgb[0] / 255.0, preview.rgb[1] / 255.0,
                               preview.rgb[2] / 255.0);
    // Within the rounding of 8-bit sRGB (the cases lie inside sRGB; solid
    // cyan and yellow of this printer do not).
    EXPECT_LT(DeltaE2000(want, seen), 0.6)
        << int(preview.rgb[0]) << " " << int(preview.rgb[1]) << " "
        << int(preview.rgb[2]);
  }
}

}  // namespace
