// The host's profile loading and validation over arbitrary bytes. The first
// byte picks what the rest is: a profile manifest (loaded with every
// resource file it names, from a folder of fuzzed files), or one resource
// of a given kind for its validator. Every failure must arrive as one of
// the host's Error exceptions.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/profile.h"
#include "temp_file.h"

namespace {

using namespace inkdot::host;

constexpr int kKinds = 9;

// A manifest followed by up to four resource files, which it may name as
// "r0" to "r3".
void LoadFuzzedProfile(inkdot::fuzz::FuzzInput &in, const inkdot::fuzz::TempFile &dir) {
  const std::vector<uint8_t> manifest = in.Chunk();
  dir.Write(manifest.data(), manifest.size(), "profile.json");
  for (int i = 0; i < 4; ++i) {
    const std::vector<uint8_t> file = in.Chunk();
    dir.Write(file.data(), file.size(), "r" + std::to_string(i));
  }
  LoadProfile(dir.path());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const inkdot::fuzz::TempFile dir("profile");
  if (size < 2) return 0;
  const int choice = data[0] % (kKinds + 1);
  try {
    if (choice == kKinds) {
      inkdot::fuzz::FuzzInput in(data + 1, size - 1);
      LoadFuzzedProfile(in, dir);
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
