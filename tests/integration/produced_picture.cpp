#include "integration/produced_picture.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/log_capture.h"

namespace orvane::testing {

std::vector<uint8_t> CaptureProducedPicture(ScreenCapturer& capturer,
                                            PipeWireTestProducer& producer,
                                            const std::vector<uint8_t>& picture, uint32_t width,
                                            uint32_t height) {
  std::vector<uint8_t> seen;
  WaitUntil(
      [&] {
        const CapturedFrame frame = capturer.Capture(50);
        EXPECT_NE(frame.status, CaptureStatus::kInvalidated);
        if (frame.status == CaptureStatus::kFrameReady) {
          seen.assign(frame.data, frame.data + frame.data_size);
          return true;
        }
        if (producer.WaitStreaming(std::chrono::milliseconds(0))) {
          ProducerBuffer buffer;
          buffer.bgrx = picture;
          buffer.damage = {{0, 0, width, height}};
          producer.Send(buffer);
        }
        return false;
      },
      std::chrono::seconds(15));
  return seen;
}

}  // namespace orvane::testing
