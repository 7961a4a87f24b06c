#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
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

// A desktop that stands still, on a thread of its own: once `producer`'s stream is linked
// it sends `picture` (a whole new one of `width` x `height`) `times` times, three seconds
// apart (a buffer queued as a stream starts may be lost), and then nothing. Stops when
// destroyed.
class StillDesktop {
 public:
  StillDesktop(PipeWireTestProducer& producer, std::vector<uint8_t> picture, uint32_t width,
               uint32_t height, int times);
  ~StillDesktop();
  StillDesktop(const StillDesktop&) = delete;
  StillDesktop& operator=(const StillDesktop&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace orvane::testing
