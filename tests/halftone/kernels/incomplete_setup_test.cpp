// SPDX-License-Identifier: Apache-2.0
// Band calls the dispatcher refuses, leaving the output untouched: on
// objects whose set-up never completed (768, whatever state the set-up
// stopped in), and replicated runs that the row buffer cannot serve (518).
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "halftone/kernels/dispatcher.h"
#include "halftone/setup/halftone_fixture.h"

namespace inkdot::testing {
namespace {

class IncompleteSetupTest : public HalftoneSetupTest {
 protected:
  // Creates the object and feeds up to `calls` of list, grid, matrix,
  // palette while the object asks for more, also after a failed call (a
  // host that ignores results). Answers HalftoneNew's result.
  ResultCode Prepare(int calls) {
    if (ht_ != nullptr) {
      EXPECT_EQ(DeleteHalftoneContext(ht_), kOk);
    }
    ht_ = nullptr;
    int32_t firstId = 0;
    const ResultCode created = NewHalftoneContext(&page_, &lut_, 0, &firstId, &ht_);
    next_ = firstId;
    const Bytes *resources[4] = {&list_, &grid_, &matrix_, &palette_};
    for (int i = 0; i < calls && next_ != -1; ++i) Feed(*resources[i]);
    return created;
  }
  // One run of `count` two-bit pixels into four planes of sentinel bytes.
  ResultCode Band(std::vector<uint8_t> *planes, uint32_t count = 16) {
    const std::vector<uint8_t> src(count * 8, 0x80);
    const uint32_t stride = (2 * count + 7) / 8 + 4;  // 8 bytes for 16 pixels
    planes->assign(4 * stride, 0xA5);
    return HalftoneRun(ht_, src.data(), planes->data(), stride, 0, count, 0, 0, 0, 0, 0);
  }
  void Reset(uint32_t inputFormat, int32_t magnification) {
    page_ = HalftoneParams{1, 0, inputFormat, 1, 720, 720, 2, magnification, 0, 100, 0};
    list_ = IdList({10, 11, 12, 13, 14, 15});
    grid_ = write::WriteGridResource({EvenPositions()});
    matrix_ = MatrixResource(64, 64, 4096, 1237);
    palette_ = write::WriteDotPalette(SumPalette());
    selector_ = write::WriteSelectorRecord(write::SinglePaletteSelector{900});
    lut_.selectorRecord = selector_.data();
    lut_.inkLoadLight = 250;
  }
};

TEST_F(IncompleteSetupTest, BandCallsAreRefusedUntilTheSetUpCompletes) {
  struct Case {
    const char *state;
    std::function<void()> change;
    int calls;
    ResultCode expected;
  };
  auto dotMode = [this](uint32_t mode) {
    return [this, mode] { page_.dotMode = mode; };
  };
  auto none = [] {};
  const std::vector<Case> cases = {
      {"complete, multi-size dots", none, 4, kOk},
      {"complete, single-size dots", dotMode(1), 3, kOk},
      {"no resource yet", none, 0, kBadResource},
      {"empty id list", [this] { list_ = IdList({}); }, 4, kBadResource},
      {"id list only", none, 1, kBadResource},
      {"up to the grid", dotMode(1), 2, kBadResource},
      {"no palette yet", none, 3, kBadResource},
      {"grid refused, host went on",
       [this] { grid_[0] = 31; }, 4, kBadResource},
      {"matrix of height 0",
       [this] { matrix_[1] = 0; }, 4, kBadResource},
      {"no dot parameters for the ink load",
       [this] {
         page_.dotMode = 1;
         lut_.inkLoadLight = 300;
       },
       3, kBadResource},
      {"palette refused",
       [this] { palette_[3 * 7] = 255; },
       4, kBadResource},
      {"selector without a palette",
       [this] {
         selector_ = write::WriteSelectorRecord(
             write::InputPaletteSelector{.colourPaletteId = -1});
         lut_.selectorRecord = selector_.data();
       },
       4, kBadResource},
      {"parameters refused by HalftoneNew",
       [this] { page_.inputFormat = 3; }, 4, kBadResource},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.state);
    Reset(2, 0);
    c.change();
    Prepare(c.calls);
    std::vector<uint8_t> planes;
    // The kernel is chosen once, by the call that completes the set-up.
    EXPECT_EQ(ht_->rowKernel, c.expected == kOk ? ChooseRowKernel(ht_) : nullptr);
    EXPECT_EQ(Band(&planes), c.expected);
    if (c.expected != kOk) {
      EXPECT_EQ(planes, std::vector<uint8_t>(4 * 8, 0xA5)) << "output written";
      // The run checks still come first.
      EXPECT_EQ(HalftoneRun(ht_, planes.data(), planes.data(), 8, 0, 101, 0, 0, 0, 0, 0),
                kRunTooLong);
      EXPECT_EQ(HalftoneRun(ht_, planes.data(), planes.data(), 8, 0, 1, 0, 0, 0, 1, 0),
                kBadReservedA);
    }
  }
}

// A replicated row is prepared in a buffer of maxPixels source pixels,
// and the colour kernels read 4 bytes a pixel: with 3-byte pixels only
// runs that prepare up to three quarters of maxPixels (100 here) fit.
TEST_F(IncompleteSetupTest, ReplicatedThreeBytePixelsStopWhereTheRowBufferEnds) {
  struct Case {
    uint32_t inputFormat;
    int32_t magnification;
    uint32_t count;
    ResultCode expected;
  };
  const Case cases[] = {
      {2, 2, 75, kOk},            // 75 prepared pixels, 300 of 300 bytes
      {2, 2, 76, kRunTooLong},    // one more is 4 bytes past the end
      {5, 4, 76, kRunTooLong},    // the other 3-byte format alike
      {2, 3, 100, kOk},           // pairs: 100 output pixels prepare 50
      {2, 5, 99, kOk},            // an odd last pixel prepares one of its own
      {4, 2, 100, kOk},           // 4-byte pixels fill the buffer exactly
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "format " << c.inputFormat << ", magnification "
                                      << c.magnification << ", " << c.count << " pixels");
    Reset(c.inputFormat, c.magnification);
    ASSERT_EQ(Prepare(4), kOk);
    std::vector<uint8_t> planes;
    EXPECT_EQ(Band(&planes, c.count), c.expected);
    if (c.expected != kOk) {
      EXPECT_EQ(planes, std::vector<uint8_t>(planes.size(), 0xA5)) << "output written";
    }
  }
}

}  // namespace
}  // namespace inkdot::testing
