#pragma once

#include <windows.h>

#include <mfobjects.h>
#include <mftransform.h>

#include <functional>

#include "base/status.h"
#include "platform/com_ref_win.h"

namespace orvane {

// An activated encoder and, when it came from one, the activation object that keeps a
// hardware session open until ShutdownObject.
struct ActivatedEncoder {
  ComRef<IMFTransform> transform;
  ComRef<IMFActivate> activation;
};

// Finds and activates an encoder transform of one kind; on failure `status` says why.
using EncoderTransformSource =
    std::function<bool(bool hevc, bool hardware, ActivatedEncoder& encoder, Status& status)>;

// Activates the best H.264 or HEVC encoder transform of one kind (hardware, or software
// synchronous) by the enumeration's own order. On failure `status` says why.
bool ActivateEncoderTransform(bool hevc, bool hardware, ActivatedEncoder& encoder, Status& status);

}  // namespace orvane
