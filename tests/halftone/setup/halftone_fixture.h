/* SPDX-License-Identifier: Apache-2.0 */
// Resources for the halftone object, a colour-matching result over a small
// test-owned table, and a fixture for the object.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "halftone/halftone_context.h"
#include "halftone/setup/halftone_setup.h"
#include "inkdot/formats/colour_table.h"
#include "inkdot/formats/halftone_resources.h"
#include "support/test_platform.h"

namespace inkdot::testing {

namespace write = formats::write;

using Bytes = std::vector<uint8_t>;

inline Bytes IdList(std::initializer_list<uint16_t> ids) { return write::WriteResourceIdList({ids}); }

// 0, 8, 16, ..., 240, 255.
inline Bytes EvenPositions() {
  Bytes out(32, 255);
  for (int k = 0; k < 31; ++k) out[k] = uint8_t(8 * k);
  return out;
}

// `entries` thresholds (i * step) mod 2^16: with an odd step and a power of
// two entries they are each rank once.
inline Bytes MatrixResource(uint32_t width, uint32_t height, uint32_t entries, uint32_t step) {
  write::ThresholdMatrix matrix{width, height, {}};
  for (uint32_t i = 0; i < entries; ++i) matrix.thresholds.push_back(uint16_t(i * step));
  return write::WriteThresholdMatrix(matrix);
}

// Entry p is (p / 3, p / 3, the rest): it sums to p.
inline write::DotPalette SumPalette() {
  write::DotPalette palette;
  for (int p = 0; p < 256; ++p) palette.levels[p] = {uint8_t(p / 3), uint8_t(p / 3), uint8_t(p - 2 * (p / 3))};
  return palette;
}

class HalftoneSetupTest : public ::testing::Test {
 protected:
  HalftoneSetupTest() {
    page_ = HalftoneParams{1, 0, 2, 1, 720, 720, 2, 0, 0, 100, 0};
    SetSourceGrid({0, 128, 255}, 4);
    lut_.inkLoadLight = 250;
    lut_.inkLoadDark = 100;
    lut_.halftoneResourceId = 700;
    for (int v = 0; v < 256; ++v) lut_.grayToBlack[v] = uint8_t(255 - v);
    lut_.selectorRecord = selector_.data();
  }
  ~HalftoneSetupTest() override {
    if (ht_ != nullptr) {
      EXPECT_EQ(DeleteHalftoneContext(ht_), kOk);
    }
    EXPECT_EQ(LiveAllocations(), 0);
  }

  // n^3 points of `channels` bytes that differ from point to point.
  void SetSourceGrid(const Bytes &positions, int channels) {
    const int n = int(positions.size());
    lut_.gridSize1 = lut_.gridSize2 = lut_.gridSize3 = n;
    for (uint8_t *nodes : {lut_.nodes1, lut_.nodes2, lut_.nodes3}) std::memcpy(nodes, positions.data(), n);
    lut_.channelCount = channels;
    source_.resize(size_t(n * n * n * channels));
    for (size_t i = 0; i < source_.size(); ++i) source_[i] = uint8_t((i * 97 + 13) % 251);
    lut_.tableData = source_.data();
    lut_.tableHandle = 0x1234;
  }

  // Creates the object (deleting any earlier one) and feeds it the first
  // `calls` resources of list, grid, matrix, palette; answers the last code.
  ResultCode Run(int calls) {
    if (ht_ != nullptr) {
      EXPECT_EQ(DeleteHalftoneContext(ht_), kOk);
    }
    ht_ = nullptr;
    int32_t firstId = 0;
    EXPECT_EQ(NewHalftoneContext(&page_, &lut_, 0, &firstId, &ht_), kOk);
    ResultCode result = kOk;
    const Bytes *resources[4] = {&list_, &grid_, &matrix_, &palette_};
    for (int i = 0; i < calls && result == kOk; ++i) result = Feed(*resources[i]);
    return result;
  }
  ResultCode Feed(const Bytes &resource) { return SetHalftoneResource(ht_, resource.data(), &next_); }
  bool NoBlocksHeld() const {
    for (const MemoryBlock &block : ht_->blocks) {
      if (block.handle != 0) return false;
    }
    return true;
  }

  Bytes list_ = IdList({10, 11, 12, 13, 14, 15});
  Bytes grid_ = write::WriteGridResource({EvenPositions()});
  Bytes matrix_ = MatrixResource(64, 64, 4096, 1237);  // 1237 is odd: ranks 0..4095
  Bytes palette_ = write::WriteDotPalette(SumPalette());
  Bytes selector_ = write::WriteSelectorRecord(write::SinglePaletteSelector{900});

  PlatformGuard guard_;
  HalftoneParams page_{};
  CmLut lut_{};
  Bytes source_;
  HalftoneContext *ht_ = nullptr;
  int32_t next_ = 55;
};

}  // namespace inkdot::testing
