// SPDX-License-Identifier: Apache-2.0
// The inkdot command against a hostile user: inputs meant to destroy files,
// to make small inputs cost gigabytes, or to slip bad numbers past the
// profile loader. Every row runs the built command and checks its exit
// status, a fragment of its one-line message, and that no file in the work
// folder was made, removed or changed.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "inkdot/host/image.h"
#include "test_resources.h"

namespace inkdot::cli {
namespace {

using testing::Bytes;

std::string Slurp(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every entry below `dir`: its kind and, for files, its bytes.
std::map<std::string, std::string> Snapshot(const std::filesystem::path &dir) {
  std::map<std::string, std::string> entries;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(dir)) {
    const std::string name = entry.path().lexically_relative(dir).string();
    if (entry.is_symlink()) {
      entries[name] = "link to " + std::filesystem::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      entries[name] = Slurp(entry.path());
    } else {
      entries[name] = "folder";
    }
  }
  return entries;
}

// A PNG whose header alone asks for much: interlaced, 16-bit RGBA,
// `width` x `height`, and an empty image data chunk.
void InterlacedPngHeader(const std::filesystem::path &path, uint32_t width, uint32_t height) {
  FILE *file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 16, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_ADAM7,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), nullptr, 0);
  png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

// A TIFF of one page of 8-bit grey, in strips or tiles. Tiled pages
// declare their size but hold only `tiles` tiles of data.
void GreyTiff(const std::filesystem::path &path, uint32_t width, uint32_t height, bool tiled,
              uint32_t tiles = 0) {
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  if (tiled) {
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 256);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, 256);
    std::vector<uint8_t> tile(256 * 256, 128);
    for (uint32_t t = 0; t < tiles; ++t) TIFFWriteEncodedTile(tiff, t, tile.data(), tile.size());
  } else {
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
    std::vector<uint8_t> row(width, 128);
    for (uint32_t y = 0; y < height; ++y) TIFFWriteScanline(tiff, row.data(), y, 0);
  }
  TIFFWriteDirectory(tiff);
  TIFFClose(tiff);
}

// Dot planes as inkdot print writes them, as far as their headers go: two
// one-bit planes of `width` x `height` with one row of data each.
void PlaneHeaders(const std::filesystem::path &path, uint32_t width, uint32_t height) {
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  for (int plane = 0; plane < 2; ++plane) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 720.0f);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 720.0f);
    TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, "inkdot dot plane; ink colour #00A0E4");
    std::vector<uint8_t> row((width + 7) / 8, 0);
    TIFFWriteScanline(tiff, row.data(), 0, 0);
    TIFFWriteDirectory(tiff);
  }
  TIFFClose(tiff);
}

class HostileInputTest : public ::testing::Test {
 public:
  void SetUp() override {
    testing::WriteTestProfile(profile());
    host::RgbImage8 image{16, 16, std::vector<uint8_t>(16 * 16 * 3, 200)};
    host::WritePng(image, 0, dir() / "a.png");
  }

  const std::filesystem::path &dir() const { return work_.path(); }
  std::filesystem::path profile() const { return dir() / "profile"; }
  std::string Path(const std::string &name) const { return (dir() / name).string(); }
  std::string Print(const std::string &arguments) const {
    return "print -q --profile " + profile().string() + " " + arguments;
  }

  struct Result {
    int status = -1;  // the exit status, or 128 + the signal that ended it
    std::string out, err;
  };

  // Runs the command through the shell, with `prefix` (ulimit settings)
  // before it; its output goes outside the work folder.
  Result Run(const std::string &arguments, const std::string &prefix = "") {
    const std::string command = prefix + std::string(INKDOT_COMMAND) + " " + arguments + " >" +
                                output_.path().string() + "/out 2>" + output_.path().string() +
                                "/err";
    const int raw = std::system(("exec 2>/dev/null; " + command).c_str());
    Result result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = Slurp(output_.path() / "out");
    result.err = Slurp(output_.path() / "err");
    return result;
  }

