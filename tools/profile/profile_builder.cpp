#include "profile_builder.h"

#include <stdexcept>

namespace inkdot::profile {

// Not yet available: replaced by the profile generator.
void BuildProfile(const std::filesystem::path &, const BuildOptions &) {
  throw std::runtime_error("profile building is not available yet");
}

RgbImage MakeTestChart(int, int) {
  throw std::runtime_error("the test chart is not available yet");
}

}  // namespace inkdot::profile
