// SPDX-License-Identifier: Apache-2.0
#include "blue_noise_matrix.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "inkdot/formats/halftone_resources.h"

namespace inkdot::profile {
namespace {

// splitmix64: a small, fully specified generator, so that the same seed
// gives the same matrix on every platform and standard library.
uint64_t NextRandom(uint64_t &state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Gaussian filter on the torus, tabulated once as integers so that the
// energy sums are exact and independent of the order of updates.
struct Kernel {
  int radiusX = 0;
  int radiusY = 0;
  std::vector<int32_t> weights;  // (2 radiusY + 1) rows of (2 radiusX + 1)

  int32_t At(int dx, int dy) const {
    return weights[static_cast<size_t>((dy + radiusY) * (2 * radiusX + 1) + dx + radiusX)];
  }
};

Kernel MakeKernel(double horizontalStretch) {
  constexpr double kSigma = 1.5;  // in vertical pixel pitches
  const double sigmaX = kSigma * horizontalStretch;
  const double sigmaY = kSigma;
  Kernel kernel;
  kernel.radiusX = static_cast<int>(std::ceil(3.5 * sigmaX));
  kernel.radiusY = static_cast<int>(std::ceil(3.5 * sigmaY));
  for (int dy = -kernel.radiusY; dy <= kernel.radiusY; ++dy) {
    for (int dx = -kernel.radiusX; dx <= kernel.radiusX; ++dx) {
      const double e = (dx * dx) / (2 * sigmaX * sigmaX) + (dy * dy) / (2 * sigmaY * sigmaY);
      kernel.weights.push_back(static_cast<int32_t>(std::lround(65536.0 * std::exp(-e))));
    }
  }
  return kernel;
}

// A tournament tree over the pixels that finds the pixel with the highest
// score (ties: the lowest index). Pixels outside the tracked set score
// the lowest value and are never chosen while a tracked pixel exists.
class ExtremumTree {
 public:
  explicit ExtremumTree(int leaves) : leaves_(leaves), score_(leaves), best_(2 * leaves) {}

  void Set(int leaf, int64_t score) { score_[leaf] = score; }

  void Rebuild() {
    for (int i = 0; i < leaves_; ++i) best_[leaves_ + i] = i;
    for (int n = leaves_ - 1; n >= 1; --n) best_[n] = Better(best_[2 * n], best_[2 * n + 1]);
  }

  // Recomputes the ancestors of the leaves lo..hi (inclusive).
  void Refresh(int lo, int hi) {
    lo += leaves_;
    hi += leaves_;
    while (lo > 1) {
      lo >>= 1;
      hi >>= 1;
      for (int n = lo; n <= hi; ++n) best_[n] = Better(best_[2 * n], best_[2 * n + 1]);
    }
  }

  int Top() const { return best_[1]; }

 private:
  int Better(int a, int b) const {
    if (score_[b] > score_[a] || (score_[b] == score_[a] && b < a)) return b;
    return a;
  }

  int leaves_;
  std::vector<int64_t> score_;
  std::vector<int> best_;
};

constexpr int64_t kUntracked = std::numeric_limits<int64_t>::min();

// The binary pattern, the filtered energy of its ones at every pixel, and
// the two searches of the method: the tightest cluster (the one with the
// highest energy) and the largest void (the zero with the lowest energy).
class Pattern {
 public:
  Pattern(int width, int height, const Kernel &kernel)
      : width_(width), height_(height), kernel_(kernel), ones_(width * height, 0),
        energy_(width * height, 0), cluster_(width * height), void_(width * height) {}

  void Load(const std::vector<uint8_t> &ones) {
    ones_ = ones;
    std::fill(energy_.begin(), energy_.end(), 0);
    for (int i = 0; i < width_ * height_; ++i) {
      if (ones_[i]) AddEnergy(i, +1);
    }
    for (int i = 0; i < width_ * height_; ++i) SetScores(i);
    cluster_.Rebuild();
    void_.Rebuild();
  }

  const std::vector<uint8_t> &Ones() const { return ones_; }
  int TightestCluster() const { return cluster_.Top(); }
  int LargestVoid() const { return void_.Top(); }

  void Flip(int pixel) {
    ones_[pixel] ^= 1;
    AddEnergy(pixel, ones_[pixel] ? +1 : -1);
    const int x0 = pixel % width_;
    const int y0 = pixel / width_;
    for (int dy = -kernel_.radiusY; dy <= kernel_.radiusY; ++dy) {
      const int y = (y0 + dy + height_) % height_;
      const int first = (x0 - kernel_.radiusX + width_) % width_;
      const int last = (x0 + kernel_.radiusX) % width_;
      for (int dx = -kernel_.radiusX; dx <= kernel_.radiusX; ++dx) {
        SetScores(y * width_ + (x0 + dx + width_) % width_);
      }
      if (first <= last) {
        RefreshRange(y * width_ + first, y * width_ + last);
      } else {  // the footprint wraps around the right edge
        RefreshRange(y * width_ + first, y * width_ + width_ - 1);
        RefreshRange(y * width_, y * width_ + last);
      }
    }
  }

 private:
  void AddEnergy(int pixel, int sign) {
    const int x0 = pixel % width_;
    const int y0 = pixel / width_;
    for (int dy = -kernel_.radiusY; dy <= kernel_.radiusY; ++dy) {
      const int row = ((y0 + dy + height_) % height_) * width_;
      for (int dx = -kernel_.radiusX; dx <= kernel_.radiusX; ++dx) {
        energy_[row + (x0 + dx + width_) % width_] += sign * kernel_.At(dx, dy);
      }
    }
  }

  void SetScores(int pixel) {
    cluster_.Set(pixel, ones_[pixel] ? energy_[pixel] : kUntracked);
    void_.Set(pixel, ones_[pixel] ? kUntracked : -energy_[pixel]);
  }

  void RefreshRange(int lo, int hi) {
    cluster_.Refresh(lo, hi);
    void_.Refresh(lo, hi);
  }

  int width_;
  int height_;
  const Kernel &kernel_;
  std::vector<uint8_t> ones_;
  std::vector<int64_t> energy_;
  ExtremumTree cluster_;
  ExtremumTree void_;
};

bool IsPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

std::vector<uint16_t> MakeBlueNoiseMatrix(const BlueNoiseSpec &shape) {
  if (!IsPowerOfTwo(shape.width) || !IsPowerOfTwo(shape.height) || shape.width < 16 ||
      shape.height < 16 || shape.width > 256 || shape.height > 256) {
    throw std::runtime_error("threshold matrix sides must be powers of two from 16 to 256");
  }
  const Kernel kernel = MakeKernel(shape.horizontalStretch);
  if (2 * kernel.radiusX >= shape.width || 2 * kernel.radiusY >= shape.height) {
    throw std::runtime_error("threshold matrix too small for its filter");
  }
  const int size = shape.width * shape.height;
  Pattern pattern(shape.width, shape.height, kernel);

  // Initial pattern: a tenth of the pixels at random...
  std::vector<uint8_t> seedOnes(size, 0);
  uint64_t state = shape.seed;
  int placed = 0;
  while (placed < size / 10) {
    const int pixel = static_cast<int>(NextRandom(state) % static_cast<uint64_t>(size));
    if (!seedOnes[pixel]) {
      seedOnes[pixel] = 1;
      ++placed;
    }
  }
  pattern.Load(seedOnes);
  // ...then moved from the tightest cluster to the largest void until the
  // pixel taken out is the one that would be put back.
  for (int step = 0; step < size; ++step) {
    const int cluster = pattern.TightestCluster();
    pattern.Flip(cluster);
    const int gap = pattern.LargestVoid();
    if (gap == cluster) {
      pattern.Flip(cluster);
      break;
    }
    pattern.Flip(gap);
  }
  const std::vector<uint8_t> prototype = pattern.Ones();

  std::vector<uint16_t> ranks(size, 0);
  // Ranks below the prototype's count: take out the tightest cluster each
  // time, so the last dots removed (the lowest ranks) are the most spread.
  int rank = placed;
  while (rank > 0) {
    const int cluster = pattern.TightestCluster();
    pattern.Flip(cluster);
    ranks[cluster] = static_cast<uint16_t>(--rank);
  }
  // Ranks from the prototype's count up: fill the largest void each time.
  // Past half the pixels the largest void is also the tightest cluster of
  // the zeros, because the filtered energies of ones and zeros add up to a
  // constant on the torus.
  pattern.Load(prototype);
  for (rank = placed; rank < size; ++rank) {
    const int gap = pattern.LargestVoid();
    pattern.Flip(gap);
    ranks[gap] = static_cast<uint16_t>(rank);
  }
  return ranks;
}

Bytes EncodeMatrixResource(int width, int height, const std::vector<uint16_t> &ranks) {
  if (width < 1 || height < 1) throw std::runtime_error("matrix side has no coding");
  return formats::write::WriteThresholdMatrix(
      {static_cast<uint32_t>(width), static_cast<uint32_t>(height), ranks});
}

}  // namespace inkdot::profile
