#pragma once

#include <windows.h>

#include <mftransform.h>

#include "base/status.h"
#include "platform/com_ref_win.h"

namespace orvane {

// Activates the best H.264 or HEVC encoder transform of one kind (hardware, or software
// synchronous) by the enumeration's own order. On failure `status` says why.
bool ActivateEncoderTransform(bool hevc, bool hardware, ComRef<IMFTransform>& transform,
                              Status& status);

}  // namespace orvane
