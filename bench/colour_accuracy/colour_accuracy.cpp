// SPDX-License-Identifier: Apache-2.0
// Colour accuracy of a profile: prints a chart of sRGB patches through every
// way of printing the profile offers, measures the preview (the printer
// model's simulation of the print) and reports CIEDE2000 differences for
// colours inside the printer's gamut, colours outside it (against their
// gamut-mapped targets, with the hue error) and the grey ramp.
//
//   colour_accuracy PROFILE [--out DIR]
//
// With --out it also writes the chart, each preview, a CSV per mode and
// plots (PNG) of the grey ramp's L* and of the difference per patch.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "chart_measurement.h"
#include "colour_inversion.h"
#include "inkdot/host/image.h"
#include "inkdot/host/printer_model_json.h"
#include "plot.h"
#include "printer_response.h"

namespace {

using namespace inkdot;
namespace fs = std::filesystem;

struct Mode {
  std::string name;
  host::PrintSettings settings;
};

struct Stats {
  double mean = 0, median = 0, p95 = 0, max = 0;
  size_t count = 0;
};

Stats Summarise(std::vector<double> v) {
  Stats s;
  s.count = v.size();
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  for (double x : v) s.mean += x;
  s.mean /= v.size();
  s.median = v[v.size() / 2];
  s.p95 =
      v[std::min(v.size() - 1, static_cast<size_t>(std::ceil(0.95 * v.size())) - 1)];
  s.max = v.back();
  return s;
}

double Hue(const host::Lab &lab) {
  double h = std::atan2(lab[2], lab[1]) * 180.0 / std::numbers::pi;
  return h < 0 ? h + 360 : h;
}

double HueError(const host::Lab &a, const host::Lab &b) {
  const double d = std::abs(Hue(a) - Hue(b));
  return std::min(d, 360 - d);
}

// The chart: the 6-level RGB cube, a grey ramp, common memory colours and
// a fixed pseudo-random spread.
std::vector<profile::Rgb8> Chart(size_t *greyStart, size_t *greyCount) {
  std::vector<profile::Rgb8> patches;
  for (int r = 0; r < 6; ++r) {
    for (int g = 0; g < 6; ++g) {
      for (int b = 0; b < 6; ++b) {
        if (r == g && g == b) continue;  // greys come in the ramp
        patches.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                           static_cast<uint8_t>(b * 51)});
      }
    }
  }
  const profile::Rgb8 memory[] = {
      {194, 150, 130}, {224, 172, 105}, {141, 85, 36}, {255, 219, 172},
      {135, 206, 235}, {98, 122, 157},  {87, 108, 67}, {133, 128, 177},
      {214, 126, 44},  {80, 91, 166},   {193, 90, 99}, {94, 60, 108},
      {157, 188, 64},  {224, 163, 46},  {70, 148, 73}, {175, 54, 60},
      {231, 199, 31},  {187, 86, 149},  {8, 133, 161}, {60, 40, 30},
      {40, 50, 80},    {30, 60, 40},    {90, 30, 30},  {200, 200, 220}};
  patches.insert(patches.end(), std::begin(memory), std::end(memory));
  uint32_t seed = 0x2101u;
  for (int i = 0; i < 60; ++i) {
    profile::Rgb8 c;
    for (auto &v : c) {
      seed = seed * 1664525u + 1013904223u;
      v = static_cast<uint8_t>(seed >> 24);
    }
    patches.push_back(c);
  }
  *greyStart = patches.size();
  for (int v = 0; v <= 255; v += 5)
    patches.push_back(
        {static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v)});
  *greyCount = patches.size() - *greyStart;
  return patches;
}

