#include "app/library_log_bridges.h"

namespace orvane {

// The Windows build links no other library that prints on its own.
void InstallLibraryLogBridges() {
  InstallProtobufLogBridge();
}

}  // namespace orvane
