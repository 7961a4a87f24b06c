#include "base/utf8_path.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane {
namespace {

// Text reaches the file system unchanged when it is UTF-8; every byte that is not part of
// a well-formed sequence becomes U+FFFD ("\xEF\xBF\xBD") on both platforms alike.
TEST(Utf8PathTest, ValidTextRoundTripsAndInvalidBytesBecomeReplacements) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  struct Case {
    const char* label;
    std::string text;
    std::string path;
  };
  const Case cases[] = {
      {"ascii", "notes.txt", "notes.txt"},
      {"two to four bytes", "J\xC3\xBCrgen \xE7\x94\xA8\xE6\x88\xB7 \xF0\x9F\x93\x81",
       "J\xC3\xBCrgen \xE7\x94\xA8\xE6\x88\xB7 \xF0\x9F\x93\x81"},
      {"lone continuation byte", "a\x80z", "a" + kReplacement + "z"},
      {"overlong form", "\xC0\xAF", kReplacement + kReplacement},
      {"surrogate", "\xED\xA0\x80", kReplacement + kReplacement + kReplacement},
      {"above U+10FFFF", "\xF4\x90\x80\x80",
       kReplacement + kReplacement + kReplacement + kReplacement},
      {"cut short at the end", "ok\xE7\x94", "ok" + kReplacement + kReplacement},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Utf8FromPath(PathFromUtf8(c.text)), c.path);
  }
}

}  // namespace
}  // namespace orvane
