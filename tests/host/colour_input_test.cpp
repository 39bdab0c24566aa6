// SPDX-License-Identifier: Apache-2.0
// Colour-managed input: images carrying real ICC profiles (made here with
// Little CMS), PNG's colour chunks and profiles given in their place come
// out in sRGB; untagged images pass untouched; CMYK needs a profile.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <png.h>
#include <tiffio.h>

#include <cstdio>
// jpeglib.h needs FILE declared first.
#include <jpeglib.h>

#include <cmath>

#include "inkdot/host/errors.h"
#include "inkdot/host/image.h"
#include "jpeg_writer.h"
#include "test_resources.h"

namespace inkdot::host {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Save(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  Bytes bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

Bytes RgbProfile(cmsCIExyYTRIPLE primaries, double gamma) {
  cmsToneCurve *curve = cmsBuildGamma(nullptr, gamma);
  cmsToneCurve *curves[3] = {curve, curve, curve};
  cmsCIExyY d65 = {0.3127, 0.3290, 1};
  Bytes bytes = Save(cmsCreateRGBProfile(&d65, &primaries, curves));
  cmsFreeToneCurve(curve);
  return bytes;
}

const cmsCIExyY kRed = {0.64, 0.33, 1}, kGreen = {0.30, 0.60, 1}, kBlue = {0.15, 0.06, 1};

Bytes SrgbProfile() { return Save(cmsCreate_sRGBProfile()); }
// sRGB's primaries with red and green trading places: a file's (255, 0, 0)
// is green.
Bytes SwappingProfile() { return RgbProfile({kGreen, kRed, kBlue}, 2.2); }
// A wide gamut: Adobe's 1998 primaries.
Bytes WideProfile() { return RgbProfile({kRed, {0.21, 0.71, 1}, kBlue}, 2.2); }
Bytes GreyProfile(double gamma) {
  cmsToneCurve *curve = cmsBuildGamma(nullptr, gamma);
  Bytes bytes = Save(cmsCreateGrayProfile(cmsD50_xyY(), curve));
  cmsFreeToneCurve(curve);
  return bytes;
}

// A CMYK output profile whose inks act as ideal filters over sRGB:
// ink c removes red, m green, y blue, k all three.
int SampleInks(const cmsUInt16Number in[], cmsUInt16Number out[], void *cargo) {
  double rgb[3];
  for (int c = 0; c < 3; ++c) rgb[c] = (1 - in[c] / 65535.0) * (1 - in[3] / 65535.0);
  cmsCIELab lab;
  cmsDoTransform(cargo, rgb, &lab, 1);
  cmsFloat2LabEncoded(out, &lab);
  return TRUE;
}

Bytes CmykProfile() {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHPROFILE labProfile = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_DBL, labProfile, TYPE_Lab_DBL,
                                           INTENT_RELATIVE_COLORIMETRIC, 0);
  cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(profile, 4.3);
  cmsSetDeviceClass(profile, cmsSigOutputClass);
  cmsSetColorSpace(profile, cmsSigCmykData);
  cmsSetPCS(profile, cmsSigLabData);
  cmsPipeline *pipeline = cmsPipelineAlloc(nullptr, 4, 3);
  cmsStage *clut = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
  cmsStageSampleCLut16bit(clut, SampleInks, toLab, 0);
  // An A-to-B table is saved as curves, grid and curves; the curves are flat.
  cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
  cmsPipelineInsertStage(pipeline, cmsAT_END, clut);
  cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
  cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  cmsPipelineFree(pipeline);
  cmsDeleteTransform(toLab);
  cmsCloseProfile(labProfile);
  cmsCloseProfile(srgb);
  return Save(profile);
}

struct PngColour {
  Bytes icc;
  bool srgb = false;
  double gamma = 0;
  const double *chromaticities = nullptr;  // white, red, green, blue x, y
};

// PNG's gAMA (and cHRM) chunks without a profile.
PngColour Chunks(double gamma, const double *chromaticities = nullptr) {
  PngColour colour;
  colour.gamma = gamma;
  colour.chromaticities = chromaticities;
  return colour;
}

// A solid `channels`-sample PNG of `value` with the chunks asked for.
void WritePng(const std::filesystem::path &path, std::vector<uint8_t> value,
              const PngColour &colour) {
  FILE *file = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  const uint32_t width = 8, height = 4;
  png_set_IHDR(png, info, width, height, 8, value.size() == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!colour.icc.empty()) {
    png_set_iCCP(png, info, "embedded", 0, colour.icc.data(),
                 static_cast<png_uint_32>(colour.icc.size()));
  }
  if (colour.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  if (colour.gamma > 0) png_set_gAMA(png, info, colour.gamma);
  if (colour.chromaticities) {
    const double *c = colour.chromaticities;
    png_set_cHRM(png, info, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
  }
  png_write_info(png, info);
  std::vector<uint8_t> row;
  for (uint32_t x = 0; x < width; ++x) row.insert(row.end(), value.begin(), value.end());
  for (uint32_t y = 0; y < height; ++y) png_write_row(png, row.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

void WriteTiff(const std::filesystem::path &path, std::vector<uint8_t> value, const Bytes &icc) {
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  const uint16_t samples = static_cast<uint16_t>(value.size());
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 8);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 4);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
               samples == 4 ? PHOTOMETRIC_SEPARATED : samples == 1 ? PHOTOMETRIC_MINISBLACK
                                                                   : PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 4);
  if (!icc.empty()) {
    TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(icc.size()), icc.data());
  }
  std::vector<uint8_t> row;
  for (int x = 0; x < 8; ++x) row.insert(row.end(), value.begin(), value.end());
  for (uint32_t y = 0; y < 4; ++y) TIFFWriteScanline(tiff, row.data(), y, 0);
  TIFFClose(tiff);
}

// A JPEG of `value` (RGB, or CMYK as Adobe writes it, 255 = no ink, unless
// `adobe` is false: then 255 is full ink).
void WriteJpeg(const std::filesystem::path &path, std::vector<uint8_t> value, const Bytes &icc,
               bool adobe = true) {
  testing::JpegPicture picture;
  picture.width = picture.height = 16;
  picture.components = static_cast<int>(value.size());
  picture.space = value.size() == 4 ? JCS_CMYK : JCS_RGB;
  picture.adobe = adobe;
  picture.icc = icc;
  picture.left = picture.right = value;
  testing::WriteJpeg(picture, path);
}

// The first pixel, in 8 bits.
std::vector<int> FirstPixel(const std::filesystem::path &path, const ColourInput &colour = {}) {
  const std::unique_ptr<ImageRows> rows = OpenImagePage(path, 0, colour);
  std::vector<uint16_t> row(static_cast<size_t>(rows->width()) * rows->channels());
  rows->ReadRow(row.data());
  std::vector<int> pixel;
  for (uint32_t c = 0; c < rows->channels(); ++c) {
    pixel.push_back(static_cast<int>(std::lround(row[c] / 257.0)));
  }
  return pixel;
}

void ExpectNear(const std::vector<int> &got, const std::vector<int> &want, int tolerance,
                const std::string &what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t c = 0; c < got.size(); ++c) {
    EXPECT_NEAR(got[c], want[c], tolerance) << what << " channel " << c;
  }
}

