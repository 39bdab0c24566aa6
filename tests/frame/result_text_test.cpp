// SPDX-License-Identifier: Apache-2.0
// The header's wording of result codes: every code the library returns has
// its own sentence, and anything else is called unknown.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "inkdot/inkdot.h"

namespace {

TEST(ResultText, EveryCodeHasItsOwnSentence) {
  const ResultCode codes[] = {INKDOT_OK,           INKDOT_ALLOC_FAILED,   INKDOT_LOCK_FAILED,
                              INKDOT_UNLOCK_FAILED, INKDOT_FREE_FAILED,    INKDOT_NO_KERNEL,
                              INKDOT_BAD_PARAMS,    INKDOT_BAD_TABLE,      INKDOT_BAD_RESERVED,
                              INKDOT_RUN_TOO_LONG,  INKDOT_BAD_RESERVED_A, INKDOT_BAD_RESERVED_B,
                              INKDOT_BAD_RESOURCE,  INKDOT_BAD_PALETTE};
  std::set<std::string> seen;
  for (ResultCode code : codes) {
    const std::string text = InkdotResultText(code);
    EXPECT_NE(text, "unknown result code") << code;
    EXPECT_TRUE(seen.insert(text).second) << "shared wording for " << code;
  }
}

TEST(ResultText, CodesTheLibraryNeverReturnsAreUnknown) {
  for (ResultCode code : {1u, 256u, 261u, 516u, 769u, 0xFFFFFFFFu}) {
    EXPECT_STREQ(InkdotResultText(code), "unknown result code") << code;
  }
}

}  // namespace
