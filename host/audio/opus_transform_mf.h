#pragma once

#include <memory>

#include "audio/opus_transform.h"

namespace orvane {

// The Media Foundation Opus encoder transform: PCM in, one Opus packet per block out,
// stamped with the block's own timestamp and duration. Only one output is asked for per
// block; anything more the transform holds comes out on later blocks.
std::unique_ptr<OpusTransform> CreateMfOpusTransform();

}  // namespace orvane
