/* SPDX-License-Identifier: Apache-2.0 */
// A measured printer from characterisation data: the measured relation from
// ink amounts to colour, carried onto a regular grid of ink amounts so that
// the preview and the profile builder can interpolate it anywhere.
#pragma once

#include <array>
#include <vector>

#include "inkdot/host/printer_model.h"
#include "measurements.h"

namespace inkdot::profile {

// Ink amounts per axis of the grid a measured printer is held on (every
// tenth of full ink).
constexpr int kMeasuredGridSteps = 11;

struct MeasuredFit {
  host::MeasuredGrid grid;
  double meanError = 0;  // mean CIEDE2000 of the grid at the measured patches
  double maxError = 0;
};

// Carries scattered measurements (any well-spread CMYK sample) onto a grid
// of `steps` amounts per ink: a regularised fit (the grid's multilinear
// interpolation passes close to every patch while its second differences
// stay small), made on the measurements' differences from the Neugebauer
// model that fits them best, so that where the patches are sparse (beyond
// their ink limit, say) the grid follows that model's shape.
MeasuredFit FitMeasuredGrid(const std::vector<Measurement> &data, int steps);

// A measured printer sampled from a colour relation given at grid nodes
// (an ICC profile's, say): the relation itself at every node.
host::MeasuredGrid SampledGrid(const std::vector<Measurement> &nodes, int steps);

// The grid's nodes' ink amounts, cyan outermost, black innermost.
std::vector<std::array<double, 4>> GridNodes(int steps);

}  // namespace inkdot::profile
