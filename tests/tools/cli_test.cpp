// SPDX-License-Identifier: Apache-2.0
// The inkdot command as a user runs it: exit status 2 for usage errors and
// 1 for every other failure, one clear message naming what is wrong, and no
// output file left behind.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <png.h>
#include <sys/wait.h>

#include <fstream>
#include <map>
#include <sstream>

#include "inkdot/host/dot_page.h"
#include "inkdot/host/image.h"
#include "inkdot/host/printer_model_json.h"
#include "inkdot/inkdot.h"
#include "test_resources.h"

namespace inkdot::cli {
namespace {

using testing::Bytes;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteTestProfile(profile());
    std::filesystem::create_directories(out());
  }

  std::filesystem::path profile() const { return work_.path() / "profile"; }
  std::filesystem::path out() const { return work_.path() / "out"; }

  Result Run(const std::string &arguments, const std::string &before = "") {
    const auto stdoutFile = work_.path() / "stdout.txt";
    const auto stderrFile = work_.path() / "stderr.txt";
    const std::string command = before + std::string(INKDOT_COMMAND) + " " + arguments + " >" +
                                stdoutFile.string() + " 2>" + stderrFile.string();
    const int raw = std::system(command.c_str());
    Result result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = Slurp(stdoutFile);
    result.err = Slurp(stderrFile);
    return result;
  }

  std::string Print(const std::string &arguments) {
    return "print --profile " + profile().string() + " -o " + out().string() + " " + arguments;
  }

  std::filesystem::path Png(const std::string &name, uint32_t width, uint32_t height,
                            uint8_t r, uint8_t g, uint8_t b) {
    host::RgbImage8 image{width, height, {}};
    for (uint32_t i = 0; i < width * height; ++i) {
      image.rgb.insert(image.rgb.end(), {r, g, b});
    }
    const auto path = work_.path() / name;
    host::WritePng(image, 0, path);
    return path;
  }

  // A picture whose every row differs, so that rows out of order would show.
  std::filesystem::path GradientPng(const std::string &name, uint32_t width, uint32_t height) {
    host::RgbImage8 image{width, height, {}};
    for (uint32_t y = 0; y < height; ++y) {
      for (uint32_t x = 0; x < width; ++x) {
        image.rgb.insert(image.rgb.end(), {static_cast<uint8_t>(x * 255 / width),
                                           static_cast<uint8_t>(y * 255 / height),
                                           static_cast<uint8_t>((x * y) % 251)});
      }
    }
    const auto path = work_.path() / name;
    host::WritePng(image, 0, path);
    return path;
  }

  size_t OutputCount() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(out())) ++count;
    return count;
  }

  // Expects exit status 1, a message holding every `mention`, and nothing in
  // the output folder (not even a temporary file).
  void ExpectFailure(const Result &result, std::initializer_list<std::string> mentions) {
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.err.rfind("inkdot: error: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    for (const auto &mention : mentions) {
      EXPECT_NE(result.err.find(mention), std::string::npos) << result.err;
    }
    EXPECT_EQ(OutputCount(), 0u);
  }

  testing::TempDir work_;
};

TEST_F(CommandTest, FollowsTheConventionsOfCommandLineTools) {
  for (const char *flag : {"--version", "-V"}) {
    Result version = Run(flag);
    EXPECT_EQ(version.status, 0) << flag;
    EXPECT_EQ(version.out, "inkdot " + std::to_string(INKDOT_VERSION_MAJOR) + "." +
                               std::to_string(INKDOT_VERSION_MINOR) + "." +
                               std::to_string(INKDOT_VERSION_PATCH) + "\n");
  }
  Result help = Run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("inkdot " + std::to_string(INKDOT_VERSION_MAJOR) + "."),
            std::string::npos);
  // Alone, the command shows the same help (and still fails, as a usage error).
  Result alone = Run("");
  EXPECT_EQ(alone.status, 2);
  EXPECT_EQ(alone.out, help.out);

  Result typo = Run("prnt a.png");
  EXPECT_EQ(typo.status, 2);
  EXPECT_EQ(typo.err.rfind("inkdot: ", 0), 0u) << typo.err;
  EXPECT_NE(typo.err.find("\"prnt\""), std::string::npos) << typo.err;
  EXPECT_NE(typo.err.find("print, preview, inspect, profile, chart"), std::string::npos)
      << typo.err;
}