  // One row: set up, snapshot the work folder, run, and check the status,
  // the message and that the work folder is exactly as before.
  struct Row {
    const char *name;
    std::function<std::string(HostileInputTest &)> arguments;  // sets up its files too
    const char *fragment;
    int status = 1;
  };
  void Check(const Row &row, const std::string &prefix = "") {
    SCOPED_TRACE(row.name);
    const std::string arguments = row.arguments(*this);
    const auto before = Snapshot(dir());
    const Result result = Run(arguments, prefix);
    EXPECT_EQ(result.status, row.status) << result.err;
    EXPECT_EQ(result.err.rfind("inkdot: error: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find(row.fragment), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(".inkdot-"), std::string::npos) << "names a temporary: " << result.err;
    const auto after = Snapshot(dir());
    EXPECT_EQ(after.size(), before.size());
    for (const auto &[name, content] : before) {
      auto found = after.find(name);
      EXPECT_TRUE(found != after.end() && found->second == content) << name << " changed";
    }
    for (const auto &[name, content] : after) {
      EXPECT_TRUE(before.count(name)) << name << " was left behind";
    }
  }

  std::vector<Row> SizeRows() const;

  // Rewrites the test profile's manifest with `from` replaced by `to`.
  void EditManifest(const std::string &from, const std::string &to) const {
    std::string text = Slurp(profile() / "profile.json");
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    testing::WriteFile(profile() / "profile.json", testing::TextBytes(text));
  }

  testing::TempDir work_;
  testing::TempDir output_;
};

std::vector<HostileInputTest::Row> HostileInputTest::SizeRows() const {
  const auto dpi = [](const char *value) {
    return [value](auto &t) { return t.Print(t.Path("a.png") + " --input-dpi " + value + " -o " + t.Path("out")); };
  };
  return {
      {"resolution metadata of one pixel per metre",
       [](auto &t) {
         host::RgbImage8 image{32, 32, std::vector<uint8_t>(32 * 32 * 3, 0)};
         host::WritePng(image, 0.0254, t.dir() / "tiny.png");
         return t.Print(t.Path("tiny.png") + " -o " + t.Path("out"));
       },
       "tiny.png: the page would be 1814173 x 907087 dots"},
      {"--input-dpi 1e-9", dpi("1e-9"), "--input-dpi 1e-09 is outside 1..100000 dpi"},
      {"--input-dpi 100001", dpi("100001"), "--input-dpi 100001 is outside"},
      {"--input-dpi nan", dpi("nan"), "--input-dpi nan is outside"},
      {"--input-dpi inf", dpi("inf"), "--input-dpi inf is outside"},
      {"--input-dpi 0", dpi("0"), "--input-dpi 0 is outside"},
      {"an interlaced PNG header and no data",
       [](auto &t) {
         InterlacedPngHeader(t.dir() / "lace.png", 16384, 8192);
         return t.Print(t.Path("lace.png") + " -o " + t.Path("out"));
       },
       "lace.png: decoding this interlaced PNG needs 1025 MiB at once, above the memory budget "
       "of 256 MiB"},
      {"a tiled TIFF of one tile",
       [](auto &t) {
         GreyTiff(t.dir() / "tiles.tif", 8192, 8192, true, 1);
         return t.Print(t.Path("tiles.tif") + " -o " + t.Path("out"));
       },
       "tiles.tif: decoding this tiled TIFF needs 640 MiB"},
      {"dot planes whose header claims 10^10 dots",
       [](auto &t) {
         PlaneHeaders(t.dir() / "vast.tif", 100000, 100000);
         return "preview " + t.Path("vast.tif") + " -o " + t.Path("v.png");
       },
       "the dot planes are 100000 x 100000 dots; the limit is"},
      {"dot planes beyond the memory budget",
       [](auto &t) {
         PlaneHeaders(t.dir() / "wide.tif", 40000, 40000);
         return "preview " + t.Path("wide.tif") + " -o " + t.Path("w.png");
       },
       "its 2 dot planes of 40000 x 40000 dots need 382 MiB, above the memory budget of 256 MiB"},
      {"an endless device as tone curves",
       [](auto &t) { return t.Print(t.Path("a.png") + " --tone-curves /dev/zero -o " + t.Path("out")); },
       "/dev/zero: larger than the 768 bytes tone curves can hold"},
      {"an endless device to inspect",
       [](auto &) { return std::string("inspect /dev/zero --kind grid"); },
       "/dev/zero: larger than the 16777216 bytes a resource can hold"},
      {"a folder as tone curves",
       [](auto &t) { return t.Print(t.Path("a.png") + " --tone-curves " + t.dir().string() + " -o " + t.Path("out")); },
       "cannot read the file: is a directory"},
      {"empty tone curves",
       [](auto &t) {
         testing::WriteFile(t.dir() / "empty.bin", {});
         return t.Print(t.Path("a.png") + " --tone-curves " + t.Path("empty.bin") + " -o " + t.Path("out"));
       },
       "empty.bin: tone curves must be 768 bytes (red, green, blue), not 0"},
      {"a folder as the image",
       [](auto &t) { return t.Print(t.profile().string() + " -o " + t.Path("out")); },
       "profile: cannot open the file: is a directory"},
      {"a preview too large to hold",
       [](auto &t) {
         return t.Print(t.Path("a.png") + " --input-dpi 1 --preview --preview-dpi 720 -o " +
                        t.Path("out"));
       },
       "out/a.png: a preview of 11520 x 11520 pixels needs 380 MiB"},
      {"a chart too large to hold",
       [](auto &t) { return "chart --size 20000x20000 -o " + t.Path("c.png"); },
       "chart size 20000x20000 is too large"},
  };
}

// Targets that an output must never replace.
TEST_F(HostileInputTest, OutputsNeverDestroyAnything) {
  const Row rows[] = {
      {"planes over their own single-page TIFF input",
       [](auto &t) {
         GreyTiff(t.dir() / "scan.tif", 8, 8, false);
         return t.Print(t.Path("scan.tif") + " -o " + t.dir().string());
       },
       "is an input of this run"},
      {"an output that is a hard link to the input",
       [](auto &t) {
         std::filesystem::create_directories(t.dir() / "out");
         std::filesystem::create_hard_link(t.dir() / "a.png", t.dir() / "out/a.png");
         return t.Print(t.Path("a.png") + " --preview -o " + t.Path("out"));
       },
       "out/a.png: is an input of this run"},
      {"a preview over its own planes",
       [](auto &t) {
         PlaneHeaders(t.dir() / "p.tif", 8, 8);
         return "preview " + t.Path("p.tif") + " -o " + t.Path("p.tif");
       },
       "is an input of this run"},
      {"a chart over a folder",
       [](auto &t) {
         std::filesystem::create_directories(t.dir() / "folder");
         return "chart -o " + t.Path("folder");
       },
       "folder: cannot write the file: is a directory"},
      {"a chart over a device", [](auto &) { return std::string("chart -o /dev/null"); },
       "/dev/null: cannot write the file: it is a device"},
      {"a chart through a link to a device",
       [](auto &t) {
         std::filesystem::create_symlink("/dev/null", t.dir() / "null-link");
         return "chart -o " + t.Path("null-link");
       },
       "not a regular file"},
      {"a chart into a missing folder",
       [](auto &t) { return "chart -o " + t.Path("missing/c.png"); },
       "c.png: cannot create the file: no such file or folder"},
      {"a name longer than the file system takes",
       [](auto &t) { return "chart -o " + t.Path(std::string(300, 'n') + ".png"); },
       "file name too long"},
      {"planes into a folder that is a file",
       [](auto &t) { return t.Print(t.Path("a.png") + " -o " + t.Path("a.png")); },
       "not a folder"},
  };
  for (const Row &row : rows) Check(row);
}

// Small inputs and options that would ask for huge pages or whole-image
// decoding beyond the memory budget, and files read by size that never end.
TEST_F(HostileInputTest, SizesAreCheckedBeforeAnythingIsAllocated) {
  for (const Row &row : SizeRows()) Check(row);
}

// The same rows under a virtual memory limit of 512 MiB (an address space
// the threads' stacks and allocator arenas share): each is refused in
// plain words, never by running out of memory.
TEST_F(HostileInputTest, SizeClassesStayWithinAFewHundredMebibytes) {
#ifdef INKDOT_SANITIZED
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space";
#endif
  for (const Row &row : SizeRows()) Check(row, "ulimit -v 524288; ");
  // And a legal print of a large page stays within it as well.
  host::RgbImage8 image{1200, 900, std::vector<uint8_t>(1200 * 900 * 3, 90)};
  host::WritePng(image, 0, dir() / "large.png");
  const Result result =
      Run(Print(Path("large.png") + " --input-dpi 100 --preview -o " + Path("out")),
          "ulimit -v 524288; ");
  EXPECT_EQ(result.status, 0) << result.err;
}

}  // namespace
}  // namespace inkdot::cli

