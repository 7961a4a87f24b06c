#pragma once

#include <windows.h>

#include <mfidl.h>

#include <cstdint>

#include "platform/com_ref_win.h"
#include "video/encoder_input.h"

namespace orvane {

// Progressive video of width × height at fps:1 with square pixels, the attributes both
// of an encoder's types carry, with the colour of the host's pictures (kNv12Colour).
struct EncoderPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t fps = 0;
};

// The compressed type: H.264 or HEVC at a mean bitrate, asking for low latency. No
// profile, level, GOP or B-frame attribute: the encoder's defaults apply.
HRESULT CreateEncoderOutputType(bool hevc, const EncoderPicture& picture, uint32_t bitrate_kbps,
                                ComRef<IMFMediaType>& type);

// Writes the colour of the host's pictures into a compressed type, such as one the
// encoder proposes.
HRESULT SetEncodedColour(IMFMediaType& type);

// One uncompressed type the encoder may accept (no stride attribute).
HRESULT CreateEncoderInputType(EncoderInputFormat format, const EncoderPicture& picture,
                               ComRef<IMFMediaType>& type);

}  // namespace orvane
