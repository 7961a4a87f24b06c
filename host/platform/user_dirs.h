#pragma once

#include <filesystem>
#include <string_view>

namespace orvane {

// The download folder that the text of a user-dirs.dirs file names in its
// XDG_DOWNLOAD_DIR line ("$HOME/..." or an absolute path, shell-quoted), with $HOME
// standing for `home`; empty when the text names none.
std::filesystem::path DownloadDirFromUserDirs(std::string_view text,
                                              const std::filesystem::path& home);

}  // namespace orvane
