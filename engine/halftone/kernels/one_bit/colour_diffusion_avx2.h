/* SPDX-License-Identifier: Apache-2.0 */
// The diffused inks of the fast one-bit colour diffusion kernels on their
// vector paths: inks 0, 1 and 3 in lanes 0, 1 and 2 of one 128-bit vector,
// so that the per-pixel work (activity, error read, threshold, dot, error)
// is done once for all three, and the run's three error lines interleaved
// into one window of 16-byte cells, so that each tap of the narrow filters
// (the classes most pixels take) is one vector add. The wide filters of
// the dotted inks at or below T0 (a few per cent of the pixels) are
// applied in lanes too, on the window. The cells and dots are those of
// DiffusedColourInks, pixel for pixel.
//
// Called block by block (64 pixels) by the vector front in the order of the
// run; Finish() writes the last cells back to the error lines. Only for
// processors with AVX2.
#pragma once

#include <cstdint>

#include "halftone/kernels/one_bit/colour_inks.h"
#include "halftone/kernels/one_bit/diffusion_filters.h"

namespace inkdot {

template <class Filters>
class DiffusedColourLanes {
 public:
  // Cells a pixel's filter may reach on either side (the 1440 x 720
  // filters reach 21 to the left and 23 to the right).
  static constexpr int32_t kReach = 24;
  static constexpr int32_t kBlockPixels = 64;
  // The window: kReach cells and more before the block, the block, after it.
  static constexpr int32_t kWindowCells = 2 * kBlockPixels;
  static constexpr int32_t kLead = 32;

  DiffusedColourLanes(const DiffusedColourInks<Filters, false> &inks, uint32_t startX,
                      uint32_t count);

  // The dots of a block of `pixels` pixels from column x0 (bit j of dots[p]
  // for the j-th diffused ink of pixel p): Block gives each pixel's white
  // bit, matrix value and the smoothing's x and carry words, and takes the
  // smoothed levels in y (inks 0, 1, 3 and 2 in bytes 0, 2, 4 and 6). The
  // smoothing runs in the loop over the pixels: as a pass of its own, its
  // chain of three operations a pixel held up the block.
  template <class Block>
  void Dots(Block &block, uint32_t pixels, uint32_t x0, uint8_t *dots) {
    Pixels({block.x, block.carry, block.y}, block.matrix, block.entries, block.white, pixels,
           static_cast<int32_t>(x0), dots);
  }

  // Writes the window's cells back to the error lines.
  void Finish();

 private:
  // The smoothing's inputs and its output, the levels, per pixel.
  struct Smoothing {
    const uint64_t *x, *carry;
    uint64_t *y;
  };
  // `entries`: the pixels' colour-table entries (inks 0, 1 and 3 in bytes
  // 0, 1 and 3), for the blocks where every diffused ink stays active.
  void Pixels(const Smoothing &smoothing, const uint32_t *matrix, const uint32_t *entries,
              uint64_t white, uint32_t pixels, int32_t x0, uint8_t *dots);
  struct Block {
    Smoothing smoothing;
    const uint32_t *matrix;
    uint64_t white;
    uint32_t pixels;
    int32_t x0;
    uint8_t *dots;
  };
  // The block's pixels. kAllActive: no diffused ink's level is zero on
  // the block's printed pixels, so that every ink stays active and the
  // activity registers need no update pixel by pixel.
  template <bool kAllActive>
  void Run(const Block &block);
  // Columns [from, to) between the window and the error lines, those
  // outside the run's reach left alone (zero in the window).
  void LoadColumns(int32_t from, int32_t to);
  void StoreColumns(int32_t from, int32_t to) const;
  int32_t *Cell(int32_t column) { return cells_[column - windowStart_]; }
  const int32_t *Cell(int32_t column) const { return cells_[column - windowStart_]; }

  alignas(32) int32_t cells_[kWindowCells][4];
  alignas(16) int32_t carry_[4] = {0, 0, 0, 0};
  alignas(16) int32_t activity_[4];
  uint64_t smoothed_ = 0;  // the last smoothed levels
  // Per level, the dot curve less the level (a pixel dots where its cell's
  // error, cell >> 5, reaches this plus the threshold offset) and the tone
  // beside it, so that one 8-byte load per ink reads both.
  struct ReachTone {
    int32_t reach, tone;
  };
  alignas(8) ReachTone reachTones_[256];
  int32_t *lines_[3];
  FilterLimits limits_;
  int32_t windowStart_;  // the column of cells_[0]
  int32_t first_, end_;  // the columns the run's filters reach
};

}  // namespace inkdot
