#pragma once

namespace orvane {

// Libraries that would print on the process's console by themselves write through the
// host's logger instead: in its format, into its file, under its limits, each line named
// after its library ("[libprotobuf] ..."). Installed once, first thing at start-up.
void InstallLibraryLogBridges();

// The bridges, one a library; InstallLibraryLogBridges calls those of the platform.
void InstallProtobufLogBridge();
void InstallLibavLogBridge();
void InstallGlibLogBridge();

}  // namespace orvane