namespace inkdot::cli {
namespace {

// Numbers in profile.json: integers of the right sign and range, or the
// load fails naming the key, the value and the range.
TEST_F(HostileInputTest, ProfileNumbersMustBeIntegersInRange) {
  const struct {
    const char *from, *to, *fragment;
  } edits[] = {
      {"[[720, 720]", "[[-720, 720]", "\"resolutions[0][0]\" is -720; it must lie in 1..100000"},
      {"[[720, 720]", "[[1440.7, 720]", "\"resolutions[0][0]\" is 1440.7; it must be an integer"},
      {"\"id\": 5000", "\"id\": 5000.5", "\"colourResources[1].id\" is 5000.5; it must be an integer"},
      {"\"id\": 5000", "\"id\": 1e30", "\"colourResources[1].id\" is 1e+30; it must be an integer"},
      {"\"id\": 5000", "\"id\": 4294967296", "\"colourResources[1].id\" is 4294967296; it must lie in 0..2147483647"},
      {"\"dotModes\": [0, 2]", "\"dotModes\": [-1, 2]", "\"dotModes[0]\" is -1; it must lie in 0..2"},
      {"\"diffusion\": 1", "\"diffusion\": -1", "\"methods.diffusion\" is -1; it must lie in 0..3"},
      {"\"variant\": 1", "\"variant\": 1.5", "\"methods.dither.variant\" is 1.5"},
      {"\"calibrationHeadId\": 1", "\"calibrationHeadId\": 254", "\"calibrationHeadId\" is 254; it must lie in 0..253"},
      {"\"number\": 0", "\"number\": 3000000000", "\"tableKey.number\" is 3000000000"},
  };
  for (const auto &edit : edits) {
    testing::WriteTestProfile(profile());
    EditManifest(edit.from, edit.to);
    Check({edit.to, [](auto &t) { return t.Print(t.Path("a.png") + " -o " + t.Path("out")); },
           edit.fragment});
  }
}

// Inspect gives the verdict print gives: a profile whose id list holds
// only its end mark is invalid to both.
TEST_F(HostileInputTest, InspectRefusesWhatPrintRefuses) {
  testing::WriteFile(profile() / "halftone/400.ids", testing::IdList({}));
  Check({"print", [](auto &t) { return t.Print(t.Path("a.png") + " -o " + t.Path("out")); },
         "400.ids (resource 400): id list at byte 0: holds no ids before the end mark"});
  const Result inspect = Run("inspect " + profile().string());
  EXPECT_EQ(inspect.status, 1);
  EXPECT_NE(inspect.out.find("holds no ids before the end mark"), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.out.find("profile INVALID"), std::string::npos) << inspect.out;

  // A colour table whose channels differ from the inks: every resource is
  // valid alone, the profile is not.
  testing::WriteTestProfile(profile());
  EditManifest("{\"name\": \"black\", \"color\": \"#231F20\"}",
               "{\"name\": \"black\", \"color\": \"#231F20\"}, {\"name\": \"grey\", \"color\": \"#808080\"}");
  const Result five = Run("inspect " + profile().string());
  EXPECT_EQ(five.status, 1) << five.out;
  EXPECT_NE(five.out.find("profile INVALID"), std::string::npos) << five.out;
  EXPECT_EQ(Run(Print(Path("a.png") + " -o " + Path("out"))).status, 1);
}

// A symbolic link as the target is written through: the link stays and its
// target gets the new file. A legal name of 244 bytes takes a temporary
// name that fits beside it.
TEST_F(HostileInputTest, LinksAreWrittenThroughAndLongNamesFit) {
  testing::WriteFile(dir() / "old.png", testing::TextBytes("old"));
  std::filesystem::create_symlink("old.png", dir() / "link.png");
  ASSERT_EQ(Run("chart --size 64x64 -o " + Path("link.png")).status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir() / "link.png"));
  EXPECT_EQ(host::ReadImagePage(dir() / "old.png", 0).width, 64u);

