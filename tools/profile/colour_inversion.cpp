// SPDX-License-Identifier: Apache-2.0
#include "colour_inversion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace inkdot::profile {
namespace {

constexpr double kLightnessKnee =
    25.0;  // lightness from which the mapping leaves L* alone
constexpr int kBoundaryLightSteps = 41;  // L* 0, 2.5, ..., 100
constexpr int kBoundaryHueSteps = 72;    // every 5 degrees
constexpr double kBlackRampSteps = 512;
constexpr double kBlackChromaShare = 3.0;  // black-generation curve, see BlackFor

double Radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

host::Lab FromLch(double L, double C, double hue) {
  return {L, C * std::cos(Radians(hue)), C * std::sin(Radians(hue))};
}

double Chroma(const host::Lab &lab) { return std::hypot(lab[1], lab[2]); }

double Hue(const host::Lab &lab) {
  double h = std::atan2(lab[2], lab[1]) * 180.0 / std::numbers::pi;
  return h < 0 ? h + 360.0 : h;
}

// Whether a CIELAB D50 colour lies within the sRGB cube.
bool InSrgb(const host::Lab &lab) {
  const std::array<double, 3> rgb = host::XyzToLinearSrgb(host::LabToXyz(lab));
  for (double v : rgb) {
    if (v < -1e-6 || v > 1 + 1e-6) return false;
  }
  return true;
}

// Solves the 3x3 system a x = b; false when singular.
bool Solve3(std::array<std::array<double, 3>, 3> a, std::array<double, 3> b,
            std::array<double, 3> *x) {
  for (int col = 0; col < 3; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 3; ++r) {
      if (std::abs(a[r][col]) > std::abs(a[pivot][col])) pivot = r;
    }
    if (std::abs(a[pivot][col]) < 1e-12) return false;
    std::swap(a[col], a[pivot]);
    std::swap(b[col], b[pivot]);
    for (int r = 0; r < 3; ++r) {
      if (r == col) continue;
      const double f = a[r][col] / a[col][col];
      for (int c = col; c < 3; ++c) a[r][c] -= f * a[col][c];
      b[r] -= f * b[col];
    }
  }
  for (int i = 0; i < 3; ++i) (*x)[i] = b[i] / a[i][i];
  return true;
}

}  // namespace

// Where the solver's nearest start does not reach the target, a coarse
// search over cyan, magenta and yellow gives it a start near the right
// corner of the gamut.
Coverage GamutMapper::SolveFromAnywhere(const host::Lab &target, double black,
                                        const Coverage &start, double *residual) const {
  Coverage best = Solve(target, black, start, residual);
  if (*residual < 0.05) return best;
  Coverage seed = start;
  double seedError = 1e300;
  constexpr int kSteps = 4;
  for (int c = 0; c < kSteps; ++c) {
    for (int m = 0; m < kSteps; ++m) {
      for (int y = 0; y < kSteps; ++y) {
        const Coverage trial{c / (kSteps - 1.0), m / (kSteps - 1.0), y / (kSteps - 1.0),
                             black};
        if (trial[0] + trial[1] + trial[2] + black > settings_.inkLimit) continue;
        const host::Lab lab = response_.LabOf(trial);
        const double e = (lab[0] - target[0]) * (lab[0] - target[0]) +
                         (lab[1] - target[1]) * (lab[1] - target[1]) +
                         (lab[2] - target[2]) * (lab[2] - target[2]);
        if (e < seedError) seedError = e, seed = trial;
      }
    }
  }
  double other;
  const Coverage found = Solve(target, black, seed, &other);
  if (other < *residual) {
    best = found;
    *residual = other;
  }
  return best;
}

