// SPDX-License-Identifier: Apache-2.0
#include "measurements.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "inkdot/host/system_errors.h"

namespace inkdot::profile {
namespace {

struct It8Closer {
  void operator()(void *h) const { cmsIT8Free(static_cast<cmsHANDLE>(h)); }
};
using It8 = std::unique_ptr<void, It8Closer>;

void IgnoreLcmsError(cmsContext, cmsUInt32Number, const char *) {}

const char *const kInkFields[4] = {"CMYK_C", "CMYK_M", "CMYK_Y", "CMYK_K"};

It8 NewSheet(const char *type, const std::vector<const char *> &fields,
             size_t patches) {
  It8 it8(cmsIT8Alloc(nullptr));
  if (!it8) throw std::runtime_error("cannot allocate a CGATS sheet");
  cmsIT8SetSheetType(it8.get(), type);
  cmsIT8SetPropertyStr(it8.get(), "ORIGINATOR", "inkdot");
  cmsIT8SetPropertyDbl(it8.get(), "NUMBER_OF_FIELDS",
                       static_cast<double>(fields.size()));
  cmsIT8SetPropertyDbl(it8.get(), "NUMBER_OF_SETS", static_cast<double>(patches));
  for (size_t i = 0; i < fields.size(); ++i)
    cmsIT8SetDataFormat(it8.get(), static_cast<int>(i), fields[i]);
  return it8;
}

void Save(const It8 &it8, const std::filesystem::path &path) {
  if (!cmsIT8SaveToFile(it8.get(), path.string().c_str())) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

std::array<double, 16> DemichelWeights(const std::array<double, 4> &a) {
  std::array<double, 16> w{};
  for (int i = 0; i < 16; ++i) {
    double v = 1;
    for (int k = 0; k < 4; ++k) v *= (i >> k & 1) ? a[k] : 1 - a[k];
    w[i] = v;
  }
  return w;
}

// Solves the symmetric system m x = b (16 unknowns) by Gaussian elimination.
std::array<double, 16> Solve16(std::array<std::array<double, 16>, 16> m,
                               std::array<double, 16> b) {
  for (int c = 0; c < 16; ++c) {
    int p = c;
    for (int r = c + 1; r < 16; ++r) {
      if (std::abs(m[r][c]) > std::abs(m[p][c])) p = r;
    }
    std::swap(m[c], m[p]);
    std::swap(b[c], b[p]);
    if (std::abs(m[c][c]) < 1e-12)
      throw std::runtime_error(
          "the measurements do not determine every ink combination");
    for (int r = 0; r < 16; ++r) {
      if (r == c) continue;
      const double f = m[r][c] / m[c][c];
      for (int k = c; k < 16; ++k) m[r][k] -= f * m[c][k];
      b[r] -= f * b[c];
    }
  }
  std::array<double, 16> x;
  for (int i = 0; i < 16; ++i) x[i] = b[i] / m[i][i];
  return x;
}

}  // namespace

std::vector<std::array<double, 4>> TargetPatches(double inkLimit) {
  std::vector<std::array<double, 4>> patches;
  constexpr int kSteps = 5;
  for (int c = 0; c < kSteps; ++c) {
    for (int m = 0; m < kSteps; ++m) {
      for (int y = 0; y < kSteps; ++y) {
        for (int k = 0; k < kSteps; ++k) {
          const std::array<double, 4> p{c / 4.0, m / 4.0, y / 4.0, k / 4.0};
          if (p[0] + p[1] + p[2] + p[3] <= inkLimit + 1e-9) patches.push_back(p);
        }
      }
    }
  }
  for (int k = 0; k < 4; ++k) {
    for (int s = 1; s < 20; ++s) {
      if (s % 5 == 0) continue;  // on the grid already
      std::array<double, 4> p{};
      p[k] = s / 20.0;
      patches.push_back(p);
    }
  }
  for (int s = 1; s < 20 && 3 * s / 20.0 <= inkLimit + 1e-9; ++s) {
    if (s % 5 != 0) patches.push_back({s / 20.0, s / 20.0, s / 20.0, 0});
  }
  return patches;
}

void WriteTargetCgats(const std::filesystem::path &path,
                      const std::vector<std::array<double, 4>> &patches) {
  cmsSetLogErrorHandler(IgnoreLcmsError);
  It8 it8 = NewSheet("CGATS.17", {"SAMPLE_ID", "CMYK_C", "CMYK_M", "CMYK_Y", "CMYK_K"},
                     patches.size());
  for (size_t i = 0; i < patches.size(); ++i) {
    const std::string id = std::to_string(i + 1);
    cmsIT8SetDataRowCol(it8.get(), static_cast<int>(i), 0, id.c_str());
    for (int k = 0; k < 4; ++k)
      cmsIT8SetDataRowColDbl(it8.get(), static_cast<int>(i), k + 1,
                             patches[i][k] * 100);
  }
  Save(it8, path);
}

void WriteMeasurementsCgats(const std::filesystem::path &path,
                            const std::vector<Measurement> &data) {
  cmsSetLogErrorHandler(IgnoreLcmsError);
  It8 it8 = NewSheet(
      "CGATS.17",
      {"SAMPLE_ID", "CMYK_C", "CMYK_M", "CMYK_Y", "CMYK_K", "LAB_L", "LAB_A", "LAB_B"},
      data.size());
  for (size_t i = 0; i < data.size(); ++i) {
    const int row = static_cast<int>(i);
    cmsIT8SetDataRowCol(it8.get(), row, 0, std::to_string(i + 1).c_str());
    for (int k = 0; k < 4; ++k)
      cmsIT8SetDataRowColDbl(it8.get(), row, k + 1, data[i].inks[k] * 100);
    for (int c = 0; c < 3; ++c)
      cmsIT8SetDataRowColDbl(it8.get(), row, c + 5, data[i].lab[c]);
  }
  Save(it8, path);
}

std::vector<Measurement> ReadMeasurementsCgats(const std::filesystem::path &path) {
  cmsSetLogErrorHandler(IgnoreLcmsError);
  const std::string name = path.string();
  // Read capped: a device or a huge file must not be taken whole.
  constexpr uint64_t kMaxCgatsBytes = 64ull << 20;
  std::vector<uint8_t> text = host::ReadCappedFile(path, kMaxCgatsBytes, "CGATS measurements");
  It8 it8(text.empty() ? nullptr
                       : cmsIT8LoadFromMem(nullptr, text.data(),
                                           static_cast<cmsUInt32Number>(text.size())));
  if (!it8) throw std::runtime_error(name + ": not a readable CGATS file");
  const auto column = [&](const char *field) {
    return cmsIT8FindDataFormat(it8.get(), field);
  };
  int inks[4];
  for (int k = 0; k < 4; ++k) {
    inks[k] = column(kInkFields[k]);
    if (inks[k] < 0)
      throw std::runtime_error(name + ": no " + kInkFields[k] + " field");
  }
  const int lab[3] = {column("LAB_L"), column("LAB_A"), column("LAB_B")};
  const int xyz[3] = {column("XYZ_X"), column("XYZ_Y"), column("XYZ_Z")};
  const bool hasLab = lab[0] >= 0 && lab[1] >= 0 && lab[2] >= 0;
  if (!hasLab && (xyz[0] < 0 || xyz[1] < 0 || xyz[2] < 0)) {
    throw std::runtime_error(
        name + ": neither LAB_L/LAB_A/LAB_B nor XYZ_X/XYZ_Y/XYZ_Z fields");
  }
  const int rows = static_cast<int>(cmsIT8GetPropertyDbl(it8.get(), "NUMBER_OF_SETS"));
  if (rows < 16)
    throw std::runtime_error(name + ": too few patches (" + std::to_string(rows) + ")");
  std::vector<Measurement> data;
  std::vector<host::Xyz> colours;
  int paper = -1;
  for (int r = 0; r < rows; ++r) {
    Measurement m;
    for (int k = 0; k < 4; ++k) {
      const double v = cmsIT8GetDataRowColDbl(it8.get(), r, inks[k]);
      if (!(v >= 0 && v <= 100)) {
        throw std::runtime_error(name + ": patch " + std::to_string(r + 1) + ": " +
                                 kInkFields[k] + " outside 0..100");
      }
      m.inks[k] = v / 100;
    }
    host::Xyz colour;
    if (hasLab) {
      colour = host::LabToXyz({cmsIT8GetDataRowColDbl(it8.get(), r, lab[0]),
                               cmsIT8GetDataRowColDbl(it8.get(), r, lab[1]),
                               cmsIT8GetDataRowColDbl(it8.get(), r, lab[2])});
    } else {
      for (int c = 0; c < 3; ++c)
        colour[c] = cmsIT8GetDataRowColDbl(it8.get(), r, xyz[c]) / 100;
    }
    if (m.inks == std::array<double, 4>{} && paper < 0) paper = r;
    data.push_back(m);
    colours.push_back(colour);
  }
  if (paper < 0) throw std::runtime_error(name + ": no patch without ink (the paper)");
  // Relative to the paper: each channel scaled so the paper is the D50 white.
  const host::Xyz white = host::LabToXyz({100, 0, 0});
  for (size_t i = 0; i < data.size(); ++i) {
    host::Xyz relative;
    for (int c = 0; c < 3; ++c)
      relative[c] = colours[i][c] * white[c] / colours[paper][c];
    data[i].lab = host::XyzToLab(relative);
  }
  return data;
}

host::PrinterModel FitPrinterModel(const std::vector<Measurement> &data,
                                   const std::array<double, 3> &dotCoverage,
                                   double *meanError) {
  if (data.size() < 16)
    throw std::runtime_error("at least 16 measured patches are needed");
  host::PrinterModel best;
  double bestError = 1e300;
  for (int step = 0; step <= 30; ++step) {
    const double n = 1.0 + step * 0.1;
    std::array<std::array<double, 16>, 16> normal{};
    std::array<std::array<double, 16>, 3> rhs{};
    for (const Measurement &m : data) {
      const std::array<double, 16> w = DemichelWeights(m.inks);
      const host::Xyz xyz = host::LabToXyz(m.lab);
      for (int i = 0; i < 16; ++i) {
        for (int j = 0; j < 16; ++j) normal[i][j] += w[i] * w[j];
        for (int c = 0; c < 3; ++c)
          rhs[c][i] += w[i] * std::pow(std::max(xyz[c], 0.0), 1 / n);
      }
    }
    for (int i = 0; i < 16; ++i) normal[i][i] += 1e-9;
    host::PrinterModel model;
    model.yuleNielsen = n;
    model.dotCoverage = dotCoverage;
    std::array<std::array<double, 16>, 3> terms;
    for (int c = 0; c < 3; ++c) terms[c] = Solve16(normal, rhs[c]);
    for (int i = 0; i < 16; ++i) {
      host::Xyz xyz;
      for (int c = 0; c < 3; ++c) xyz[c] = std::pow(std::max(terms[c][i], 1e-6), n);
      model.primaries[i] = host::XyzToLab(xyz);
      model.primaries[i][0] = std::clamp(model.primaries[i][0], 0.0, 100.0);
    }
    double error = 0;
    for (const Measurement &m : data)
      error += host::DeltaE2000(host::ModelLab(model, m.inks), m.lab);
    error /= static_cast<double>(data.size());
    if (error < bestError) {
      bestError = error;
      best = model;
    }
  }
  *meanError = bestError;
  return best;
}

}  // namespace inkdot::profile