// Unknown options, missing arguments and option values that do not parse:
// status 2, one line, and nothing written.
TEST_F(CommandTest, UsageErrorsExitWithTwo) {
  const std::string image = Png("a.png", 4, 4, 255, 255, 255).string();
  const std::string wrongs[] = {
      "print --bogus", "--bogus", "print", "print " + image,  // no -o
      Print(image + " --dots huge"), Print(image + " --method blur"),
      Print(image + " --offsets 1,2"), Print(image + " --brightness bright"),
      Print(image + " --compression lzw")};
  for (const std::string &wrong : wrongs) {
    Result parse = Run(wrong);
    EXPECT_EQ(parse.status, 2) << wrong;
    EXPECT_EQ(parse.err.rfind("inkdot: ", 0), 0u) << parse.err;
    EXPECT_EQ(std::count(parse.err.begin(), parse.err.end(), '\n'), 1) << parse.err;
  }
  EXPECT_EQ(OutputCount(), 0u);
  Result help = Run("print --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--resolution"), std::string::npos);
}

TEST_F(CommandTest, CombinationsWithoutAKernelAreRefusedBeforeAnyWork) {
  const std::string image = Png("a.png", 4, 4, 255, 255, 255).string();
  ExpectFailure(Run(Print(image + " --method midpoint")),
                {"--method midpoint", "--dots variable",
                 "--dots variable with diffusion, dither, screen; --dots single with "
                 "diffusion, dither, midpoint, screen"});
  EXPECT_EQ(Run(Print(image + " --method midpoint --dots single -q")).status, 0);
}

TEST_F(CommandTest, OutOfRangeSettingsExitWithOne) {
  const std::string image = Png("a.png", 4, 4, 255, 255, 255).string();
  ExpectFailure(Run(Print(image + " --brightness 60")), {"brightness 60", "-50..50"});
  ExpectFailure(Run(Print(image + " --offsets 0,51,0")), {"green offset 51"});
  ExpectFailure(Run(Print(image + " --gamma 3.5")), {"gamma"});
  ExpectFailure(Run(Print(image + " --resolution 360x360")), {"does not offer 360x360"});
  ExpectFailure(Run(Print(image + " --resolution 360")), {"WxH"});
  ExpectFailure(Run(Print(image + " --calibration 20,50,50,50")), {"calibration value 20"});
  ExpectFailure(Run(Print(image + " --calibration 50,50")), {"one value per ink"});
  ExpectFailure(Run("print " + image + " -o " + out().string() + " --profile /nonexistent"),
                {"/nonexistent/profile.json"});
}

TEST_F(CommandTest, BadImagesExitWithOne) {
  const auto whole = Png("whole.png", 64, 64, 10, 20, 30);
  const std::string bytes = Slurp(whole);
  const auto truncated = work_.path() / "truncated.png";
  testing::WriteFile(truncated, Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2));
  // An output folder made for the run goes again when the run fails.
  Result nested = Run("print --profile " + profile().string() + " -o " +
                      (out() / "new").string() + " " + truncated.string());
  EXPECT_EQ(nested.status, 1);
  EXPECT_FALSE(std::filesystem::exists(out() / "new"));
  const auto foreign = work_.path() / "foreign.png";
  testing::WriteFile(foreign, testing::TextBytes("BM not an image we read"));
  ExpectFailure(Run(Print(foreign.string())), {"foreign.png", "not a PNG, TIFF, JPEG, PGM or PPM"});
  ExpectFailure(Run(Print((work_.path() / "absent.png").string())),
                {"absent.png: cannot open the file: no such file or folder"});
}

