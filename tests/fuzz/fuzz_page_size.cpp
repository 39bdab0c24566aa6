// SPDX-License-Identifier: Apache-2.0
// The device page size of an image over arbitrary numbers: its size in
// pixels, its resolution (any double, NaN and infinities too) and the
// device resolution. Either the page is refused with a SettingError, or it
// is within the page limits and the resampler's own size for it.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/limits.h"
#include "inkdot/host/resample.h"

namespace {

double Real(inkdot::fuzz::FuzzInput &in) {
  const uint64_t bits = static_cast<uint64_t>(in.U32()) | static_cast<uint64_t>(in.U32()) << 32;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace inkdot::host;
  inkdot::fuzz::FuzzInput in(data, size);
  const uint32_t width = in.U32(), height = in.U32();
  const double xDpi = Real(in), yDpi = Real(in);
  const uint32_t xResolution = in.U32(), yResolution = in.U32();
  try {
    CheckInputDpi(xDpi, "dpi");
    if (!(xDpi >= kMinInputDpi && xDpi <= kMaxInputDpi)) std::abort();
  } catch (const SettingError &) {
  }
  try {
    const PageSize page =
        DevicePageSize("fuzzed", width, height, xDpi, yDpi, xResolution, yResolution);
    if (page.width > kMaxPageSide || page.height > kMaxPageSide ||
        static_cast<uint64_t>(page.width) * page.height > kMaxPageDots) {
      std::abort();
    }
    // Where the resampler's own arithmetic is defined, both agree.
    if (std::isfinite(xDpi) && std::isfinite(yDpi) &&
        (page.width != DeviceSize(width, xDpi, xResolution) ||
         page.height != DeviceSize(height, yDpi, yResolution))) {
      std::abort();
    }
  } catch (const SettingError &) {
  }
  return 0;
}