GamutMapper::GamutMapper(const PrinterResponse &response,
                         const InversionSettings &settings)
    : response_(response), settings_(settings) {
  const double maxBlack = response.MaxCoverage(3);
  for (int i = 0; i <= kBlackRampSteps; ++i) {
    const double L = response.LabOf({0, 0, 0, maxBlack * i / kBlackRampSteps})[0];
    // Kept falling, so every lightness has one black amount.
    blackRamp_.push_back(blackRamp_.empty() ? L
                                            : std::min(L, blackRamp_.back() - 1e-9));
  }
  blackPoint_ = blackRamp_.back();

  // The boundary: for each lightness and hue, the largest chroma the solver
  // reaches, found by halving the interval.
  boundary_.assign(kBoundaryLightSteps * kBoundaryHueSteps, 0.0);
  for (int h = 0; h < kBoundaryHueSteps; ++h) {
    const double hue = 360.0 * h / kBoundaryHueSteps;
    Coverage start{0.2, 0.2, 0.2, 0};
    for (int l = 0; l < kBoundaryLightSteps; ++l) {
      const double L = 100.0 * l / (kBoundaryLightSteps - 1);
      if (L < blackPoint_ || L >= 100.0) continue;
      double lo = 0, hi = 150;
      for (int step = 0; step < 10; ++step) {
        const double C = (lo + hi) / 2;
        const host::Lab target = FromLch(L, C, hue);
        double residual;
        const Coverage found =
            SolveFromAnywhere(target, BlackFor(target), start, &residual);
        if (residual < 0.5) {
          lo = C;
          start = found;
        } else {
          hi = C;
        }
      }
      boundary_[l * kBoundaryHueSteps + h] = lo;
    }
  }
}

double GamutMapper::BlackAloneFor(double L) const {
  if (L >= blackRamp_.front()) return 0.0;
  if (L <= blackRamp_.back()) return response_.MaxCoverage(3);
  const auto it =
      std::lower_bound(blackRamp_.begin(), blackRamp_.end(), L, std::greater<double>());
  const size_t i = static_cast<size_t>(it - blackRamp_.begin());
  const double f = (blackRamp_[i - 1] - L) / (blackRamp_[i - 1] - blackRamp_[i]);
  return response_.MaxCoverage(3) * (i - 1 + f) / kBlackRampSteps;
}

double GamutMapper::BlackFor(const host::Lab &target) const {
  // Black prints, alone, the lightness the colour would have if it were
  // lighter by its chroma (times kBlackChromaShare): greys print with black
  // alone (as the grey diagonal does), and the more colourful a tone, the
  // more room black leaves to cyan, magenta and yellow, so that light
  // colours stay free of black dots and dark ones keep their depth. The
  // curve is smooth in lightness and chroma, so the table has no seams.
  return BlackAloneFor(std::min(100.0, target[0] + kBlackChromaShare * Chroma(target)));
}

Coverage GamutMapper::Solve(const host::Lab &target, double black,
                            const Coverage &start, double *residual) const {
  const auto limit = [&](std::array<double, 3> x) {
    for (double &v : x) v = std::clamp(v, 0.0, 1.0);
    const double room = std::max(0.0, settings_.inkLimit - black);
    const double sum = x[0] + x[1] + x[2];
    if (sum > room) {
      for (double &v : x) v *= room / sum;
    }
    return x;
  };
  const auto error = [&](const std::array<double, 3> &x, std::array<double, 3> *r) {
    const host::Lab lab = response_.LabOf({x[0], x[1], x[2], black});
    for (int i = 0; i < 3; ++i) (*r)[i] = lab[i] - target[i];
    return (*r)[0] * (*r)[0] + (*r)[1] * (*r)[1] + (*r)[2] * (*r)[2];
  };
  std::array<double, 3> x = limit({start[0], start[1], start[2]});
  std::array<double, 3> r;
  double e = error(x, &r);
  double lambda = 1e-3;
  for (int it = 0; it < 40 && e > 1e-4; ++it) {
    std::array<std::array<double, 3>, 3> jac;  // jac[i][j] = d r_i / d x_j
    for (int j = 0; j < 3; ++j) {
      std::array<double, 3> xp = x;
      const double h = xp[j] > 0.5 ? -1e-4 : 1e-4;
      xp[j] += h;
      std::array<double, 3> rp;
      error(xp, &rp);
      for (int i = 0; i < 3; ++i) jac[i][j] = (rp[i] - r[i]) / h;
    }
    std::array<std::array<double, 3>, 3> a{};
    std::array<double, 3> g{};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        for (int k = 0; k < 3; ++k) a[i][j] += jac[k][i] * jac[k][j];
      }
      for (int k = 0; k < 3; ++k) g[i] -= jac[k][i] * r[k];
    }
    bool improved = false;
    for (int attempt = 0; attempt < 8 && !improved; ++attempt) {
      auto damped = a;
      for (int i = 0; i < 3; ++i) damped[i][i] += lambda * (a[i][i] + 1e-6);
      std::array<double, 3> step;
      if (!Solve3(damped, g, &step)) {
        lambda *= 10;
        continue;
      }
      const std::array<double, 3> next =
          limit({x[0] + step[0], x[1] + step[1], x[2] + step[2]});
      std::array<double, 3> rn;
      const double en = error(next, &rn);
      if (en < e) {
        x = next;
        r = rn;
        e = en;
        lambda = std::max(lambda / 5, 1e-7);
        improved = true;
      } else {
        lambda *= 6;
      }
    }
    if (!improved) break;
  }
  *residual = std::sqrt(e);
  return {x[0], x[1], x[2], black};
}