  const std::string name = std::string(240, 'n') + ".png";
  const Result result = Run("chart --size 64x64 -o " + Path(name));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(std::filesystem::exists(dir() / name));
  std::filesystem::create_directories(dir() / "planes");
  const Result planes = Run(Print(Path(name) + " -o " + Path("planes")));
  EXPECT_EQ(planes.status, 0) << planes.err;
  EXPECT_TRUE(std::filesystem::exists(dir() / "planes" / (std::string(240, 'n') + ".tif")));
}

// Stopped by a signal mid-page, the command removes every temporary file
// (and the output folder it made) and ends by that signal; a file-size
// limit is reported as "file too large". Nothing is left behind.
TEST_F(HostileInputTest, StoppingSignalsLeaveNothingBehind) {
  host::RgbImage8 image{2000, 1500, std::vector<uint8_t>(2000 * 1500 * 3, 90)};
  host::WritePng(image, 0, dir() / "big.png");
  const auto before = Snapshot(dir());
  const std::pair<const char *, int> signals[] = {
      {"INT", SIGINT}, {"TERM", SIGTERM}, {"HUP", SIGHUP}, {"PIPE", SIGPIPE}, {"XFSZ", SIGXFSZ}};
  for (const auto &[signal, number] : signals) {
    SCOPED_TRACE(signal);
    // Waits until the print has written part of the page, then stops it.
    // The shell would start it with SIGINT ignored, as any background job,
    // so the signals' defaults are restored first.
    const std::string script =
        "env --default-signal " + std::string(INKDOT_COMMAND) + " " + Print(Path("big.png") + " --input-dpi 100 --preview -o " + Path("out")) +
        " & pid=$!; for i in $(seq 200); do find " + Path("out") +
        " -name '*.part' -size +8c 2>/dev/null | grep -q . && break; sleep 0.05; done; kill -" + signal +
        " $pid; wait $pid; echo $? >" + output_.path().string() + "/status";
    std::system(("exec 2>/dev/null; " + script).c_str());
    const int status = std::stoi(Slurp(output_.path() / "status"));
    EXPECT_EQ(status, 128 + number);  // ended by the signal itself
    EXPECT_EQ(Snapshot(dir()), before);
  }
  const Result limited = Run(Print(Path("big.png") + " --input-dpi 100 -o " + Path("out")), "ulimit -f 100; ");
  EXPECT_EQ(limited.status, 1);
  EXPECT_NE(limited.err.find("out/big.tif: writing the TIFF failed: file too large"), std::string::npos)
      << limited.err;
  EXPECT_EQ(Snapshot(dir()), before);
}

}  // namespace
}  // namespace inkdot::cli
