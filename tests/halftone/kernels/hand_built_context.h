// A halftone object assembled by hand for the kernel tests: zero-filled,
// its blocks taken from the memory layer, tables filled with small known
// values by each test. Output goes to four planes of 16 bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/row_kernels.h"
#include "support/test_platform.h"

namespace inkdot {

class HandBuiltContext {
 public:
  static constexpr uint32_t kStride = 16;

  HandBuiltContext(uint32_t matrixWidth, uint32_t matrixHeight,
                   uint32_t maxPixels = 64)
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

  template <class T>
  T *Block(int index) { return static_cast<T *>(ht->blocks[index].pointer); }
  uint16_t *Matrix() { return Block<uint16_t>(kThresholdMatrixBlock); }
  uint32_t *ColourTable() { return Block<uint32_t>(kColorTableBlock); }
  uint16_t *GreyCurve() { return Block<uint16_t>(kColorTableBlock); }
  uint16_t *Levels() { return Block<uint16_t>(kLevelScaleBlock); }
  int16_t *DotCurve() { return Block<int16_t>(kDotCurveBlock); }
  uint8_t *Grid() { return Block<uint8_t>(kGridIndexBlock); }
  uint8_t *Palette() { return Block<uint8_t>(kDotPaletteBlock); }
  int32_t *Line(int k) { return ErrorLineColumns(ht.get(), k); }

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

  // Grey curve padded by `pad` around the identity: level = value when the
  // jitter is pad / 2.
  void SetGreyCurve(uint16_t pad) {
    uint16_t *curve = GreyCurve();
    curve[0] = pad;
    for (int i = 0; i < pad + 256; ++i) {
      const int level = i - pad / 2;
      curve[1 + i] = static_cast<uint16_t>(level < 0 ? 0 : level > 255 ? 255 : level);
    }
  }

  ResultCode Run(RowKernel kernel, const std::vector<uint8_t> &src,
                 uint32_t count, uint32_t startX = 0, uint32_t row = 0,
                 uint32_t firstBit = 0) {
    RowRun run{src.data(), planes[0], kStride, firstBit, count, startX, 0, row,
               0, 0};
    return kernel(ht.get(), run);
  }
  ResultCode Run(RowKernel kernel, const RowRun &run) { return kernel(ht.get(), run); }

  // The two-bit code of pixel i of plane k (counted from the plane's start).
  uint32_t Code(int k, int i) const {
    return (planes[k][i / 4] >> (6 - 2 * (i % 4))) & 3;
  }

  // Cells x - 30 .. x + 30 of line k that differ from the expected values
  // (every cell not listed is expected 0), as "offset:value" failures.
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
