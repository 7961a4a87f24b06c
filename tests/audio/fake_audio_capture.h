#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/audio_capture.h"

namespace orvane::testing {

// `frames` of a sine at `frequency` Hz, `amplitude` of full scale, the same in every
// channel, starting at frame `first_frame` of an endless tone.
std::vector<int16_t> Sine(uint32_t frames, uint32_t channels, double frequency,
                          uint32_t sample_rate, double amplitude, uint64_t first_frame = 0);

// What happened to the fake captures of one test.
struct FakeCaptureRecord {
  std::atomic<int> initialized{0};
  std::atomic<int> started{0};
  std::atomic<int> stopped{0};
};

// A capture driven by the test: Deliver hands a block to the callback as a capture
// thread would. With `tone`, Start runs a thread of its own that delivers 10 ms of a
// 1 kHz sine every 10 ms, stamped with the monotonic clock, until Stop.
class FakeAudioCapture : public LoopbackAudioCapture {
 public:
  struct Options {
    bool works = true;
    uint32_t sample_rate = 48000;
    uint32_t channels = 2;
    bool tone = false;
  };

  FakeAudioCapture(std::shared_ptr<FakeCaptureRecord> record, Options options);
  ~FakeAudioCapture() override;

  bool Initialize() override;
  bool Start(PcmCallback callback) override;
  void Stop() override;
  uint32_t sample_rate() const override { return options_.sample_rate; }
  uint32_t channels() const override { return options_.channels; }
  Status LastStatus() const override { return status_; }

  // A block of tone with `channels` (the capture's own when 0); false unless running.
  bool Deliver(uint32_t frames, uint64_t timestamp_us, uint32_t channels = 0);

 private:
  void PlayTone();

  std::shared_ptr<FakeCaptureRecord> record_;
  Options options_;
  bool initialized_ = false;
  std::atomic<bool> running_{false};
  PcmCallback callback_;
  std::thread tone_thread_;
  uint64_t next_frame_ = 0;
  Status status_;
};

}  // namespace orvane::testing