std::vector<Mode> Modes(const host::Profile &profile) {
  std::vector<Mode> modes;
  const auto offered = [&](uint32_t x, uint32_t y) {
    return std::find(profile.resolutions.begin(), profile.resolutions.end(),
                     std::make_pair(x, y)) != profile.resolutions.end();
  };
  for (uint32_t dotMode : profile.dotModes) {
    const bool multi = dotMode == 2;
    if (!multi && dotMode != profile.dotModes.front() && profile.dotModes.front() != 2)
      continue;
    uint32_t x = multi ? 1440 : 720, y = 720;
    if (!offered(x, y))
      x = profile.resolutions.front().first, y = profile.resolutions.front().second;
    for (const auto &[name, choice] : profile.methods) {
      if (multi && choice.method != 1 && choice.method != 3) continue;
      Mode mode;
      mode.name = std::string(multi ? "variable" : "single") + "-" + name;
      mode.settings.dotMode = dotMode;
      mode.settings.method = choice.method;
      mode.settings.methodVariant = choice.variant;
      mode.settings.xResolution = x;
      mode.settings.yResolution = y;
      mode.settings.pageThreads = 1;
      modes.push_back(mode);
    }
  }
  return modes;
}

void PrintStats(const char *what, const Stats &s) {
  std::printf("  %-22s n=%3zu  mean %5.2f  median %5.2f  p95 %5.2f  max %5.2f\n", what,
              s.count, s.mean, s.median, s.p95, s.max);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--out")) {
    std::fprintf(stderr, "usage: %s PROFILE [--out DIR]\n", argv[0]);
    return 2;
  }
  try {
    const host::Profile profile = host::LoadProfile(argv[1]);
    if (!profile.printer) throw std::runtime_error("the profile describes no printer");
    const fs::path out = argc == 4 ? fs::path(argv[3]) : fs::path();
    if (!out.empty()) fs::create_directories(out);

    size_t greyStart = 0, greyCount = 0;
    const std::vector<profile::Rgb8> patches = Chart(&greyStart, &greyCount);
    const profile::PrinterResponse model = profile::ModelResponse(*profile.printer, 17);
    const profile::GamutMapper mapper(model, {});
    std::vector<host::Lab> source, target;
    std::vector<bool> inGamut;
    for (const profile::Rgb8 &p : patches) {
      const host::Lab lab = host::SrgbToLab(p[0] / 255.0, p[1] / 255.0, p[2] / 255.0);
      source.push_back(lab);
      target.push_back(mapper.Map(lab));
      const double chroma = std::hypot(lab[1], lab[2]);
      inGamut.push_back(lab[0] >= mapper.BlackPoint() &&
                        chroma <= mapper.MaxChroma(lab[0], Hue(lab)));
    }
    // Gamut volume in cubic CIELAB units, from the boundary (largest chroma
    // by lightness and hue) of the printer model.
    double volume = 0;
    for (double L = 0.5; L < 100; L += 1) {
      for (double h = 0.5; h < 360; h += 1)
        volume += 0.5 * std::pow(mapper.MaxChroma(L, h), 2) * std::numbers::pi / 180;
    }
    std::printf(
        "chart: %zu patches, %zu greys; printer black point L* %.2f, gamut volume "
        "%.0f\n",
        patches.size(), greyCount, mapper.BlackPoint(), volume);
    for (int i = 1; i < 16; ++i) {
      const host::Lab &p = profile.printer->primaries[i];
      std::printf("  solid %-5s L* %5.1f a* %6.1f b* %6.1f\n",
                  host::PrimaryName(i).c_str(), p[0], p[1], p[2]);
    }

    bool chartWritten = false;
    for (const Mode &mode : Modes(profile)) {
      const profile::ChartMeasurement m =
          profile::PrintAndMeasure(profile, mode.settings, patches);
      std::vector<double> in, outOf, outHue, grey, greyA, greyB, greyL, perPatch;
      for (size_t i = 0; i < patches.size(); ++i) {
        const bool isGrey = i >= greyStart;
        const host::Lab &t = isGrey || !inGamut[i] ? target[i] : source[i];
        const double de = host::DeltaE2000(m.measured[i], t);
        perPatch.push_back(de);
        if (isGrey) {
          grey.push_back(de);
          greyA.push_back(std::abs(m.measured[i][1]));
          greyB.push_back(std::abs(m.measured[i][2]));
          greyL.push_back(std::abs(m.measured[i][0] - t[0]));
        } else if (inGamut[i]) {
          in.push_back(de);
        } else {
          outOf.push_back(de);
          if (std::hypot(source[i][1], source[i][2]) > 5)
            outHue.push_back(HueError(m.measured[i], source[i]));
        }
      }
      // Greys from input 64 up against their targets; below, whether L* keeps falling.
      std::vector<double> greyLUpper;
      bool monotone = true;
      for (size_t g = 0; g < greyCount; ++g) {
        const size_t i = greyStart + g;
        if (patches[i][0] >= 64)
          greyLUpper.push_back(std::abs(m.measured[i][0] - target[i][0]));
        if (g > 0 && m.measured[i][0] <= m.measured[i - 1][0]) monotone = false;
      }
      std::printf("%s (%ux%u):\n", mode.name.c_str(), mode.settings.xResolution,
                  mode.settings.yResolution);
      PrintStats("in gamut dE00", Summarise(in));
      PrintStats("out of gamut dE00", Summarise(outOf));
      PrintStats("out of gamut hue (deg)", Summarise(outHue));
      PrintStats("greys dE00", Summarise(grey));
      PrintStats("greys |a*|", Summarise(greyA));
      PrintStats("greys |b*|", Summarise(greyB));
      PrintStats("greys |dL*| from 64", Summarise(greyLUpper));
      std::printf("  grey ramp L* strictly rising: %s; black L* %.2f\n",
                  monotone ? "yes" : "no", m.measured[greyStart][0]);

      if (out.empty()) continue;
      if (!chartWritten) {
        host::WritePng(m.chart, 72, out / "chart.png");
        chartWritten = true;
      }
      host::WritePng(m.preview, 90, out / ("preview-" + mode.name + ".png"));
      std::ofstream csv(out / ("patches-" + mode.name + ".csv"));
      csv << "r,g,b,class,target_L,target_a,target_b,measured_L,measured_a,measured_b,"
             "dE00\n";
      for (size_t i = 0; i < patches.size(); ++i) {
        const bool isGrey = i >= greyStart;
        const host::Lab &t = isGrey || !inGamut[i] ? target[i] : source[i];
        csv << int(patches[i][0]) << ',' << int(patches[i][1]) << ','
            << int(patches[i][2]) << ','
            << (isGrey       ? "grey"
                : inGamut[i] ? "in"
                             : "out")
            << ',' << t[0] << ',' << t[1] << ',' << t[2] << ',' << m.measured[i][0]
            << ',' << m.measured[i][1] << ',' << m.measured[i][2] << ',' << perPatch[i]
            << '\n';
      }
      std::vector<bench::Series> ramp(2);
      ramp[0].colour = {160, 160, 160};
      ramp[1].colour = {200, 30, 30};
      for (size_t g = 0; g < greyCount; ++g) {
        ramp[0].points.push_back(
            {static_cast<double>(patches[greyStart + g][0]), target[greyStart + g][0]});
        ramp[1].points.push_back({static_cast<double>(patches[greyStart + g][0]),
                                  m.measured[greyStart + g][0]});
      }
      host::WritePng(bench::LinePlot(ramp, 0, 255, 0, 100, 64, 10), 72,
                     out / ("grey-ramp-" + mode.name + ".png"));
      std::vector<bench::Bar> bars;
      for (size_t i = 0; i < patches.size(); ++i) {
        const bool isGrey = i >= greyStart;
        const std::array<uint8_t, 3> colour =
            isGrey       ? std::array<uint8_t, 3>{90, 90, 90}
            : inGamut[i] ? std::array<uint8_t, 3>{40, 110, 200}
                         : std::array<uint8_t, 3>{220, 120, 30};
        bars.push_back({perPatch[i], colour});
      }
      host::WritePng(bench::BarPlot(bars, 6.0, 1.0), 72,
                     out / ("delta-e-" + mode.name + ".png"));
    }
  } catch (const std::exception &e) {
    std::fprintf(stderr, "colour_accuracy: %s\n", e.what());
    return 1;
  }
  return 0;
}