using PrintingTest = CommandTest;

TEST_F(PrintingTest, StandardInputAndOutputStandInForFiles) {
  const auto image = GradientPng("g.png", 40, 30);
  ASSERT_EQ(Run(Print(image.string() + " -q")).status, 0);
  const std::string planes = Slurp(out() / "g.tif");
  std::filesystem::remove_all(out());

  // A pipe in, a folder out: the page is named after standard input.
  Result piped = Run(Print("- -q"), "cat " + image.string() + " | ");
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(Slurp(out() / "stdin.tif"), planes);
  // A file in, standard output out: the same bytes, and nothing else.
  Result toStdout = Run("print --profile " + profile().string() + " " + image.string() + " -o -");
  ASSERT_EQ(toStdout.status, 0) << toStdout.err;
  EXPECT_EQ(toStdout.out, planes);
  // Both at once.
  Result both = Run("print --profile " + profile().string() + " - -o -",
                    "cat " + image.string() + " | ");
  ASSERT_EQ(both.status, 0) << both.err;
  EXPECT_EQ(both.out, planes);

  // Previews and charts too.
  ASSERT_EQ(Run("preview " + (out() / "stdin.tif").string() + " -o " +
                (work_.path() / "p.png").string()).status, 0);
  Result preview = Run("preview " + (out() / "stdin.tif").string() + " -o -");
  ASSERT_EQ(preview.status, 0) << preview.err;
  EXPECT_EQ(preview.out, Slurp(work_.path() / "p.png"));
  Result chart = Run("chart --size 80x64 -o -");
  ASSERT_EQ(chart.status, 0) << chart.err;
  EXPECT_EQ(chart.out.substr(0, 4), "\x89PNG");
}

// Dots per ink of a printed page.
std::vector<size_t> InkCounts(const host::DotPage &page) {
  std::vector<size_t> counts;
  for (const auto &plane : page.planes) {
    size_t dots = 0;
    for (uint8_t byte : plane) dots += static_cast<size_t>(__builtin_popcount(byte));
    counts.push_back(dots);
  }
  return counts;
}

