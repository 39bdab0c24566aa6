// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/limits.h"

#include <cmath>
#include <cstdio>

#include "inkdot/host/errors.h"

namespace inkdot::host {

namespace {

std::string DpiText(double dpi) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", dpi);
  return text;
}

// The device size along one axis, as a real number: the limits are checked
// on it before it is turned into an integer.
double DeviceExtent(uint32_t pixels, double imageDpi, uint32_t deviceDpi) {
  if (!(imageDpi > 0) || !std::isfinite(imageDpi)) return pixels;
  return std::max(1.0, std::round(pixels * static_cast<double>(deviceDpi) / imageDpi));
}

}  // namespace

void CheckInputDpi(double dpi, const std::string &what) {
  if (!std::isfinite(dpi) || dpi < kMinInputDpi || dpi > kMaxInputDpi) {
    throw SettingError(what + " " + DpiText(dpi) + " is outside " + DpiText(kMinInputDpi) + ".." +
                       DpiText(kMaxInputDpi) + " dpi");
  }
}

PageSize DevicePageSize(const std::filesystem::path &image, uint32_t width, uint32_t height,
                        double xDpi, double yDpi, uint32_t xResolution, uint32_t yResolution) {
  const double w = DeviceExtent(width, xDpi, xResolution);
  const double h = DeviceExtent(height, yDpi, yResolution);
  const double side = static_cast<double>(kMaxPageSide);
  if (w > side || h > side || w * h > static_cast<double>(kMaxPageDots)) {
    char asked[160];
    std::snprintf(asked, sizeof asked, "%.0f x %.0f dots", w, h);
    std::string why = xDpi > 0 ? " (" + std::to_string(width) + " x " + std::to_string(height) +
                                     " pixels at " + DpiText(xDpi) + " x " + DpiText(yDpi) +
                                     " dpi, printed at " + std::to_string(xResolution) + "x" +
                                     std::to_string(yResolution) + " dpi)"
                               : "";
    throw SettingError(image.string() + ": the page would be " + asked + why +
                       "; the limit is " + std::to_string(kMaxPageSide) + " dots a side and " +
                       std::to_string(kMaxPageDots) + " dots in all");
  }
  return {static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
}

void CheckPreviewSize(const std::filesystem::path &preview, double width, double height,
                      uint64_t memoryBudget) {
  const double bytes = (std::ceil(width) + 1) * (std::ceil(height) + 1) * 3;
  if (bytes > static_cast<double>(memoryBudget)) {
    char size[96];
    std::snprintf(size, sizeof size, "%.0f x %.0f pixels", std::ceil(width), std::ceil(height));
    throw SettingError(preview.string() + ": a preview of " + size + " needs " +
                       MebibyteText(static_cast<uint64_t>(bytes)) +
                       ", above the memory budget of " + MebibyteText(memoryBudget) +
                       "; choose a lower preview resolution");
  }
}

std::string MebibyteText(uint64_t bytes) {
  return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB";
}

}  // namespace inkdot::host
