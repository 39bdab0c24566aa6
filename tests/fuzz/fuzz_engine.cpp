// SPDX-License-Identifier: Apache-2.0
// The whole engine conversation as a trusted host holds it, with every
// resource and every pixel taken from the fuzzer's input: CmNew, the colour
// resources until -1 or a failure, HalftoneNew, the halftone resources
// likewise, a few band calls on random runs, and both deletes. Arguments
// stay what a host would pass (valid pointers, runs inside the buffers
// this harness allocates); resources are padded to what their formats read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "inkdot/inkdot.h"
#include "resource_fitting.h"

namespace inkdot::fuzz {
namespace {

constexpr uint32_t kResolutions[][2] = {{720, 720},   {1440, 720}, {2880, 720},
                                        {720, 1440},  {1440, 1440}, {360, 720},
                                        {1440, 360},  {360, 360}};
constexpr int32_t kGrayModes[] = {0, 1, 4};
constexpr int kMaxCalls = 8;
constexpr int kMaxBandCalls = 12;

// INKDOT_FUZZ_TRACE=1 prints every call's result, to check what a seed reaches.
ResultCode Traced(const char *call, ResultCode result) {
  static const bool trace = std::getenv("INKDOT_FUZZ_TRACE") != nullptr;
  if (trace) std::fprintf(stderr, "%s: %u\n", call, static_cast<unsigned>(result));
  return result;
}

struct Options {
  int32_t gamma = 0;
  std::vector<uint8_t> toneCurves;
  std::vector<uint8_t> calibration;
  std::vector<uint8_t> storage;  // the CmOptionList
  const CmOptionList *Build() {
    std::vector<CmOption> pairs;
    if (gamma != 0) pairs.push_back({1, &gamma});
    if (!toneCurves.empty()) pairs.push_back({256, toneCurves.data()});
    if (!calibration.empty()) pairs.push_back({512, calibration.data()});
    if (pairs.empty()) return nullptr;
    storage.assign(sizeof(CmOptionList) + pairs.size() * sizeof(CmOption), 0);
    auto *list = reinterpret_cast<CmOptionList *>(storage.data());
    list->count = static_cast<int32_t>(pairs.size());
    std::memcpy(list->pairs, pairs.data(), pairs.size() * sizeof(CmOption));
    return list;
  }
};

HalftoneParams ReadPage(FuzzInput &in) {
  HalftoneParams page{};
  page.method = in.Byte() % 5;
  page.methodVariant = in.Byte() % 4;
  page.inputFormat = in.Byte() % 8;
  page.colorMode = in.Byte() % 4;
  const auto &resolution = kResolutions[in.Byte() % 8];
  page.xResolution = resolution[0];
  page.yResolution = resolution[1];
  page.dotMode = in.Byte() % 4;
  page.magnification = static_cast<int32_t>(in.Byte() % 8) - 1;
  page.maxPixels = in.U16() % 4097;
  return page;
}

CmParams ReadColourSettings(FuzzInput &in, Options *options) {
  CmParams params{};
  params.grayMode = kGrayModes[in.Byte() % 3];
  params.colorAdjustMode = in.Byte() % 3;
  params.neutralBalance = in.Byte() % 101;
  int32_t *settings[] = {&params.brightness, &params.contrast,    &params.saturation,
                         &params.redOffset,  &params.greenOffset, &params.blueOffset};
  for (int32_t *s : settings) *s = static_cast<int8_t>(in.Byte());
  params.tableKeyNumber = in.Byte();
  params.tableKeyName = in.Byte();
  const uint8_t flags = in.Byte();
  params.reserved = (flags & 8) ? 1 : 0;
  const int32_t gamma = in.U16();
  if (flags & 1) options->gamma = gamma;
  // The calibration block: "CW:", head id, up to 23 values, 0xFE 0xFF.
  const uint8_t head = in.Byte();
  const uint32_t inks = in.Byte() % 24;
  std::vector<uint8_t> values(inks);
  for (uint8_t &v : values) v = in.Byte();
  if (flags & 4) {
    options->calibration = {'C', 'W', ':', head};
    options->calibration.insert(options->calibration.end(), values.begin(), values.end());
    options->calibration.push_back(0xFE);
    options->calibration.push_back(0xFF);
    options->calibration.resize(28, 0);  // the longest block the engine reads
  }
  if (flags & 2) options->toneCurves = FitFixed(in.Chunk(), 768);
  params.options = options->Build();
  return params;
}

// The colour resources in the order the conversation asks for them:
// selection table, colour table, then the calibration's channel map,
// reference values, second selection table and curves.
std::vector<uint8_t> FitColourResource(int call, std::vector<uint8_t> bytes) {
  switch (call) {
    case 0: return FitText(std::move(bytes));
    case 1: return FitColourTable(std::move(bytes));
    case 2: return FitChannelMap(std::move(bytes));
    case 3: return FitFixed(std::move(bytes), 21);
    case 4: return FitText(std::move(bytes));
    default: return FitFixed(std::move(bytes), 37 * 256);
  }
}

// Id list, grid, threshold matrix, dot palette; later calls get a palette.
std::vector<uint8_t> FitHalftoneResource(int call, std::vector<uint8_t> bytes) {
  switch (call) {
    case 0: return FitFixed(std::move(bytes), 32);
    case 1: return FitFixed(std::move(bytes), 34);
    case 2: return FitMatrix(std::move(bytes));
    default: return FitFixed(std::move(bytes), 768);
  }
}

void BandCalls(FuzzInput &in, HalftoneContext *ht, const HalftoneParams &page) {
  const int calls = in.Byte() % (kMaxBandCalls + 1);
  const std::vector<uint8_t> pixels = in.Chunk();
  const uint32_t bitsPerPixel = page.dotMode == 2 ? 2 : 1;
  for (int c = 0; c < calls; ++c) {
    const uint32_t count = in.U16() % (page.maxPixels + 1);
    uint32_t startX = in.U16();
    const uint8_t flags = in.Byte();
    // Mostly runs inside maxPixels; now and then one that the engine refuses.
    if ((flags & 0x80) == 0) startX %= page.maxPixels - count + 1;
    const uint32_t firstBit = flags % (8 / bitsPerPixel);
    const uint32_t row = in.U16();
    // Source pixels of up to 8 bytes each, and four planes for the output.
    std::vector<uint8_t> src(static_cast<size_t>(count) * 8 + 8);
    for (size_t i = 0; i < src.size() && !pixels.empty(); ++i) src[i] = pixels[i % pixels.size()];
    const uint32_t stride = ((firstBit + count) * bitsPerPixel + 7) / 8 + 1;
    std::vector<uint8_t> dst(static_cast<size_t>(stride) * 4);
    Traced("Halftone", Halftone(ht, src.data(), dst.data(), stride, firstBit, count, startX, 0,
                                   row, 0, 0));
  }
}

}  // namespace
}  // namespace inkdot::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace inkdot::fuzz;
  FuzzInput in(data, size);
  const HalftoneParams page = ReadPage(in);
  Options options;
  const CmParams params = ReadColourSettings(in, &options);

  int32_t nextId = 0;
  CmContext *cm = nullptr;
  if (CmNew(&params, &page, 0, &nextId, &cm) != INKDOT_OK) return 0;
  // Each conversation runs until -1, or until a call fails and the input
  // says to stop there; going on after a failure is a sequence of calls
  // that must not crash the engine either.
  for (int call = 0; call < kMaxCalls && nextId != -1; ++call) {
    const std::vector<uint8_t> resource = FitColourResource(call, in.Chunk());
    if (resource.empty()) break;  // too large for any host to hold
    const bool stopOnFailure = (in.Byte() & 1) == 0;
    const ResultCode result = Traced("CmSetResource", CmSetResource(cm, resource.data(), &nextId));
    if (result != INKDOT_OK && stopOnFailure) break;
  }

  HalftoneContext *ht = nullptr;
  const ResultCode created =
      Traced("HalftoneNew", HalftoneNew(&page, CmGetLut(cm), 0, &nextId, &ht));
  if (created == INKDOT_OK || (created == INKDOT_BAD_PARAMS && ht != nullptr)) {
    for (int call = 0; call < kMaxCalls && nextId != -1; ++call) {
      const std::vector<uint8_t> resource = FitHalftoneResource(call, in.Chunk());
      const bool stopOnFailure = (in.Byte() & 1) == 0;
      const ResultCode result =
          Traced("HalftoneSetResource", HalftoneSetResource(ht, resource.data(), &nextId));
      if (result != INKDOT_OK && stopOnFailure) break;
    }
    BandCalls(in, ht, page);
    HalftoneDelete(ht);
  }
  CmDelete(cm);
  return 0;
}
