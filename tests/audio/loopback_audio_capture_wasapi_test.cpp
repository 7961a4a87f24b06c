#include "audio/loopback_audio_capture_wasapi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>

#include "audio/audio_pipeline.h"
#include "audio/opus_transform_mf.h"
#include "support/log_capture.h"

namespace orvane::testing {
namespace {

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

}  // namespace
}  // namespace orvane::testing
