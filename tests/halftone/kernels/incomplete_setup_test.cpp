// SPDX-License-Identifier: Apache-2.0
// Band calls on objects whose set-up never completed: each is refused with
// 768 and leaves the output untouched, whatever state the set-up stopped in.
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
  // One run of 16 pixels into four planes of sentinel bytes.
  ResultCode Band(std::vector<uint8_t> *planes) {
    const std::vector<uint8_t> src(16 * 8, 0x80);
    planes->assign(4 * 8, 0xA5);
    return HalftoneRun(ht_, src.data(), planes->data(), 8, 0, 16, 0, 0, 0, 0, 0);
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
    page_ = HalftoneParams{1, 0, 2, 1, 720, 720, 2, 0, 0, 100, 0};
    list_ = IdList({10, 11, 12, 13, 14, 15});
    grid_ = write::WriteGridResource({EvenPositions()});
    matrix_ = MatrixResource(64, 64, 4096, 1237);
    palette_ = write::WriteDotPalette(SumPalette());
    selector_ = write::WriteSelectorRecord(write::SinglePaletteSelector{900});
    lut_.selectorRecord = selector_.data();
    lut_.inkLoadLight = 250;
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

}  // namespace
}  // namespace inkdot::testing
