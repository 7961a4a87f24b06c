#pragma once

#include <windows.h>

#include <filesystem>

namespace orvane {

// A shell folder by CSIDL into a buffer of MAX_PATH wide characters, as SHGetFolderPathW
// answers it; tests answer with folders of their own.
using ShellFolderLookup = HRESULT (*)(int csidl, wchar_t* path);

// The folders of app_folders.h under the folders `lookup` names.
std::filesystem::path AppDataFolder(ShellFolderLookup lookup);
std::filesystem::path AppLogFolder(ShellFolderLookup lookup);
std::filesystem::path DownloadFolder(ShellFolderLookup lookup);

}  // namespace orvane
