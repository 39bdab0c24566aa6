// SPDX-License-Identifier: Apache-2.0
// Colour-managed input through Little CMS: each row leaves the format
// reader in the image's own colours and is converted to sRGB (grey images:
// to a grey of sRGB's tone curve) before anything else sees it. Untagged
// images, PNG's sRGB chunk and gAMA 1/2.2 without other primaries are sRGB
// already and pass untouched, so their bytes are exactly the file's.
// Transforms are built once per profile, intent and layout, and shared by
// every page and thread (Little CMS transforms without a cache are safe to
// use from several threads at once).
#include <lcms2.h>

#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "image_readers.h"

namespace inkdot::host::detail {

namespace {

struct ProfileCloser {
  void operator()(void *p) const {
    if (p) cmsCloseProfile(p);
  }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;

struct TransformCloser {
  void operator()(void *t) const {
    if (t) cmsDeleteTransform(t);
  }
};
using TransformPtr = std::shared_ptr<void>;

// sRGB's tone curve, as Little CMS's parametric curve of type 4.
cmsToneCurve *SrgbCurve() {
  const cmsFloat64Number parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  return cmsBuildParametricToneCurve(nullptr, 4, parameters);
}

ProfilePtr GreyProfile(cmsToneCurve *curve) {
  ProfilePtr profile(cmsCreateGrayProfile(cmsD50_xyY(), curve));
  cmsFreeToneCurve(curve);
  return profile;
}

// PNG's gAMA and cHRM as a profile; null when they describe sRGB anyway
// (within the precision the chunks are written with).
ProfilePtr ProfileFromPngChunks(const EmbeddedColour &colour, bool grey) {
  const bool srgbGamma = colour.gamma == 0 || std::fabs(colour.gamma * 2.2 - 1) < 0.01;
  static constexpr std::array<double, 8> kSrgb = {0.3127, 0.3290, 0.64, 0.33,
                                                  0.30,   0.60,   0.15, 0.06};
  bool srgbPrimaries = true;
  if (colour.chromaticities) {
    for (size_t i = 0; i < 8; ++i) {
      if (std::fabs((*colour.chromaticities)[i] - kSrgb[i]) > 0.002) srgbPrimaries = false;
    }
  }
  if (srgbGamma && (srgbPrimaries || grey)) return nullptr;
  cmsToneCurve *curve = srgbGamma ? SrgbCurve() : cmsBuildGamma(nullptr, 1 / colour.gamma);
  if (grey) return GreyProfile(curve);
  const std::array<double, 8> &c = colour.chromaticities ? *colour.chromaticities : kSrgb;
  const cmsCIExyY white = {c[0], c[1], 1};
  const cmsCIExyYTRIPLE primaries = {{c[2], c[3], 1}, {c[4], c[5], 1}, {c[6], c[7], 1}};
  cmsToneCurve *curves[3] = {curve, curve, curve};
  ProfilePtr profile(cmsCreateRGBProfile(&white, &primaries, curves));
  cmsFreeToneCurve(curve);
  return profile;
}

cmsColorSpaceSignature SpaceOf(uint32_t channels) {
  return channels == 1 ? cmsSigGrayData : channels == 4 ? cmsSigCmykData : cmsSigRgbData;
}

const char *SpaceName(uint32_t channels) {
  return channels == 1 ? "grey" : channels == 4 ? "CMYK" : "RGB";
}

cmsUInt32Number LayoutOf(uint32_t channels) {
  return channels == 1 ? TYPE_GRAY_16 : channels == 4 ? TYPE_CMYK_16 : TYPE_RGB_16;
}

// Builds (or finds) the transform from `source` to the working space.
TransformPtr TransformFor(const std::vector<uint8_t> &sourceKey, cmsHPROFILE source,
                          uint32_t channels, const ColourInput &input) {
  static std::mutex mutex;
  // Keyed by the profile's bytes and then the settings, in one string.
  static std::map<std::string, TransformPtr> cache;
  std::string key(sourceKey.begin(), sourceKey.end());
  key += static_cast<char>(channels);
  key += static_cast<char>(input.intent);
  key += static_cast<char>(input.blackPointCompensation);
  std::lock_guard<std::mutex> lock(mutex);
  auto found = cache.find(key);
  if (found != cache.end()) return found->second;
  ProfilePtr target(channels == 1 ? GreyProfile(SrgbCurve()).release() : cmsCreate_sRGBProfile());
  const cmsUInt32Number flags =
      cmsFLAGS_NOCACHE | (input.blackPointCompensation ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0);
  TransformPtr transform(
      cmsCreateTransform(source, LayoutOf(channels), target.get(),
                         channels == 1 ? TYPE_GRAY_16 : TYPE_RGB_16,
                         static_cast<cmsUInt32Number>(input.intent), flags),
      TransformCloser());
  if (transform) cache.emplace(key, transform);
  return transform;
}

class ManagedRows : public ImageRows {
 public:
  ManagedRows(std::unique_ptr<ImageRows> inner, TransformPtr transform)
      : inner_(std::move(inner)), transform_(std::move(transform)) {
    width_ = inner_->width();
    height_ = inner_->height();
    channels_ = inner_->channels() == 1 ? 1 : 3;
    xDpi_ = inner_->xDpi();
    yDpi_ = inner_->yDpi();
    colour_ = inner_->embeddedColour();
    source_.resize(static_cast<size_t>(width_) * inner_->channels());
  }