// sRGB's encoding of grey `value` stored with a plain gamma.
int SrgbOfGamma(int value, double gamma) {
  const double linear = std::pow(value / 255.0, gamma);
  const double encoded =
      linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<int>(std::lround(encoded * 255));
}

TEST(ColourInput, EmbeddedProfilesBringColoursToSrgb) {
  testing::TempDir dir;
  const double swappedChunks[8] = {0.3127, 0.3290, 0.30, 0.60, 0.64, 0.33, 0.15, 0.06};
  // One call a case rather than a table: GCC 12 at -O3 misreads an array of
  // records holding vectors as used uninitialised.
  const auto check = [&](const char *name, const std::vector<uint8_t> &stored,
                         const PngColour &colour, const std::vector<int> &expected,
                         int tolerance) {
    const auto path = dir.path() / (std::string(name) + ".png");
    WritePng(path, stored, colour);
    ExpectNear(FirstPixel(path), expected, tolerance, name);
  };
  check("untagged", {255, 0, 0}, {}, {255, 0, 0}, 0);
  check("srgb-chunk", {200, 100, 50}, {{}, true}, {200, 100, 50}, 0);
  check("srgb-profile", {200, 100, 50}, {SrgbProfile()}, {200, 100, 50}, 1);
  check("gamma-2.2-chunk", {200, 100, 50}, Chunks(1 / 2.2), {200, 100, 50}, 0);
  check("swapping-profile", {255, 0, 0}, {SwappingProfile()}, {0, 255, 0}, 2);
  check("swapping-chunks", {255, 0, 0}, Chunks(1 / 2.2, swappedChunks), {0, 255, 0}, 2);
  check("grey-gamma-1.8-profile", {128}, {GreyProfile(1.8)}, {SrgbOfGamma(128, 1.8)}, 2);
  check("grey-gamma-1.8-chunk", {128}, Chunks(1 / 1.8), {SrgbOfGamma(128, 1.8)}, 2);
  check("grey-untagged", {128}, {}, {128}, 0);
}

TEST(ColourInput, WideGamutColoursComeOutMoreSaturated) {
  // The same numbers mean a more saturated green in the wider space.
  testing::TempDir dir;
  const auto path = dir.path() / "wide.png";
  WritePng(path, {100, 150, 100}, {WideProfile()});
  const std::vector<int> srgb = FirstPixel(path);
  EXPECT_GT(srgb[1] - srgb[0], 50 + 15);
  EXPECT_GT(srgb[1] - srgb[2], 50);
  // And mid grey stays grey.
  WritePng(path, {128, 128, 128}, {WideProfile()});
  const std::vector<int> grey = FirstPixel(path);
  EXPECT_NEAR(grey[0], grey[1], 1);
  EXPECT_NEAR(grey[1], grey[2], 1);
}

