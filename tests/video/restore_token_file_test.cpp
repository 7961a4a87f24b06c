#include "video/restore_token_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/temp_folder.h"

namespace orvane {
namespace {

TEST(RestoreTokenFileTest, EachStartReplacesTheTokenAndAnEmptyOneRemovesIt) {
  testing::TempFolder folder;
  const auto file = folder / "screencast-restore-token";
  EXPECT_EQ(ReadRestoreToken(file), "");
  EXPECT_TRUE(WriteRestoreToken(file, "6f1c2a4e-first"));
  EXPECT_EQ(ReadRestoreToken(file), "6f1c2a4e-first");
  EXPECT_TRUE(WriteRestoreToken(file, "second"));
  EXPECT_EQ(ReadRestoreToken(file), "second");
  EXPECT_FALSE(std::filesystem::exists(folder / "screencast-restore-token.tmp"));
  EXPECT_TRUE(WriteRestoreToken(file, ""));
  EXPECT_FALSE(std::filesystem::exists(file));
}

// What the file holds goes to the desktop: anything but a plausible token stays home.
TEST(RestoreTokenFileTest, AFileWithoutAPlausibleTokenGivesNone) {
  testing::TempFolder folder;
  const auto file = folder / "token";
  const struct {
    std::string text;
    std::string token;
  } cases[] = {
      {"abc\n", "abc"},
      {"abc", "abc"},
      {"two words\n", ""},
      {"\n", ""},
      {std::string("a\0b", 3), ""},
      {std::string(512, 'x'), std::string(512, 'x')},
      {std::string(513, 'x'), ""},
      {"caf\xc3\xa9", ""},
  };
  for (const auto& c : cases) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.text;
    EXPECT_EQ(ReadRestoreToken(file), c.token) << c.text;
  }
  EXPECT_FALSE(WriteRestoreToken(file, "two words"));
}

}  // namespace
}  // namespace orvane