  void ReadRow(uint16_t *out) override {
    inner_->ReadRow(source_.data());
    cmsDoTransform(transform_.get(), source_.data(), out, width_);
  }

 private:
  std::unique_ptr<ImageRows> inner_;
  TransformPtr transform_;
  std::vector<uint16_t> source_;
};

}  // namespace

std::unique_ptr<ImageRows> ManageColour(std::unique_ptr<ImageRows> rows,
                                        const std::filesystem::path &path,
                                        const ColourInput &input) {
  const uint32_t channels = rows->channels();
  const EmbeddedColour &embedded = rows->embeddedColour();
  ProfilePtr source;
  std::vector<uint8_t> key;
  if (!input.profile.empty()) {
    source.reset(cmsOpenProfileFromMem(input.profile.data(),
                                       static_cast<cmsUInt32Number>(input.profile.size())));
    if (!source) ImageFailure(input.profileName, "not an ICC profile Little CMS can read");
    if (cmsGetColorSpace(source.get()) != SpaceOf(channels)) {
      ImageFailure(path, "the profile " + input.profileName + " is not for " +
                             SpaceName(channels) + " images like this one");
    }
    key = input.profile;
  } else if (!embedded.icc.empty()) {
    source.reset(cmsOpenProfileFromMem(embedded.icc.data(),
                                       static_cast<cmsUInt32Number>(embedded.icc.size())));
    // A damaged or mismatched embedded profile is ignored, as viewers do,
    // except for CMYK, which has no default to fall back on.
    if (source && cmsGetColorSpace(source.get()) != SpaceOf(channels)) source.reset();
    key = embedded.icc;
  } else if (!embedded.srgb && channels != 4) {
    source = ProfileFromPngChunks(embedded, channels == 1);
    key.assign(reinterpret_cast<const uint8_t *>(&embedded.gamma),
               reinterpret_cast<const uint8_t *>(&embedded.gamma) + sizeof embedded.gamma);
    if (embedded.chromaticities) {
      const auto *c = reinterpret_cast<const uint8_t *>(embedded.chromaticities->data());
      key.insert(key.end(), c, c + sizeof(double) * 8);
    }
  }
  if (!source) {
    if (channels == 4) {
      ImageFailure(path, "a CMYK image without a usable ICC profile: give its profile with "
                         "--input-profile");
    }
    return rows;  // sRGB already
  }
  TransformPtr transform = TransformFor(key, source.get(), channels, input);
  if (!transform) ImageFailure(path, "Little CMS cannot convert from its colour profile");
  return std::make_unique<ManagedRows>(std::move(rows), std::move(transform));
}

}  // namespace inkdot::host::detail