double GamutMapper::MaxChroma(double L, double hue) const {
  const double lf = std::clamp(L, 0.0, 100.0) / 100.0 * (kBoundaryLightSteps - 1);
  const int l0 = std::min(static_cast<int>(lf), kBoundaryLightSteps - 2);
  const double fl = lf - l0;
  double hf = std::fmod(hue, 360.0);
  if (hf < 0) hf += 360.0;
  hf = hf / 360.0 * kBoundaryHueSteps;
  const int h0 = static_cast<int>(hf) % kBoundaryHueSteps;
  const int h1 = (h0 + 1) % kBoundaryHueSteps;
  const double fh = hf - std::floor(hf);
  const auto at = [&](int l, int h) { return boundary_[l * kBoundaryHueSteps + h]; };
  return (1 - fl) * ((1 - fh) * at(l0, h0) + fh * at(l0, h1)) +
         fl * ((1 - fh) * at(l0 + 1, h0) + fh * at(l0 + 1, h1));
}

// Black-point compensation below the knee: L* 0 goes to the printer's black
// point, the knee stays, and between them a cubic (Hermite) curve leaves the
// black point with a slope of 0.8 of the straight line's and meets the
// identity at the knee with slope 1, so greys darken smoothly and strictly
// all the way down.
double GamutMapper::MappedLightness(double L) const {
  if (settings_.intent == Intent::kRelativeColorimetric)
    return std::max(L, blackPoint_);
  if (L >= kLightnessKnee) return L;
  const double span = kLightnessKnee - blackPoint_;
  const double x = std::max(L, 0.0) / kLightnessKnee;
  const double m0 = 0.8 * span, m1 = kLightnessKnee;  // slopes in units of the interval
  const double x2 = x * x, x3 = x2 * x;
  return blackPoint_ * (2 * x3 - 3 * x2 + 1) + m0 * (x3 - 2 * x2 + x) +
         kLightnessKnee * (-2 * x3 + 3 * x2) + m1 * (x3 - x2);
}

