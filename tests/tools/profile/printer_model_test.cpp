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

// A description spoilt in one way, and what the refusal must say.
struct SpoiltDescription {
  const char *what;
  std::function<void(nlohmann::json &)> spoil;
  const char *message;
};

template <size_t N>
void ExpectRefused(const nlohmann::json &good, const SpoiltDescription (&cases)[N]) {
  for (const SpoiltDescription &c : cases) {
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

TEST(PrinterModel, RefusesBrokenDescriptions) {
  const nlohmann::json good =
      nlohmann::json::parse(PrinterModelToJson(DefaultPrinterModel()).dump());
  const SpoiltDescription cases[] = {
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
  ExpectRefused(good, cases);
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

namespace {

using namespace inkdot::host;

// A measured printer whose colour is linear in the ink amounts, so that
// multilinear interpolation must give it back exactly between the nodes.
Lab LinearColour(const std::array<double, 4> &a) {
  return {95 - 20 * a[0] - 20 * a[1] - 5 * a[2] - 40 * a[3],
          -30 * a[0] + 60 * a[1] - 5 * a[2], -40 * a[0] - 5 * a[1] + 80 * a[2]};
}

PrinterModel LinearMeasuredPrinter(int steps) {
  MeasuredGrid grid;
  grid.steps = steps;
  const double last = steps - 1;
  for (int c = 0; c < steps; ++c)
    for (int m = 0; m < steps; ++m)
      for (int y = 0; y < steps; ++y)
        for (int k = 0; k < steps; ++k)
          grid.lab.push_back(LinearColour({c / last, m / last, y / last, k / last}));
  return MeasuredPrinterModel(std::move(grid), {0.4, 0.7, 1.0});
}

TEST(MeasuredPrinter, InterpolatesItsGridAndKeepsItsCorners) {
  const PrinterModel model = LinearMeasuredPrinter(3);
  const std::array<double, 4> amounts[] = {
      {0, 0, 0, 0}, {1, 1, 1, 1}, {0.25, 0.6, 0.1, 0.9}, {0.5, 0, 1, 0.33}};
  for (const auto &a : amounts) {
    const Lab want = LinearColour(a), got = ModelLab(model, a);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 1e-9);
  }
  // The primaries are the grid's corners: yellow alone is (1 0 0 0 in bits 4).
  const Lab yellow = LinearColour({0, 0, 1, 0});
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(model.primaries[4][c], yellow[c], 1e-9);
}

TEST(MeasuredPrinter, ReadsBackWhatItWritesAndRefusesBrokenGrids) {
  const PrinterModel model = LinearMeasuredPrinter(3);
  const nlohmann::json json = nlohmann::json::parse(PrinterModelToJson(model).dump());
  const PrinterModel back = PrinterModelFromJson(json);
  ASSERT_TRUE(back.measured);
  EXPECT_EQ(back.measured->steps, 3);
  const Lab mid = ModelLab(back, {0.5, 0.5, 0.5, 0.5});
  EXPECT_LT(DeltaE2000(mid, LinearColour({0.5, 0.5, 0.5, 0.5})), 0.01);

  const SpoiltDescription cases[] = {
      {"one colour short", [](nlohmann::json &j) { j["lab"].erase(80); }, "needs 81"},
      {"one step", [](nlohmann::json &j) { j["steps"] = 1; }, "2..33 steps"},
      {"huge step count", [](nlohmann::json &j) { j["steps"] = 1e30; }, "2..33 steps"},
      {"step fraction", [](nlohmann::json &j) { j["steps"] = 2.5; }, "2..33 steps"},
      {"not a colour", [](nlohmann::json &j) { j["lab"][5] = {150, 0, 0}; },
       "measured colour 5"},
      {"two numbers", [](nlohmann::json &j) { j["lab"][5] = {50, 0}; }, "[L, a, b]"},
      {"no grid", [](nlohmann::json &j) { j.erase("lab"); }, "\"steps\" and \"lab\""},
  };
  ExpectRefused(json, cases);
}

TEST(MeasuredPrinterPreview, LooksUpTheAreasMeanCoverage) {
  // Half the pixels large magenta dots, half bare paper: a proofing
  // simulation shows the measured colour at 50 % magenta, not the mean of
  // paper and solid magenta.
  // Magenta's measured ramp bends: 50 % magenta prints L* 60, where the
  // mean of paper and solid would be far lighter.
  MeasuredGrid curved;
  curved.steps = 3;
  for (int c = 0; c < 3; ++c)
    for (int m = 0; m < 3; ++m)
      for (int y = 0; y < 3; ++y)
        for (int k = 0; k < 3; ++k)
          curved.lab.push_back(m == 0 ? Lab{100, 0, 0}
                               : m == 1 ? Lab{60, 40, 0}
                                        : Lab{50, 70, 0});
  const PrinterModel model = MeasuredPrinterModel(curved, {0.4, 0.7, 1.0});

  DotPage page = FlatPage({0, 0, 0, 0});
  for (size_t i = 0; i < page.planes[1].size(); ++i)
    page.planes[1][i] = (i / page.rowBytes()) % 2 ? 0xFF : 0x00;  // every other row
  PreviewOptions options;
  options.dpi = 90;
  options.printer = model;
  const RgbImage8 preview = RenderPreview(page, options);
  ASSERT_EQ(preview.width, 1u);
  const Lab seen =
      SrgbToLab(preview.rgb[0] / 255.0, preview.rgb[1] / 255.0, preview.rgb[2] / 255.0);
  EXPECT_LT(DeltaE2000(seen, {60, 40, 0}), 0.6) << seen[0] << " " << seen[1];
}

}  // namespace
