#include "audio/loopback_audio_capture_wasapi.h"

#include <gtest/gtest.h>
#include <opus/opus.h>

#include <atomic>
#include <mutex>
#include <regex>
#include <vector>

#include "audio/audio_client_source_wasapi.h"
#include "audio/audio_pipeline.h"
#include "audio/fake_audio_client_wasapi.h"
#include "audio/opus_transform_mf.h"
#include "support/log_capture.h"

namespace orvane::testing {
namespace {

// A source that hands the capture a fake enumerator over `endpoints`; the enumerator
// stays reachable through `kept` for the test to drive.
DeviceEnumeratorSource EnumeratorOf(std::vector<FakeEndpoint*> endpoints, size_t default_index,
                                    Microsoft::WRL::ComPtr<FakeDeviceEnumerator>* kept = nullptr) {
  Microsoft::WRL::ComPtr<FakeDeviceEnumerator> enumerator;
  enumerator.Attach(new FakeDeviceEnumerator(std::move(endpoints), default_index));
  if (kept != nullptr) {
    *kept = enumerator;
  }
  return [enumerator](Microsoft::WRL::ComPtr<IMMDeviceEnumerator>& out) {
    out = enumerator;
    return S_OK;
  };
}

bool AnyLineMatches(const LogCapture& log, const std::regex& pattern) {
  for (const std::string& line : log.Lines()) {
    if (std::regex_search(line, pattern)) {
      return true;
    }
  }
  return false;
}

// Wine has no loopback capture: the session's audio is logged as unavailable, a stream
// start says why capture cannot start, and nothing else is disturbed.
TEST(WasapiLoopbackCaptureTest, ASystemWithoutLoopbackCaptureLeavesTheStreamSilent) {
  LogCapture log;
  AudioPipeline pipeline(CreateWasapiLoopbackCapture, CreateMfOpusTransform);
  if (pipeline.Initialize()) {
    GTEST_SKIP() << "this system has loopback capture";
  }
  EXPECT_TRUE(AnyLineMatches(
      log, std::regex(R"(^\[Audio\] (CoCreateInstance MMDeviceEnumerator|)"
                      R"(GetDefaultAudioEndpoint|Activate IAudioClient|GetMixFormat|)"
                      R"(IAudioClient::Initialize loopback|SetEventHandle|)"
                      R"(GetService IAudioCaptureClient) failed: 0x[0-9A-F]{8}$)")))
      << ::testing::PrintToString(log.Lines());
  EXPECT_TRUE(AnyLineMatches(
      log, std::regex(R"(\[AudioPipeline\] Audio capture init failed code=7 msg=(Audio device )"
                      R"(enumerator creation failed|Default audio endpoint is unavailable|Audio )"
                      R"(client activation failed|Audio mix format query failed|Audio loopback )"
                      R"(initialization failed|Audio event handle registration failed|Audio )"
                      R"(capture service creation failed) hr=0x[0-9A-F]{8} -- audio will be )"
                      R"(unavailable)")))
      << ::testing::PrintToString(log.Lines());

  std::atomic<bool> streaming{true};
  pipeline.Start(
      true, [](uint32_t, uint64_t, uint8_t, const uint8_t*, uint32_t) {}, streaming);
  EXPECT_TRUE(
      log.Contains("[AudioPipeline] Audio capture start failed code=7 msg=Audio capture "
                   "was not initialized before Start() hr=0x80004005"));
  pipeline.Stop();
}

// A 44.1 kHz 5.1 float endpoint: Opus takes neither, so the stream must be opened as
// 48 kHz stereo with the engine converting, and what arrives is a decodable tone.
TEST(WasapiLoopbackCaptureTest, ASurroundEndpointAt44kHzIsCapturedAs48kHzStereoOpus) {
  constexpr uint32_t kPackets = 100;  // one second of 10 ms packets
  FakeEndpoint endpoint(SurroundFloatMixFormat(), kPackets);
  LogCapture log;
  AudioPipeline pipeline(
      [&] { return CreateWasapiLoopbackCaptureFrom(EnumeratorOf({&endpoint}, 0)); },
      OpusTransformFactory{});
  ASSERT_TRUE(pipeline.Initialize()) << ::testing::PrintToString(log.Lines());
  EXPECT_TRUE(log.Contains("[Audio] Mix format: 44100Hz, 6ch, 32bit"));

  std::mutex mutex;
  std::vector<std::vector<uint8_t>> packets;
  std::atomic<bool> streaming{true};
  pipeline.Start(
      true,
      [&](uint32_t, uint64_t, uint8_t, const uint8_t* data, uint32_t size) {
        std::lock_guard<std::mutex> lock(mutex);
        packets.emplace_back(data, data + size);
      },
      streaming);
  EXPECT_TRUE(WaitUntil([&] { return endpoint.released_packets.load() == int{kPackets}; }))
      << ::testing::PrintToString(log.Lines());
  pipeline.Stop();
  EXPECT_EQ(endpoint.rule_breaks.load(), 0);

  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_GE(packets.size(), size_t{kPackets / 2 - 2}) << "one 20 ms packet per two blocks";
  int error = 0;
  OpusDecoder* decoder = opus_decoder_create(48000, 2, &error);
  ASSERT_NE(decoder, nullptr);
  std::vector<int16_t> decoded;
  for (const std::vector<uint8_t>& packet : packets) {
    int16_t out[5760 * 2];
    const int frames =
        opus_decode(decoder, packet.data(), static_cast<opus_int32>(packet.size()), out, 5760, 0);
    ASSERT_GT(frames, 0);
    for (int i = 0; i < frames; ++i) {
      decoded.push_back(out[2 * i]);
    }
  }
  opus_decoder_destroy(decoder);
  // Past the codec's start-up, the left channel crosses zero upwards 1000 times a second.
  const size_t skip = 4800;
  ASSERT_GT(decoded.size(), skip + 24000);
  int upward = 0;
  for (size_t i = skip + 1; i < decoded.size(); ++i) {
    upward += decoded[i - 1] < 0 && decoded[i] >= 0 ? 1 : 0;
  }
  const double seconds = static_cast<double>(decoded.size() - skip - 1) / 48000;
  EXPECT_NEAR(upward / seconds, 1000.0, 20.0);
}

// What happens to the playback device while a stream runs, and which endpoint must carry
// the sound afterwards.
enum class Disturbance { kNone, kDeviceInvalidated, kNewDefault, kDefaultGoneThenBack };

struct RecoveryCase {
  const char* name;
  bool first_signals_event;
  Disturbance disturbance;
};

// Packets of every client that records the default device reach the callback, whatever
// the stream went through: the event never set, the device invalidated, a new default, or
// no device for a while.
TEST(WasapiLoopbackCaptureTest, KeepsRecordingWhateverHappensToThePlaybackDevice) {
  const RecoveryCase cases[] = {
      {"an event that is never set", false, Disturbance::kNone},
      {"the device invalidated", true, Disturbance::kDeviceInvalidated},
      {"another default device", true, Disturbance::kNewDefault},
      {"no default device for a while", true, Disturbance::kDefaultGoneThenBack},
  };
  constexpr uint32_t kPackets = 20;
  constexpr int kFramesPerPacket = 480;
  for (const RecoveryCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeEndpoint first(SurroundFloatMixFormat(), kPackets, c.first_signals_event);
    FakeEndpoint second(StereoPcmMixFormat(), kPackets);
    Microsoft::WRL::ComPtr<FakeDeviceEnumerator> enumerator;
    LogCapture log;
    std::atomic<int> frames{0};
    {
      auto capture =
          CreateWasapiLoopbackCaptureFrom(EnumeratorOf({&first, &second}, 0, &enumerator));
      ASSERT_TRUE(capture->Initialize()) << ::testing::PrintToString(log.Lines());
      ASSERT_TRUE(capture->Start([&](const int16_t*, uint32_t count, uint32_t channels, uint64_t) {
        EXPECT_EQ(channels, 2u);
        frames += static_cast<int>(count);
      }));
      ASSERT_TRUE(WaitUntil([&] { return first.released_packets.load() == int{kPackets}; }))
          << ::testing::PrintToString(log.Lines());
      FakeEndpoint* carrier = &first;
      switch (c.disturbance) {
        case Disturbance::kNone:
          break;
        case Disturbance::kDeviceInvalidated:
          first.Invalidate();
          break;
        case Disturbance::kNewDefault:
          enumerator->SetDefault(1);
          carrier = &second;
          break;
        case Disturbance::kDefaultGoneThenBack:
          first.Invalidate();
          enumerator->SetDefault(2);
          ASSERT_TRUE(WaitUntil([&] { return enumerator->failed_lookups() > 0; }));
          enumerator->SetDefault(1);
          carrier = &second;
          break;
      }
      const int expected = carrier == &first && c.disturbance != Disturbance::kNone
                               ? 2 * int{kPackets}
                               : int{kPackets};
      EXPECT_TRUE(WaitUntil([&] { return carrier->released_packets.load() == expected; }))
          << ::testing::PrintToString(log.Lines());
      capture->Stop();
    }
    EXPECT_EQ(frames.load(),
              (first.released_packets.load() + second.released_packets.load()) * kFramesPerPacket);
    EXPECT_EQ(first.rule_breaks.load() + second.rule_breaks.load() + enumerator->rule_breaks(), 0);
    EXPECT_EQ(enumerator->registered(), 0) << "a notification client left registered";
  }
}

// Only the console playback default is recorded: a new microphone or communications
// device leaves the stream alone, a new console default is taken up at the next start.
TEST(WasapiLoopbackCaptureTest, OnlyANewConsolePlaybackDefaultReopensTheStream) {
  FakeEndpoint endpoint(StereoPcmMixFormat(), 1);
  Microsoft::WRL::ComPtr<FakeDeviceEnumerator> enumerator;
  auto capture = CreateWasapiLoopbackCaptureFrom(EnumeratorOf({&endpoint}, 0, &enumerator));
  ASSERT_TRUE(capture->Initialize());
  const auto restart = [&] {
    capture->Stop();
    return capture->Start([](const int16_t*, uint32_t, uint32_t, uint64_t) {});
  };
  ASSERT_TRUE(capture->Start([](const int16_t*, uint32_t, uint32_t, uint64_t) {}));
  enumerator->Notify(eCapture, eConsole);
  enumerator->Notify(eRender, eCommunications);
  ASSERT_TRUE(restart());
  EXPECT_EQ(endpoint.activations.load(), 1);
  enumerator->Notify(eRender, eConsole);
  ASSERT_TRUE(restart());
  EXPECT_EQ(endpoint.activations.load(), 2);
  capture.reset();
  EXPECT_EQ(endpoint.rule_breaks.load() + enumerator->rule_breaks(), 0);
}

}  // namespace
}  // namespace orvane::testing