TEST(ColourInput, EveryFormatCarriesItsProfile) {
  testing::TempDir dir;
  WriteTiff(dir.path() / "swap.tif", {255, 0, 0}, SwappingProfile());
  ExpectNear(FirstPixel(dir.path() / "swap.tif"), {0, 255, 0}, 2, "TIFF");
  // A damaged embedded profile is ignored, as viewers ignore it.
  WriteTiff(dir.path() / "damaged.tif", {10, 20, 30}, Bytes(200, 7));
  ExpectNear(FirstPixel(dir.path() / "damaged.tif"), {10, 20, 30}, 0, "damaged profile");
  WriteJpeg(dir.path() / "swap.jpg", {255, 0, 0}, SwappingProfile());
  ExpectNear(FirstPixel(dir.path() / "swap.jpg"), {0, 255, 0}, 4, "JPEG");
  // CMYK: Adobe's cyan (no ink is 255) and 8-bit TIFF's magenta.
  WriteJpeg(dir.path() / "cyan.jpg", {0, 255, 255, 255}, CmykProfile());
  ExpectNear(FirstPixel(dir.path() / "cyan.jpg"), {0, 255, 255}, 6, "Adobe CMYK JPEG");
  WriteJpeg(dir.path() / "grey.jpg", {0, 0, 0, 128}, CmykProfile(), false);
  ExpectNear(FirstPixel(dir.path() / "grey.jpg"), {127, 127, 127}, 6, "plain CMYK JPEG");
  WriteTiff(dir.path() / "magenta.tif", {0, 255, 0, 0}, CmykProfile());
  ExpectNear(FirstPixel(dir.path() / "magenta.tif"), {255, 0, 255}, 6, "CMYK TIFF");
}

TEST(ColourInput, AGivenProfileOverridesTheImages) {
  testing::TempDir dir;
  const auto untagged = dir.path() / "untagged.png";
  WritePng(untagged, {255, 0, 0}, {});
  ColourInput swap{SwappingProfile(), "swap.icc"};
  ExpectNear(FirstPixel(untagged, swap), {0, 255, 0}, 2, "given over untagged");
  const auto tagged = dir.path() / "tagged.png";
  WritePng(tagged, {255, 0, 0}, {SwappingProfile()});
  ColourInput srgb{SrgbProfile(), "srgb.icc"};
  ExpectNear(FirstPixel(tagged, srgb), {255, 0, 0}, 1, "given over embedded");

  const auto cmyk = dir.path() / "cmyk.jpg";
  WriteJpeg(cmyk, {255, 0, 255, 255}, {});
  ColourInput inks{CmykProfile(), "inks.icc"};
  ExpectNear(FirstPixel(cmyk, inks), {255, 0, 255}, 6, "given CMYK");
}

TEST(ColourInput, RefusalsNameTheFileAndWhatIsMissing) {
  testing::TempDir dir;
  struct Case {
    const char *name;
    std::filesystem::path image;
    ColourInput colour;
    std::vector<std::string> mentions;
  };
  WriteJpeg(dir.path() / "cmyk.jpg", {255, 0, 255, 255}, {});
  WriteTiff(dir.path() / "cmyk.tif", {0, 255, 0, 0}, {});
  WriteTiff(dir.path() / "cmyk-rgb-profile.tif", {0, 255, 0, 0}, SrgbProfile());
  WritePng(dir.path() / "rgb.png", {1, 2, 3}, {});
  const Case cases[] = {
      {"CMYK JPEG", dir.path() / "cmyk.jpg", {}, {"cmyk.jpg", "CMYK", "--input-profile"}},
      {"CMYK TIFF", dir.path() / "cmyk.tif", {}, {"cmyk.tif", "CMYK", "--input-profile"}},
      {"CMYK, RGB profile", dir.path() / "cmyk-rgb-profile.tif", {}, {"CMYK", "--input-profile"}},
      {"grey profile for RGB", dir.path() / "rgb.png", {GreyProfile(1.8), "grey.icc"},
       {"rgb.png", "grey.icc", "RGB"}},
      {"not a profile", dir.path() / "rgb.png", {Bytes(300, 1), "junk.icc"},
       {"junk.icc", "not an ICC profile"}},
  };
  for (const Case &c : cases) {
    try {
      OpenImagePage(c.image, 0, c.colour);
      ADD_FAILURE() << c.name << " was read";
    } catch (const ImageError &e) {
      for (const auto &mention : c.mentions) {
        EXPECT_NE(std::string(e.what()).find(mention), std::string::npos) << c.name << ": "
                                                                            << e.what();
      }
    }
  }
}

}  // namespace
}  // namespace inkdot::host
