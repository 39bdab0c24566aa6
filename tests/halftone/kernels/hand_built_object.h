// A halftone object built by hand for the row-kernel tests: zero-filled, its
// blocks allocated through the memory layer and filled with small tables.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/memory_blocks.h"
#include "halftone/kernels/error_lines.h"
#include "halftone/kernels/row_kernels.h"
#include "support/test_platform.h"

namespace inkdot::testing {

class HandBuiltObject {
 public:
  explicit HandBuiltObject(uint32_t maxPixels)
      : ht_(std::make_unique<HalftoneContext>()) {
    ht_->params.maxPixels = maxPixels;
    ht_->replication = 1;
    ht_->setupComplete = 1;  // the tests fill in what each kernel reads
  }
  ~HandBuiltObject() { MemoryBlocksFree(ht_->blocks); }

  HalftoneContext *get() { return ht_.get(); }
  HalftoneContext *operator->() { return ht_.get(); }

  // A zero-filled block of at least `entries` values of T.
  template <class T>
  T *Table(int block, uint32_t entries) {
    MemoryBlock &b = ht_->blocks[block];
    if (b.pointer != nullptr && b.size < entries * sizeof(T)) {
      MemRelease(b.handle);
      b = MemoryBlock{};
    }
    if (b.pointer == nullptr) {
      EXPECT_EQ(MemoryBlockAlloc(&b, entries * sizeof(T), 1), kOk);
    }
    return static_cast<T *>(b.pointer);
  }
  void SetMatrix(uint32_t width, uint32_t height, const std::vector<uint16_t> &values) {
    ht_->matrixWidth = width;
    ht_->matrixHeight = height;
    ht_->matrixSize = width * height;
    std::memcpy(Table<uint16_t>(kThresholdMatrixBlock, width * height), values.data(),
                values.size() * 2);
  }
  uint16_t *LevelScale() { return Table<uint16_t>(kLevelScaleBlock, 256); }
  int16_t *GreyLevels() { return Table<int16_t>(kColorTableBlock, 256); }
  uint32_t *ColourTable(uint32_t entries) {
    return Table<uint32_t>(kColorTableBlock, entries);
  }
  uint8_t *GridIndex() { return Table<uint8_t>(kGridIndexBlock, 512); }
  int16_t *DotCurve() { return Table<int16_t>(kDotCurveBlock, 256); }
  uint16_t *ToneCurve() { return Table<uint16_t>(kToneCurveBlock, 256); }
  void AddErrorLines(uint32_t count) {
    const uint32_t bytes = ((ht_->params.maxPixels * 4 + 240 - 1) & ~3u) + 4;
    for (uint32_t k = 0; k < count; ++k) Table<uint8_t>(kErrorLineBlock + k, bytes);
    ht_->errorLineCount = count;
  }
  int32_t *Line(int k) { return ErrorLineColumns(ht_.get(), k); }

 private:
  std::unique_ptr<HalftoneContext> ht_;
};

inline RowRun MakeRun(const void *src, uint8_t *dst, uint32_t count,
                      uint32_t startX = 0, uint32_t row = 0, uint32_t firstBit = 0,
                      uint32_t planeStride = 0) {
  return {static_cast<const uint8_t *>(src),
          dst,
          planeStride,
          firstBit,
          count,
          startX,
          0,
          row,
          0,
          0};
}

// The first `pixels` bits of a plane, most significant first, as '0'/'1'.
inline std::string Bits(const uint8_t *plane, uint32_t pixels) {
  std::string s;
  for (uint32_t i = 0; i < pixels; ++i)
    s += (plane[i / 8] & (0x80 >> (i % 8))) ? '1' : '0';
  return s;
}

}  // namespace inkdot::testing
