#include <lcms2.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "separation.h"

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

}  // namespace

ProcessSource IccProcessSource(const std::filesystem::path &icc) {
  const std::string name = icc.string();
  cmsSetLogErrorHandler(IgnoreLcmsError);
  ProfilePtr output(cmsOpenProfileFromFile(name.c_str(), "r"));
  if (!output) throw std::runtime_error("cannot read ICC profile " + name);
  if (cmsGetColorSpace(output.get()) != cmsSigCmykData) {
    throw std::runtime_error("ICC profile " + name + " is not a CMYK profile");
  }
  ProfilePtr srgb(cmsCreate_sRGBProfile());
  TransformPtr transform(cmsCreateTransform(srgb.get(), TYPE_RGB_8, output.get(), TYPE_CMYK_DBL,
                                            INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
  if (!transform) {
    throw std::runtime_error("ICC profile " + name + " cannot convert from sRGB (no output tables)");
  }
  std::shared_ptr<void> shared(transform.release(), TransformCloser());
  return [shared](const std::vector<uint8_t> &rgb) {
    const size_t count = rgb.size() / 3;
    std::vector<double> cmyk(count * 4);
    cmsDoTransform(shared.get(), rgb.data(), cmyk.data(), static_cast<cmsUInt32Number>(count));
    std::vector<ProcessAmounts> out(count);
    for (size_t n = 0; n < count; ++n) {
      const double k = std::clamp(cmyk[4 * n + 3] / 100.0, 0.0, 1.0);
      for (int i = 0; i < 3; ++i) {
        const double c = std::clamp(cmyk[4 * n + i] / 100.0, 0.0, 1.0);
        out[n][i] = 1.0 - (1.0 - c) * (1.0 - k);
      }
    }
    return out;
  };
}

}  // namespace inkdot::profile
