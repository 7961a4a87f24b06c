#include "services/safe_file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane {
namespace {

TEST(SafeFileNameTest, ReplacesSeparatorsForbiddenCharactersAndControlBytes) {
  const struct {
    std::string requested;
    std::string stored;
  } cases[] = {
      {"a/b:c?.txt", "a_b_c_.txt"},
      {"..\\..\\evil.exe", ".._.._evil.exe"},
      {"x*\"<>|y", "x_____y"},
      {std::string("nul\0byte", 8), "nul_byte"},
      {"line\nbreak\x1b\x7f.txt", "line_break__.txt"},
      {".hidden", ".hidden"},
      {"name.", "name."},
      {"r\xC3\xA9sum\xC3\xA9.pdf", "r\xC3\xA9sum\xC3\xA9.pdf"},
      {"CONSOLE.txt", "CONSOLE.txt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SafeFileName(c.requested), c.stored) << c.requested;
  }
}

TEST(SafeFileNameTest, RefusesNamesThatAreNoFileInTheFolder) {
  for (const char* requested :
       {"", ".", "..", "...", ". .", "  ", "CON", "nul.txt", "Com1", "lpt9.tar.gz", "AUX .log"}) {
    EXPECT_EQ(SafeFileName(requested), std::nullopt) << requested;
  }
}

}  // namespace
}  // namespace orvane
