// SPDX-License-Identifier: Apache-2.0
#include <unistd.h>

#include "commands.h"
#include "inkdot/host/errors.h"

namespace inkdot::cli {

std::filesystem::path DefaultProfileDir() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const auto installed = self.parent_path() / ".." / "share" / "inkdot" / "profiles" / "default";
    if (std::filesystem::exists(installed / "profile.json")) return installed.lexically_normal();
#ifdef INKDOT_BUILD_PROFILE_RELATIVE
    const auto built = self.parent_path() / INKDOT_BUILD_PROFILE_RELATIVE;
    if (std::filesystem::exists(built / "profile.json")) return built.lexically_normal();
#endif
  }
  throw host::SettingError("no default profile was found; pass --profile DIR");
}

std::pair<uint32_t, uint32_t> ParseSize(const std::string &text, const char *what) {
  const size_t x = text.find('x');
  auto number = [&](const std::string &part) -> uint32_t {
    if (part.empty() || part.size() > 6 || part.find_first_not_of("0123456789") != std::string::npos) {
      throw host::SettingError(std::string(what) + " \"" + text + "\" is not of the form WxH");
    }
    uint32_t value = static_cast<uint32_t>(std::stoul(part));
    if (value == 0) throw host::SettingError(std::string(what) + " \"" + text + "\" has a zero");
    return value;
  };
  if (x == std::string::npos) {
    throw host::SettingError(std::string(what) + " \"" + text + "\" is not of the form WxH");
  }
  return {number(text.substr(0, x)), number(text.substr(x + 1))};
}

}  // namespace inkdot::cli
