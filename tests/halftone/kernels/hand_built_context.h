// A halftone object assembled by hand for the kernel tests: zero-filled,
// its blocks taken from the memory layer, tables filled with small known
// values by each test. Output goes to four planes of 16 bytes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/row_kernels.h"
#include "support/test_platform.h"

namespace inkdot {

class HandBuiltContext {
 public:
  static constexpr uint32_t kStride = 16;

  HandBuiltContext(uint32_t matrixWidth, uint32_t matrixHeight, uint32_t maxPixels = 64)
      : ht(std::make_unique<HalftoneContext>()) {
    ht->params.dotMode = 2;
    ht->params.maxPixels = maxPixels;
    ht->matrixWidth = matrixWidth;
    ht->matrixHeight = matrixHeight;
    ht->matrixSize = matrixWidth * matrixHeight;
    Alloc(kColorTableBlock, 32768 * 4);
    for (int k = 0; k < 4; ++k) Alloc(kErrorLineBlock + k, maxPixels * 4 + 240);
    Alloc(kThresholdMatrixBlock, ht->matrixSize * 2);
    Alloc(kLevelScaleBlock, 512 * 2);
    Alloc(kDotCurveBlock, 256 * 2);
    Alloc(kGridIndexBlock, 512);
    Alloc(kDotPaletteBlock, 768);
    std::memset(planes, 0, sizeof planes);
  }
  ~HandBuiltContext() { EXPECT_EQ(MemoryBlocksFree(ht->blocks), kOk); }

  template <class T = uint8_t>
  T *Block(int index) {
    return static_cast<T *>(ht->blocks[index].pointer);
  }
  uint16_t *Matrix() { return Block<uint16_t>(kThresholdMatrixBlock); }
  uint16_t *Levels() { return Block<uint16_t>(kLevelScaleBlock); }
  int16_t *DotCurve() { return Block<int16_t>(kDotCurveBlock); }
  int32_t *Line(int k) { return ErrorLineColumns(ht.get(), k); }
  void ClearLines() {
    for (int k = 0; k < 4; ++k)
      std::memset(Line(k) - kErrorMargin, 0, ht->blocks[1 + k].size);
  }

  void FillMatrix(uint16_t value) {
    for (uint32_t i = 0; i < ht->matrixSize; ++i) Matrix()[i] = value;
  }

  // Palette entry p as the colour kernels see it.
  void SetEntry(uint32_t p, uint32_t small, uint32_t total, uint32_t large,
                uint32_t medium, uint32_t screen, int16_t curve) {
    ht->paletteAmounts[p] = small | total << 16;
    ht->paletteLimits[p] = large | medium << 16;
    ht->paletteTotals[p] = screen;
    DotCurve()[p] = curve;
  }

  // Colour: channel value v lies on grid point v / 8 with weight 255, which
  // no threshold below 255 moves to the next point.
  void GridOnEighths() {
    for (int v = 0; v < 256; ++v) {
      Block(kGridIndexBlock)[2 * v] = static_cast<uint8_t>(v >> 3);
      Block(kGridIndexBlock)[2 * v + 1] = 255;
    }
  }
  uint32_t &Entry(int i0, int i1, int i2) {
    return Block<uint32_t>(kColorTableBlock)[i0 * 1024 + i1 * 32 + i2];
  }

  // Grey curve padded by `pad` around the identity: level = value when the
  // jitter is pad / 2.
  void SetGreyCurve(uint16_t pad) {
    auto *curve = Block<uint16_t>(kColorTableBlock);
    curve[0] = pad;
    for (int i = 0; i < pad + 256; ++i) {
      const int level = i - pad / 2;
      curve[1 + i] = static_cast<uint16_t>(level < 0 ? 0 : level > 255 ? 255 : level);
    }
  }

  ResultCode Run(RowKernel kernel, const std::vector<uint8_t> &src, uint32_t count,
                 uint32_t startX = 0, uint32_t row = 0, uint32_t firstBit = 0) {
    RowRun run{src.data(), planes[0], kStride, firstBit, count, startX, 0, row, 0, 0};
    return kernel(ht.get(), run);
  }
  ResultCode Run(RowKernel kernel, const RowRun &run) { return kernel(ht.get(), run); }

  // The two-bit code of pixel i of plane k (counted from the plane's start).
  uint32_t Code(int k, int i) const {
    return (planes[k][i / 4] >> (6 - 2 * (i % 4))) & 3;
  }

  // Leftmost and rightmost cells around x that hold error.
  std::pair<int, int> Reach(int k, int x) {
    int lo = 99, hi = -99;
    for (int d = -30; d <= 30; ++d) {
      if (Line(k)[x + d] != 0) lo = std::min(lo, d), hi = std::max(hi, d);
    }
    return {lo, hi};
  }

  // Expects cells x - 30 .. x + 30 of line k to hold the listed values (0
  // where none is listed).
  void ExpectCells(int k, int x, const std::map<int, int32_t> &expected) {
    for (int d = -30; d <= 30; ++d) {
      const auto it = expected.find(d);
      const int32_t want = it == expected.end() ? 0 : it->second;
      EXPECT_EQ(Line(k)[x + d], want) << "cell at offset " << d;
    }
  }

  std::unique_ptr<HalftoneContext> ht;
  uint8_t planes[4][kStride];

 private:
  void Alloc(int index, uint32_t size) {
    ASSERT_EQ(MemoryBlockAlloc(&ht->blocks[index], size, 1), kOk);
  }
};

// Weights of a filter row times e, as the cells expect them.
inline std::map<int, int32_t> Times(int32_t e, const std::map<int, int32_t> &w) {
  std::map<int, int32_t> out;
  for (const auto &[k, weight] : w) out[k] = weight * e;
  return out;
}

}  // namespace inkdot
