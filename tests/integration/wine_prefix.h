#pragma once

#include <filesystem>
#include <string>

namespace orvane::testing {

// The cross build scripts/build.sh makes beside the Linux one.
inline const std::filesystem::path kWindowsBuild = ORVANE_WINDOWS_BUILD_DIR;
std::filesystem::path WindowsHostBinary();

// Why the Windows host (and `also_needed`, if given) cannot run under wine here, or empty.
std::string WhatWineHostLacks(const std::filesystem::path& also_needed = {});

// Points this process's wine (and the programs it starts) at WinePrefix(), quietly.
void UseWinePrefix();

// The wine prefix scripts/test.sh prepares: $ORVANE_DEPS_CACHE/wineprefix, by default
// under ~/.cache/orvane-deps.
std::filesystem::path WinePrefix();

// The Windows host's own folder (CSIDL_APPDATA\OrvaneDisplay) in that prefix, for the
// first user that has one; empty when none has.
std::filesystem::path WineHostFolder();

// Forgets what earlier runs of the Windows host left in the prefix: trust list, codes, logs.
void RemoveWineHostState();

}  // namespace orvane::testing
