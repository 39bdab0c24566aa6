#include "engine_readiness.h"

#include "inkdot/host/errors.h"
#include "inkdot/host/print_job.h"
#include "inkdot/host/profile.h"

namespace inkdot::testing {

std::optional<std::string> MissingEnginePart(const std::filesystem::path &dir) {
  const host::Profile profile = host::LoadProfile(dir);
  host::Image image;
  image.width = 8;
  image.height = 2;
  image.channels = 3;
  image.samples.assign(8 * 2 * 3, 30000);
  for (uint32_t dotMode : {0u, 2u}) {
    for (uint32_t method : {0u, 1u, 3u}) {  // midpoint has no working kernel
      if (dotMode == 2 && method == 0) continue;                 // nor multi-size dither
      host::PrintSettings settings;
      settings.method = method;
      settings.dotMode = dotMode;
      settings.xResolution = settings.yResolution = 720;
      try {
        host::PrintImage(profile, settings, image);
      } catch (const host::EngineError &e) {
        if (e.code() != 512) throw;
        return "the engine answers 512 (not available yet) for method " + std::to_string(method) +
               ", dot mode " + std::to_string(dotMode) + ": " + e.what();
      }
    }
  }
  return std::nullopt;
}

std::optional<std::string> MissingCalibration(const std::filesystem::path &dir) {
  const host::Profile profile = host::LoadProfile(dir);
  host::PrintSettings settings;
  settings.colour.calibration.assign(profile.inks.size(), 50);
  host::ColourSession session(profile, settings.colour, host::MakePageParams(settings, 8));
  if (session.consumed().size() > 2) return std::nullopt;
  return "the engine skips a valid calibration block: the calibration steps have not landed "
         "on this branch";
}

}  // namespace inkdot::testing