// A solid red PNG that carries a profile with red and green swapped:
// viewers show it green, and so must the print.
void WriteSwappedRedPng(const std::filesystem::path &path) {
  cmsToneCurve *curve = cmsBuildGamma(nullptr, 2.2);
  cmsToneCurve *curves[3] = {curve, curve, curve};
  const cmsCIExyY white = {0.3127, 0.3290, 1};
  const cmsCIExyYTRIPLE swapped = {{0.30, 0.60, 1}, {0.64, 0.33, 1}, {0.15, 0.06, 1}};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &swapped, curves);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> icc(size);
  cmsSaveProfileToMem(profile, icc.data(), &size);
  cmsCloseProfile(profile);
  cmsFreeToneCurve(curve);
  FILE *file = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, 40, 20, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_iCCP(png, info, "swapped", 0, icc.data(), size);
  png_write_info(png, info);
  std::vector<uint8_t> row;
  for (int x = 0; x < 40; ++x) row.insert(row.end(), {255, 0, 0});
  for (int y = 0; y < 20; ++y) png_write_row(png, row.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

TEST_F(PrintingTest, EmbeddedProfilesDecideThePrintedColours) {
  WriteSwappedRedPng(work_.path() / "tagged.png");
  Png("green.png", 40, 20, 0, 255, 0);
  Png("red.png", 40, 20, 255, 0, 0);
  std::map<std::string, std::vector<size_t>> inks;
  for (const std::string name : {"tagged", "green", "red"}) {
    Result result = Run(Print((work_.path() / (name + ".png")).string() + " -q"));
    ASSERT_EQ(result.status, 0) << result.err;
    inks[name] = InkCounts(host::ReadDotPageTiff(out() / (name + ".tif")));
  }
  ASSERT_NE(inks["green"], inks["red"]);  // the profile's table tells them apart
  for (size_t ink = 0; ink < inks["green"].size(); ++ink) {
    const double green = static_cast<double>(inks["green"][ink]);
    EXPECT_NEAR(static_cast<double>(inks["tagged"][ink]), green, 0.05 * green + 8) << ink;
  }
  // The same file with sRGB given in place of its own profile prints red.
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsSaveProfileToFile(srgb, (work_.path() / "srgb.icc").c_str());
  cmsCloseProfile(srgb);
  std::filesystem::remove_all(out());
  ASSERT_EQ(Run(Print((work_.path() / "tagged.png").string() + " -q --input-profile " +
                      (work_.path() / "srgb.icc").string())).status, 0);
  const std::vector<size_t> given = InkCounts(host::ReadDotPageTiff(out() / "tagged.tif"));
  for (size_t ink = 0; ink < given.size(); ++ink) {
    const double red = static_cast<double>(inks["red"][ink]);
    EXPECT_NEAR(static_cast<double>(given[ink]), red, 0.01 * red + 2) << ink;
  }
}

TEST_F(PrintingTest, StandardStreamsFailAsFilesDo) {
  const auto image = GradientPng("g.png", 40, 30);
  const std::string bytes = Slurp(image);
  const auto cut = work_.path() / "cut.png";
  std::ofstream(cut, std::ios::binary).write(bytes.data(), 60);
  Result truncated = Run(Print("-"), "cat " + cut.string() + " | ");
  ExpectFailure(truncated, {"standard input", "PNG"});
  EXPECT_EQ(truncated.err.find("/tmp"), std::string::npos) << truncated.err;
  ExpectFailure(Run(Print("- -"), "cat " + image.string() + " | "), {"standard input", "once"});
  Result two = Run("print --profile " + profile().string() + " " + image.string() + " " +
                   image.string() + " -o -");
  EXPECT_EQ(two.status, 1);
  EXPECT_NE(two.err.find("single output"), std::string::npos) << two.err;
  EXPECT_EQ(two.out, "");
  Result preview = Run("print --profile " + profile().string() + " " + image.string() +
                       " -o - --preview");
  EXPECT_EQ(preview.status, 1);
  EXPECT_EQ(preview.out, "");
}

TEST_F(PrintingTest, ColourPageGivesPlanesAndPreview) {
  const auto image = Png("page.png", 90, 40, 200, 30, 60);
  Result result = Run(Print(image.string() + " --resolution 720x720 --preview --preview-dpi 360"));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("1 page, 0.0 megapixels"), std::string::npos) << result.out;
  host::DotPage planes = host::ReadDotPageTiff(out() / "page.tif");
  EXPECT_EQ(planes.planes.size(), 4u);
  EXPECT_EQ(planes.width, 90u);
  EXPECT_EQ(planes.xDpi, 720u);
  EXPECT_EQ(planes.inks[2].name, "yellow");
  host::Image preview = host::ReadImagePage(out() / "page.png", 0);
  EXPECT_EQ(preview.width, 45u);
  EXPECT_EQ(preview.height, 20u);
  EXPECT_EQ(OutputCount(), 2u);

  // The preview command renders the same planes again.
  Result again = Run("preview " + (out() / "page.tif").string() + " -o " +
                     (work_.path() / "again.png").string() + " --dpi 360");
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(Slurp(work_.path() / "again.png"), Slurp(out() / "page.png"));
}

