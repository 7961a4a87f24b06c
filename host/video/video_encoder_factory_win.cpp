#include "video/video_encoder_factory.h"

namespace orvane {

// The Media Foundation encoder is not part of the Windows build yet; until it is, a
// stream start reports that no video encoder is available.
std::unique_ptr<VideoEncoder> CreateVideoEncoder() {
  return nullptr;
}

}  // namespace orvane
