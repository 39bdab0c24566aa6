// SPDX-License-Identifier: Apache-2.0
// The digest the scenario pages are compared by: if it missed bytes, the
// page digests would compare equal while proving little.
#include <gtest/gtest.h>

#include "digest.h"

namespace inkdot::scenario {
namespace {

TEST(ScenarioDigest, MatchesPublishedFnv1aVectors) {
  Digest empty;
  EXPECT_EQ(empty.Hex(), "cbf29ce484222325");
  Digest a;
  a.AddBytes("a", 1);
  EXPECT_EQ(a.Hex(), "af63dc4c8601ec8c");
  Digest foobar;
  foobar.AddBytes("foobar", 6);
  EXPECT_EQ(foobar.value(), 0x85944171f73967e8u);
}

TEST(ScenarioDigest, WordsGoInLeastSignificantByteFirst) {
  Digest bytes;
  bytes.AddBytes("abcd", 4);
  Digest word;
  word.AddWord(0x64636261u);  // 'd' 'c' 'b' 'a'
  EXPECT_EQ(word.value(), bytes.value());
}

}  // namespace
}  // namespace inkdot::scenario
