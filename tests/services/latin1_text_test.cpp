#include "services/latin1_text.h"

#include <gtest/gtest.h>

namespace orvane::testing {
namespace {

TEST(Latin1TextTest, ConvertsBothWays) {
  struct Case {
    std::string utf8;
    std::string latin1;
  };
  const std::vector<Case> cases = {
      {"plain ascii", "plain ascii"},
      {"caf\xC3\xA9 \xC3\xBF", "caf\xE9 \xFF"},
      {"\xC2\xA0", "\xA0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToLatin1(c.utf8), c.latin1);
    EXPECT_EQ(Latin1ToUtf8(c.latin1), c.utf8);
  }
}

TEST(Latin1TextTest, WhatLatin1CannotHoldBecomesAQuestionMark) {
  struct Case {
    std::string utf8;
    std::string latin1;
  };
  const std::vector<Case> cases = {
      {"\xE2\x82\xAC"
       "5",
       "?5"},                         // U+20AC
      {"a\xF0\x9F\x98\x80z", "a?z"},  // U+1F600
      {"\xC3", "?"},                  // cut short
      {"\xC3(", "?("},                // no continuation
      {"\x80\xBF", "??"},             // stray continuations
      {"\xC0\xAF", "??"},             // overlong
      {"\xE2\x82", "??"},             // cut short in three
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToLatin1(c.utf8), c.latin1) << c.latin1;
  }
}

}  // namespace
}  // namespace orvane::testing
