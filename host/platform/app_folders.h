#pragma once

#include <filesystem>

namespace orvane {

// Per-user folder for persistent host state (trusted devices, the open pairing code).
// Created if missing; empty when the user's folders cannot be determined.
std::filesystem::path AppDataFolder();

// Per-user folder for the daily log files. Created if missing; empty when unknown.
std::filesystem::path AppLogFolder();

// The folder received files are stored in: "OrvaneDisplay" in the user's download
// folder, created (that one level only) on every lookup; "." when the user's folders
// cannot be found.
std::filesystem::path DownloadFolder();

}  // namespace orvane
