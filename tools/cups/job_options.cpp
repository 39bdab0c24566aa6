// SPDX-License-Identifier: Apache-2.0
#include "job_options.h"

#include <cups/cups.h>

#include <cctype>
#include <charconv>
#include <cmath>

#include "inkdot/host/errors.h"

namespace inkdot::cups {

namespace {

constexpr uint32_t kMultiSizeDotMode = 2;

const std::string *Find(const JobOptions &options, const std::string &name) {
  const auto found = options.find(name);
  return found == options.end() ? nullptr : &found->second;
}

host::SettingError BadValue(const std::string &name, const std::string &value,
                            const std::string &why) {
  return host::SettingError("option " + name + "=" + value + ": " + why);
}

int32_t Adjustment(const JobOptions &options, const std::string &name) {
  const std::string *value = Find(options, name);
  if (!value) return 0;
  int32_t number = 0;
  const char *end = value->data() + value->size();
  const auto [stop, error] = std::from_chars(value->data(), end, number);
  if (value->empty() || error != std::errc() || stop != end) {
    throw BadValue(name, *value, "not a whole number");
  }
  if (number < -50 || number > 50) throw BadValue(name, *value, "outside -50..50");
  return number;
}

// Gamma as the PPD offers it ("1.5"), in the engine's hundredths; 0 keeps
// the engine's own default.
int32_t Gamma(const JobOptions &options) {
  const std::string *value = Find(options, "InkdotGamma");
  if (!value || *value == "Default") return 0;
  double gamma = 0;
  const char *end = value->data() + value->size();
  const auto [stop, error] = std::from_chars(value->data(), end, gamma);
  if (value->empty() || error != std::errc() || stop != end) {
    throw BadValue("InkdotGamma", *value, "not a number");
  }
  if (!(gamma >= 1.0 && gamma <= 3.0)) throw BadValue("InkdotGamma", *value, "outside 1.0..3.0");
  return static_cast<int32_t>(std::lround(gamma * 100));
}

uint32_t DotMode(const JobOptions &options, const host::Profile &profile) {
  const std::string *value = Find(options, "InkdotDots");
  if (!value || *value == "Variable") return kMultiSizeDotMode;
  if (*value != "Single") throw BadValue("InkdotDots", *value, "not Variable or Single");
  for (uint32_t mode : profile.dotModes) {
    if (mode != kMultiSizeDotMode) return mode;
  }
  throw BadValue("InkdotDots", *value, "the profile " + profile.name + " has no single-size dots");
}

}  // namespace

JobOptions ParseJobOptions(const char *text) {
  cups_option_t *list = nullptr;
  const int count = cupsParseOptions(text, 0, &list);
  JobOptions options;
  for (int i = 0; i < count; ++i) options[list[i].name] = list[i].value;
  cupsFreeOptions(count, list);
  return options;
}

host::PrintSettings SettingsFromOptions(const JobOptions &options, const host::Profile &profile) {
  host::PrintSettings settings;
  settings.dotMode = DotMode(options, profile);
  // The PPD names methods with a capital (Diffusion); the profile in lower case.
  std::string method = "diffusion";
  if (const std::string *value = Find(options, "InkdotMethod")) {
    method.clear();
    for (char c : *value) method += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  const auto choice = profile.methods.find(method);
  if (choice == profile.methods.end()) {
    throw BadValue("InkdotMethod", method,
                   "the profile " + profile.name + " has no such method");
  }
  settings.method = choice->second.method;
  settings.methodVariant = choice->second.variant;
  settings.colour.brightness = Adjustment(options, "InkdotBrightness");
  settings.colour.contrast = Adjustment(options, "InkdotContrast");
  settings.colour.saturation = Adjustment(options, "InkdotSaturation");
  settings.colour.gamma = Gamma(options);
  return settings;
}

}  // namespace inkdot::cups
