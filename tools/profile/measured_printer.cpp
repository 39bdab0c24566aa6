// SPDX-License-Identifier: Apache-2.0
#include "measured_printer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace inkdot::profile {
namespace {

// Weight of the second differences against the patches, and the pull of
// unmeasured regions towards the model.
constexpr double kSmoothness = 0.02;
constexpr double kRidge = 1e-4;
constexpr int kMaxIterations = 2000;
constexpr double kLeastFullInk = 0.9;
const char *const kInkNames[4] = {"cyan", "magenta", "yellow", "black"};

using Field = std::vector<double>;  // one value per grid node

// One patch's place among the grid's nodes: its cell's 16 corners and
// their multilinear weights.
using Stencil = host::GridCorners;

// The normal operator of the fit, A x = W'W x + smoothness D'D x + ridge x,
// where W interpolates the grid at the patches and D takes the second
// differences along every axis.
class FitOperator {
 public:
  FitOperator(std::vector<Stencil> stencils, int steps)
      : stencils_(std::move(stencils)), steps_(steps) {
    size_t count = 1;
    for (int k = 0; k < 4; ++k) count *= static_cast<size_t>(steps);
    size_ = count;
  }

  size_t Size() const { return size_; }

  Field Apply(const Field &x) const {
    Field out(size_, 0.0);
    for (const Stencil &s : stencils_) {
      double v = 0;
      for (int c = 0; c < 16; ++c) v += s.weight[c] * x[s.node[c]];
      for (int c = 0; c < 16; ++c) out[s.node[c]] += s.weight[c] * v;
    }
    const size_t n = static_cast<size_t>(steps_);
    size_t stride = 1;
    for (int axis = 3; axis >= 0; --axis) {
      for (size_t i = 0; i < size_; ++i) {
        const size_t along = i / stride % n;
        if (along == 0 || along == n - 1) continue;
        const double d = x[i - stride] - 2 * x[i] + x[i + stride];
        out[i - stride] += kSmoothness * d;
        out[i] -= 2 * kSmoothness * d;
        out[i + stride] += kSmoothness * d;
      }
      stride *= n;
    }
    for (size_t i = 0; i < size_; ++i) out[i] += kRidge * x[i];
    return out;
  }

  Field Project(const std::vector<double> &values) const {
    Field out(size_, 0.0);
    for (size_t p = 0; p < stencils_.size(); ++p) {
      for (int c = 0; c < 16; ++c)
        out[stencils_[p].node[c]] += stencils_[p].weight[c] * values[p];
    }
    return out;
  }

 private:
  std::vector<Stencil> stencils_;
  int steps_;
  size_t size_;
};

double Dot(const Field &a, const Field &b) {
  double s = 0;
  for (size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
  return s;
}

// Conjugate gradients from zero.
Field Solve(const FitOperator &op, const Field &b) {
  Field x(op.Size(), 0.0), r = b, p = b;
  double rr = Dot(r, r);
  const double stop = 1e-20 * std::max(rr, 1e-300);
  for (int it = 0; it < kMaxIterations && rr > stop; ++it) {
    const Field ap = op.Apply(p);
    const double alpha = rr / Dot(p, ap);
    for (size_t i = 0; i < x.size(); ++i) {
      x[i] += alpha * p[i];
      r[i] -= alpha * ap[i];
    }
    const double next = Dot(r, r);
    for (size_t i = 0; i < p.size(); ++i) p[i] = r[i] + next / rr * p[i];
    rr = next;
  }
  return x;
}

}  // namespace

std::vector<std::array<double, 4>> GridNodes(int steps) {
  std::vector<std::array<double, 4>> nodes;
  const double last = steps - 1;
  for (int c = 0; c < steps; ++c)
    for (int m = 0; m < steps; ++m)
      for (int y = 0; y < steps; ++y)
        for (int k = 0; k < steps; ++k)
          nodes.push_back({c / last, m / last, y / last, k / last});
  return nodes;
}

MeasuredFit FitMeasuredGrid(const std::vector<Measurement> &data, int steps) {
  // Beyond the largest amount measured the grid would be a guess.
  for (int k = 0; k < 4; ++k) {
    double most = 0;
    for (const Measurement &m : data) most = std::max(most, m.inks[k]);
    if (most < kLeastFullInk) {
      throw std::runtime_error(std::string("no patch prints ") + kInkNames[k] +
                               " at 90 % or more; the measurements must span each ink");
    }
  }
  double modelError;
  const host::PrinterModel prior = FitPrinterModel(data, {0.4, 0.7, 1.0}, &modelError);
  std::vector<Stencil> stencils;
  std::array<std::vector<double>, 3> residual;
  for (const Measurement &m : data) {
    stencils.push_back(host::MeasuredGridCorners(steps, m.inks));
    const host::Lab model = host::ModelLab(prior, m.inks);
    for (int c = 0; c < 3; ++c) residual[c].push_back(m.lab[c] - model[c]);
  }
  const FitOperator op(std::move(stencils), steps);
  MeasuredFit fit;
  fit.grid.steps = steps;
  for (const auto &node : GridNodes(steps)) fit.grid.lab.push_back(host::ModelLab(prior, node));
  for (int c = 0; c < 3; ++c) {
    const Field correction = Solve(op, op.Project(residual[c]));
    for (size_t i = 0; i < correction.size(); ++i) fit.grid.lab[i][c] += correction[i];
  }
  for (host::Lab &lab : fit.grid.lab) {
    lab[0] = std::clamp(lab[0], 0.0, 100.0);
    for (int c = 1; c < 3; ++c) lab[c] = std::clamp(lab[c], -200.0, 200.0);
  }
  for (const Measurement &m : data) {
    const double e = host::DeltaE2000(host::MeasuredLab(fit.grid, m.inks), m.lab);
    fit.meanError += e;
    fit.maxError = std::max(fit.maxError, e);
  }
  fit.meanError /= static_cast<double>(data.size());
  return fit;
}

host::MeasuredGrid SampledGrid(const std::vector<Measurement> &nodes, int steps) {
  host::MeasuredGrid grid;
  grid.steps = steps;
  if (nodes.size() != GridNodes(steps).size())
    throw std::runtime_error("a sampled grid needs one colour per node");
  for (const Measurement &m : nodes) grid.lab.push_back(m.lab);
  return grid;
}

}  // namespace inkdot::profile