TEST_F(PrintingTest, PreviewCommandSimulatesTheProfilesPrinter) {
  // The same profile with a printer model: print's preview simulates it,
  // and so does the preview command given the profile; without it, the
  // command mixes the inks' display colours.
  nlohmann::json manifest;
  std::ifstream(profile() / "profile.json") >> manifest;
  manifest["printer"] = nlohmann::json::parse(
      host::PrinterModelToJson(host::DefaultPrinterModel()).dump());
  std::ofstream(profile() / "profile.json") << manifest.dump();
  const auto image = Png("page.png", 90, 40, 120, 60, 160);
  ASSERT_EQ(Run(Print(image.string() + " --resolution 720x720 --preview")).status, 0);
  const std::string planes = (out() / "page.tif").string();
  const auto again = work_.path() / "again.png", plain = work_.path() / "plain.png";
  Result simulated = Run("preview " + planes + " -o " + again.string() + " --profile " +
                         profile().string());
  ASSERT_EQ(simulated.status, 0) << simulated.err;
  EXPECT_EQ(Slurp(again), Slurp(out() / "page.png"));
  ASSERT_EQ(Run("preview " + planes + " -o " + plain.string()).status, 0);
  EXPECT_NE(Slurp(plain), Slurp(out() / "page.png"));

  Result missing = Run("preview " + planes + " -o " + (work_.path() / "x.png").string() +
                       " --profile " + (work_.path() / "nowhere").string());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("nowhere"), std::string::npos) << missing.err;
  EXPECT_FALSE(std::filesystem::exists(work_.path() / "x.png"));
}

TEST_F(PrintingTest, ThreadCountsDoNotChangeTheBytes) {
  // Pages of several strips and more rows than the queues between the
  // stages hold, with previews, at every page count and threads per page.
  std::string images;
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) {
    names.push_back(std::string("p").append(std::to_string(i)));  // GCC 12 -O3 misreads "p" + s
    images += GradientPng(names.back() + ".png", 50 + 37 * i, 90 + 20 * i).string() + " ";
  }
  std::map<std::string, std::string> first;
  for (const char *variant : {"-j 1 --threads 1", "-j 4 --threads 1", "-j 1 --threads 2",
                              "-j 1 --threads 3", "-j 4 --threads 3"}) {
    std::filesystem::remove_all(out());
    Result result = Run(Print(images + "--resolution 1440x720 --preview -q " + variant));
    ASSERT_EQ(result.status, 0) << variant << result.err;
    EXPECT_EQ(result.out, "");  // --quiet
    for (const auto &name : names) {
      for (const char *extension : {".tif", ".png"}) {
        const std::string bytes = Slurp(out() / (name + extension));
        auto [known, added] = first.emplace(name + extension, bytes);
        EXPECT_TRUE(added || known->second == bytes) << name << extension << " " << variant;
      }
    }
  }
}

TEST_F(PrintingTest, CompressionsDecodeToTheSamePlanes) {
  const auto image = GradientPng("g.png", 120, 60);
  std::map<std::string, std::uintmax_t> sizes;
  std::vector<std::vector<uint8_t>> first;
  for (const char *compression : {"deflate", "fast", "packbits", "none"}) {
    std::filesystem::remove_all(out());
    Result result = Run(Print(image.string() + " -q --compression " + compression));
    ASSERT_EQ(result.status, 0) << compression << result.err;
    const host::DotPage page = host::ReadDotPageTiff(out() / "g.tif");
    if (first.empty()) first = page.planes;
    EXPECT_EQ(page.planes, first) << compression;
    sizes[compression] = std::filesystem::file_size(out() / "g.tif");
  }
  EXPECT_LT(sizes["fast"], sizes["none"]);
  EXPECT_LT(sizes["deflate"], sizes["none"]);
  EXPECT_LT(sizes["packbits"], sizes["none"]);
}

TEST_F(PrintingTest, ImageEndingMidPageLeavesNoOutputAtAll) {
  // The reader fails after rows have gone through the engine and the writer.
  const auto whole = GradientPng("whole.png", 300, 200);
  const std::string bytes = Slurp(whole);
  const auto cut = work_.path() / "cut.png";
  std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() * 2 / 3));
  for (const char *threads : {"1", "2", "3"}) {
    ExpectFailure(Run(Print(cut.string() + " --threads " + threads)), {"cut.png", "truncated"});
  }
}

}  // namespace
}  // namespace inkdot::cli
