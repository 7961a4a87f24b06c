#include "integration/produced_picture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <utility>

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

StillDesktop::StillDesktop(PipeWireTestProducer& producer, std::vector<uint8_t> picture,
                           uint32_t width, uint32_t height, int times) {
  thread_ = std::thread([this, &producer, picture = std::move(picture), width, height, times] {
    using std::chrono::milliseconds;
    while (!stop_.load() && !producer.WaitStreaming(milliseconds(50))) {
    }
    ProducerBuffer buffer;
    buffer.bgrx = picture;
    buffer.damage = {{0, 0, width, height}};
    for (int sent = 0; sent < times && !stop_.load(); ++sent) {
      producer.Send(buffer);
      for (int waited = 0; sent + 1 < times && waited < 60 && !stop_.load(); ++waited) {
        std::this_thread::sleep_for(milliseconds(50));
      }
    }
  });
}

StillDesktop::~StillDesktop() {
  stop_.store(true);
  thread_.join();
}

}  // namespace orvane::testing
