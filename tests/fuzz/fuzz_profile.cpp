// SPDX-License-Identifier: Apache-2.0
// The host's profile loading and validation over arbitrary bytes. The first
// byte picks what the rest is: a profile manifest (loaded with every
// resource file it names, from a folder of fuzzed files), the same folder
// inspected, or one resource of a given kind for its validator. Every
// failure must arrive as one of the host's Error exceptions; a manifest
// that loads holds only numbers in their ranges; a profile that inspect
// calls valid always loads.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz_input.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/inspect.h"
#include "inkdot/host/profile.h"
#include "temp_file.h"

namespace {

using namespace inkdot::host;

constexpr int kKinds = 9;

// A manifest followed by up to four resource files, which it may name as
// "r0" to "r3".
void WriteFuzzedProfile(inkdot::fuzz::FuzzInput &in, const inkdot::fuzz::TempFile &dir) {
  const std::vector<uint8_t> manifest = in.Chunk();
  dir.Write(manifest.data(), manifest.size(), "profile.json");
  for (int i = 0; i < 4; ++i) {
    const std::vector<uint8_t> file = in.Chunk();
    dir.Write(file.data(), file.size(), "r" + std::to_string(i));
  }
}

// What a loaded manifest promises the rest of the host.
void CheckManifestRanges(const Profile &profile) {
  for (const auto &[x, y] : profile.resolutions) {
    if (x < 1 || y < 1 || x > 100000 || y > 100000) std::abort();
  }
  for (uint32_t mode : profile.dotModes) {
    if (mode > 2) std::abort();
  }
  for (const auto &[name, choice] : profile.methods) {
    if (choice.method > 3 || choice.variant > 3) std::abort();
  }
  for (const auto *list : {&profile.colourResources, &profile.halftoneResources}) {
    for (const auto &[id, resource] : *list) {
      if (id < 0 || id != resource.id) std::abort();
    }
  }
  if (profile.calibrationHeadId > 253) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const inkdot::fuzz::TempFile dir("profile");
  if (size < 2) return 0;
  const int choice = data[0] % (kKinds + 2);
  try {
    if (choice == kKinds) {
      inkdot::fuzz::FuzzInput in(data + 1, size - 1);
      WriteFuzzedProfile(in, dir);
      CheckManifestRanges(LoadManifest(dir.path()));
      LoadProfile(dir.path());
    } else if (choice == kKinds + 1) {
      // Inspect's verdict is the loader's: valid means it loads.
      inkdot::fuzz::FuzzInput in(data + 1, size - 1);
      WriteFuzzedProfile(in, dir);
      std::ostringstream ignored;
      if (DescribeProfile(ignored, dir.path())) {
        try {
          LoadProfile(dir.path());
        } catch (const Error &) {
          std::abort();
        }
      }
    } else {
      // The second byte: ink count 1..20 and the curves needed (21 or 37).
      const uint32_t channels = data[1] % 20 + 1;
      const uint32_t curves = (data[1] & 0x80) ? 37 : 21;
      ValidateResource(static_cast<ResourceKind>(choice), {data + 2, size - 2},
                       {"fuzzed", 0}, channels, curves);
    }
  } catch (const Error &) {
  }
  return 0;
}
