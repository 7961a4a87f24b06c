#include "app/library_log_bridges.h"

namespace orvane {

void InstallLibraryLogBridges() {
  InstallProtobufLogBridge();
  InstallLibavLogBridge();
  InstallGlibLogBridge();
}

}  // namespace orvane