double GamutMapper::UnmappedLightness(double L) const {
  if (L >= kLightnessKnee) return L;
  double lo = 0, hi = 100;
  for (int i = 0; i < 40; ++i) {
    const double mid = (lo + hi) / 2;
    (MappedLightness(mid) < L ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

host::Lab GamutMapper::Map(const host::Lab &source) const {
  const double L = MappedLightness(source[0]);
  const double C = Chroma(source);
  const double hue = Hue(source);
  if (C < 1e-6) return {L, 0, 0};
  // Along the line from the printer's most colourful lightness on the grey axis
  // through the colour: how far out the colour lies, against how far the
  // printer and sRGB reach along the same line.
  // The anchor is the lightness where the printer's gamut is most
  // colourful at this hue, taken as a weighted mean rather than the single
  // largest chroma, so that it moves smoothly from hue to hue (a jumping
  // anchor would draw seams across a colour wheel).
  double weightedL = 0, weights = 0;
  for (int l = 0; l <= 100; ++l) {
    const double c = MaxChroma(l, hue);
    const double w = c * c * c * c;
    weightedL += w * l;
    weights += w;
  }
  const double cuspL = weights > 0 ? weightedL / weights : 50.0;
  const double dL = L - cuspL;
  const double d = std::hypot(dL, C);
  const double uL = dL / d, uC = C / d;
  const auto printerHolds = [&](double t) {
    const double l = cuspL + t * uL;
    return l >= blackPoint_ && l <= 100 && t * uC <= MaxChroma(l, hue);
  };
  const auto srgbHolds = [&](double t) {
    const double l = cuspL + t * uL;
    if (l < 0 || l > 100) return false;
    return InSrgb(FromLch(UnmappedLightness(l), t * uC, hue));
  };
  const auto reach = [](const auto &holds, double hi) {
    double lo = 0;
    for (int i = 0; i < 24; ++i) {
      const double mid = (lo + hi) / 2;
      (holds(mid) ? lo : hi) = mid;
    }
    return lo;
  };
  const double printerReach = reach(printerHolds, 200);
  const double srgbReach = std::max(reach(srgbHolds, 200), d);
  double mapped = d;
  if (settings_.intent == Intent::kRelativeColorimetric) {
    mapped = std::min(d, printerReach);
  } else if (srgbReach > printerReach && printerReach > 0) {
    // Colours up to the knee stay; beyond it the rest of the sRGB reach is
    // squeezed into the rest of the printer's, along a curve that leaves the
    // knee with slope 1 and arrives exactly at the boundary.
    const double ratio = srgbReach / printerReach;
    const double knee = printerReach * std::max(0.7, 1.0 - 0.3 * (ratio - 1.0));
    if (d > knee) {
      const double u = (d - knee) / (printerReach - knee);
      const double um = (srgbReach - knee) / (printerReach - knee);
      // v(u) = (1 - e^(-a u)) / (1 - e^(-a um)) with v'(0) = 1.
      double lo = 1e-9, hi = 50;
      for (int i = 0; i < 60; ++i) {
        const double a = (lo + hi) / 2;
        (a / (1 - std::exp(-a * um)) < 1.0 ? lo : hi) = a;
      }
      const double a = (lo + hi) / 2;
      mapped = knee +
               (printerReach - knee) * (1 - std::exp(-a * u)) / (1 - std::exp(-a * um));
    }
  }
  const double scale = mapped / d;
  return FromLch(cuspL + dL * scale, C * scale, hue);
}

ColourTable InvertToColourTable(const PrinterResponse &response,
                                const std::vector<uint8_t> &nodes,
                                const std::vector<uint8_t> &values,
                                const InversionSettings &settings) {
  const GamutMapper mapper(response, settings);
  ColourTable table;
  table.nodes = nodes;
  table.kind = 1;
  const size_t n = nodes.size();
  table.levels.resize(n * n * n * 4);
  Coverage previous{0, 0, 0, 0};
  for (size_t r = 0; r < n; ++r) {
    for (size_t g = 0; g < n; ++g) {
      for (size_t b = 0; b < n; ++b) {
        const host::Lab source =
            host::SrgbToLab(values[r] / 255.0, values[g] / 255.0, values[b] / 255.0);
        const host::Lab target = mapper.Map(source);
        const double black = mapper.BlackFor(target);
        double residual;
        const Coverage best = mapper.SolveFromAnywhere(
            target, black, b == 0 ? Coverage{0.2, 0.2, 0.2, 0} : previous, &residual);
        previous = best;
        const size_t at = ((r * n + g) * n + b) * 4;
        for (int k = 0; k < 4; ++k)
          table.levels[at + k] = response.LevelFor(k, best[k]);
      }
    }
  }
  for (uint8_t v : values) {
    const host::Lab grey = mapper.Map(host::SrgbToLab(v / 255.0, v / 255.0, v / 255.0));
    table.neutralBlack.push_back(response.LevelFor(3, mapper.BlackAloneFor(grey[0])));
  }
  return table;
}

}  // namespace inkdot::profile
