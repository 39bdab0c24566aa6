// SPDX-License-Identifier: Apache-2.0
// The selector record that a colour table carries is copied for the
// halftone side, which reads up to 24 bytes of it whatever its stored
// length: a short record must still leave 24 readable bytes (found by the
// engine fuzzer, an overread under AddressSanitizer).
#include <gtest/gtest.h>

#include <vector>

#include "colour/cm_context.h"
#include "colour/colour_table.h"
#include "inkdot/formats/colour_table.h"
#include "support/test_platform.h"

namespace inkdot {

namespace write = formats::write;

namespace {

using Bytes = std::vector<uint8_t>;

TEST(SelectorCopy, ShortRecordsArePaddedWithZerosToTheLongestRecord) {
  for (const Bytes &record : {Bytes{4, 0, 0, 0, 1, 0}, Bytes{9}, Bytes(30, 7)}) {
    testing::PlatformGuard guard;
    CmParams params{};
    params.neutralBalance = 50;
    HalftoneParams page{};
    page.inputFormat = 2, page.colorMode = 1;
    int32_t nextId = 0;
    CmContext *cm = nullptr;
    ASSERT_EQ(NewCmContext(&params, &page, &nextId, &cm), kOk);
    cm->matchedId = 4000, cm->matchedNext = 310;
    write::ColourTable table;
    table.channelCount = 4;
    table.nodes1 = table.nodes2 = table.nodes3 = write::EvenNodes(2);
    table.grid.assign(2 * 2 * 2 * 4, 100);
    table.neutralBlack = {0, 255};
    table.selector = record;
    const Bytes resource = write::WriteColourTable(table);
    ASSERT_EQ(DecodeColourTable(cm, resource.data()), kOk);

    Bytes expected = record;
    if (expected.size() < 24) expected.resize(24, 0);
    const uint8_t *copy = cm->lut->selectorRecord;
    EXPECT_EQ(Bytes(copy, copy + expected.size()), expected);
    EXPECT_EQ(DeleteCmContext(cm), kOk);
    EXPECT_EQ(testing::LiveAllocations(), 0);
  }
}

}  // namespace
}  // namespace inkdot
