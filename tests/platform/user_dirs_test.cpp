#include "platform/user_dirs.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(UserDirsTest, FindsTheDownloadFolderLine) {
  const std::filesystem::path home = "/home/ada";
  const struct {
    const char* text;
    std::filesystem::path folder;
  } cases[] = {
      {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
       "XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n",
       home / "Fetched"},
      {"XDG_DOWNLOAD_DIR=\"/data/incoming\"", "/data/incoming"},
      {"  XDG_DOWNLOAD_DIR=\"$HOME/My \\\"Files\\\"\"\n", home / "My \"Files\""},
      {"XDG_DOWNLOAD_DIR=\"$HOME/\"\n", home},
      {"XDG_DOWNLOAD_DIR=\"$HOME/a\"\nXDG_DOWNLOAD_DIR=\"$HOME/b\"\n", home / "b"},
      // Nothing usable: no line, a relative path, no quotes, an unclosed quote, $HOMEX.
      {"XDG_MUSIC_DIR=\"$HOME/Music\"\n", {}},
      {"XDG_DOWNLOAD_DIR=\"Downloads\"\n", {}},
      {"XDG_DOWNLOAD_DIR=$HOME/Downloads\n", {}},
      {"XDG_DOWNLOAD_DIR=\"$HOME/Downloads\n", {}},
      {"XDG_DOWNLOAD_DIR=\"$HOMEX/Downloads\"\n", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DownloadDirFromUserDirs(c.text, home), c.folder) << c.text;
  }
}

}  // namespace
}  // namespace orvane
