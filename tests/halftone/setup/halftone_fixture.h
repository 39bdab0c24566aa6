// Resources written byte by byte from their formats, a colour-matching
// result over a small test-owned table, and a fixture for the object.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "halftone/setup/halftone_context.h"
#include "support/test_platform.h"

namespace inkdot::testing {

using Bytes = std::vector<uint8_t>;

// Big-endian ids, then the end mark.
inline Bytes IdList(std::initializer_list<uint16_t> ids) {
  Bytes out;
  for (uint16_t id : ids) out.insert(out.end(), {uint8_t(id >> 8), uint8_t(id & 0xFF)});
  out.insert(out.end(), {0xFF, 0xFF});
  return out;
}

// 0, 8, 16, ..., 240, 255.
inline Bytes EvenPositions() {
  Bytes out(32, 255);
  for (int k = 0; k < 31; ++k) out[k] = uint8_t(8 * k);
  return out;
}

// Little-endian point count, then the positions.
inline Bytes GridResource(const Bytes &positions, uint16_t count) {
  Bytes out(2 + positions.size());
  out[0] = uint8_t(count & 0xFF), out[1] = uint8_t(count >> 8);
  std::memcpy(out.data() + 2, positions.data(), positions.size());
  return out;
}

// Coded sides, two unread bytes, then `entries` little-endian thresholds
// (i * step) mod 2^16.
inline Bytes MatrixResource(uint8_t width, uint8_t height, uint32_t entries, uint32_t step) {
  Bytes out = {width, height, 0x5A, 0x5A};
  for (uint32_t i = 0; i < entries; ++i) out.insert(out.end(), {uint8_t(i * step), uint8_t(i * step >> 8)});
  return out;
}

// Selector record: length, type, then little-endian 16-bit fields from
// byte 6 on (type 3 also gets the signature at 8).
inline Bytes Selector(int32_t length, int16_t type, std::initializer_list<uint16_t> fields) {
  Bytes out(28, 0x33);
  for (int b = 0; b < 4; ++b) out[b] = uint8_t(uint32_t(length) >> (8 * b));
  out[4] = uint8_t(type), out[5] = uint8_t(uint16_t(type) >> 8);
  if (type == 3) out[8] = 0xFB, out[9] = 0x69, out[10] = 0xF7, out[11] = 0xDD;
  size_t at = type == 3 ? 16 : 6;
  for (uint16_t f : fields) out[at++] = uint8_t(f), out[at++] = uint8_t(f >> 8);
  return out;
}

// Palette whose entry p is (p / 3, p / 3, the rest): it sums to p.
inline Bytes SumPalette() {
  Bytes out;
  for (int p = 0; p < 256; ++p) out.insert(out.end(), {uint8_t(p / 3), uint8_t(p / 3), uint8_t(p - 2 * (p / 3))});
  return out;
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
  template <typename T = uint8_t>
  const T *Block(int b) const { return static_cast<const T *>(ht_->blocks[b].pointer); }
  bool NoBlocksHeld() const {
    for (const MemoryBlock &block : ht_->blocks) {
      if (block.handle != 0) return false;
    }
    return true;
  }

  Bytes list_ = IdList({10, 11, 12, 13, 14, 15});
  Bytes grid_ = GridResource(EvenPositions(), 32);
  Bytes matrix_ = MatrixResource(64, 64, 4096, 1237);  // 1237 is odd: ranks 0..4095
  Bytes palette_ = SumPalette();
  Bytes selector_ = Selector(4, 1, {900});

  PlatformGuard guard_;
  HalftoneParams page_{};
  CmLut lut_{};
  Bytes source_;
  HalftoneContext *ht_ = nullptr;
  int32_t next_ = 55;
};

}  // namespace inkdot::testing
