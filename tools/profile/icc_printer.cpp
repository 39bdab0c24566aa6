// SPDX-License-Identifier: Apache-2.0
#include "icc_printer.h"

#include <lcms2.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

namespace inkdot::profile {
namespace {

struct ProfileCloser {
  void operator()(void *p) const { cmsCloseProfile(static_cast<cmsHPROFILE>(p)); }
};
struct TransformCloser {
  void operator()(void *t) const { cmsDeleteTransform(static_cast<cmsHTRANSFORM>(t)); }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;
using TransformPtr = std::unique_ptr<void, TransformCloser>;

// Little CMS reports problems through a global handler; the messages are not
// needed (failures are reported by the return values), so they are dropped.
void IgnoreLcmsError(cmsContext, cmsUInt32Number, const char *) {}

ProfilePtr OpenCmykProfile(const std::filesystem::path &icc) {
  const std::string name = icc.string();
  cmsSetLogErrorHandler(IgnoreLcmsError);
  ProfilePtr output(cmsOpenProfileFromFile(name.c_str(), "r"));
  if (!output) throw std::runtime_error("cannot read ICC profile " + name);
  if (cmsGetColorSpace(output.get()) != cmsSigCmykData) {
    throw std::runtime_error("ICC profile " + name + " is not a CMYK profile");
  }
  return output;
}

}  // namespace

std::vector<std::array<double, 4>> IccCmyk(const std::filesystem::path &icc,
                                           const std::vector<uint8_t> &rgb,
                                           bool perceptual,
                                           bool blackPointCompensation) {
  ProfilePtr output = OpenCmykProfile(icc);
  ProfilePtr srgb(cmsCreate_sRGBProfile());
  TransformPtr transform(cmsCreateTransform(
      srgb.get(), TYPE_RGB_8, output.get(), TYPE_CMYK_DBL,
      perceptual ? INTENT_PERCEPTUAL : INTENT_RELATIVE_COLORIMETRIC,
      cmsFLAGS_NOCACHE |
          (blackPointCompensation ? cmsFLAGS_BLACKPOINTCOMPENSATION : 0)));
  if (!transform) {
    throw std::runtime_error("ICC profile " + icc.string() +
                             " cannot convert from sRGB (no output tables)");
  }
  const size_t count = rgb.size() / 3;
  std::vector<double> cmyk(count * 4);
  cmsDoTransform(transform.get(), rgb.data(), cmyk.data(),
                 static_cast<cmsUInt32Number>(count));
  std::vector<std::array<double, 4>> out(count);
  for (size_t n = 0; n < count; ++n) {
    for (int k = 0; k < 4; ++k)
      out[n][k] = std::clamp(cmyk[4 * n + k] / 100.0, 0.0, 1.0);
  }
  return out;
}

std::vector<Measurement> IccMeasurements(
    const std::filesystem::path &icc,
    const std::vector<std::array<double, 4>> &patches) {
  ProfilePtr output = OpenCmykProfile(icc);
  ProfilePtr lab(cmsCreateLab4Profile(nullptr));
  TransformPtr transform(cmsCreateTransform(output.get(), TYPE_CMYK_DBL, lab.get(),
                                            TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                            cmsFLAGS_NOCACHE));
  if (!transform)
    throw std::runtime_error("ICC profile " + icc.string() +
                             " has no tables from CMYK to colour");
  std::vector<Measurement> out;
  for (const auto &p : patches) {
    const double in[4] = {p[0] * 100, p[1] * 100, p[2] * 100, p[3] * 100};
    cmsCIELab l;
    cmsDoTransform(transform.get(), in, &l, 1);
    out.push_back({p, {l.L, l.a, l.b}});
  }
  return out;
}

}  // namespace inkdot::profile
