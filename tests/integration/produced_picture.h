#pragma once

#include <cstdint>
#include <vector>

#include "support/pipewire_test_producer.h"
#include "video/screen_capturer.h"

namespace orvane::testing {

// Captures with `capturer` until a picture arrives, sending `picture` (a whole new one of
// `width` x `height`) from `producer` whenever its stream is linked, since a buffer queued as
// a stream starts may be lost. The picture that arrived, empty after 15 s; a capturer that
// gives up fails the test.
std::vector<uint8_t> CaptureProducedPicture(ScreenCapturer& capturer,
                                            PipeWireTestProducer& producer,
                                            const std::vector<uint8_t>& picture, uint32_t width,
                                            uint32_t height);

}  // namespace orvane::testing
