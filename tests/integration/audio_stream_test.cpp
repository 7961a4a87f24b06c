#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "audio/fake_audio_capture.h"
#include "integration/host_process.h"
#include "integration/paired_host.h"
#include "integration/pulse_server.h"
#include "integration/run_shell.h"
#include "integration/xvfb_painter.h"
#include "integration/xvfb_server.h"
#include "support/file_contents.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr double kToneHz = 1000.0;
constexpr double kToneAmplitude = 0.5;

// The client's audio and envelope totals.
struct ClientTotals {
  long packets = -1, undecodable = -1, missing = -1;
  int shortest_ms = 0, longest_ms = 0;
  double seconds = 0, tone_hz = 0, level_dbfs = 0;
  bool has_tone = false;
  long sealed = -1, sealed_audio = -1, bare = -1, not_increasing = -1;
};

ClientTotals ParseTotals(const std::string& output) {
  ClientTotals totals;
  std::smatch match;
  if (std::regex_search(output, match,
                        std::regex(R"(Audio: (\d+) packets, (\d+) undecodable, durations (\d+)-)"
                                   R"((\d+) ms, decoded ([\d.]+) s, )"))) {
    totals.packets = std::stol(match[1]);
    totals.undecodable = std::stol(match[2]);
    totals.shortest_ms = std::stoi(match[3]);
    totals.longest_ms = std::stoi(match[4]);
    totals.seconds = std::stod(match[5]);
  }
  if (std::regex_search(output, match, std::regex(R"(tone ([\d.]+) Hz at (-?[\d.]+) dBFS)"))) {
    totals.has_tone = true;
    totals.tone_hz = std::stod(match[1]);
    totals.level_dbfs = std::stod(match[2]);
  }
  if (std::regex_search(output, match, std::regex(R"(audio packets \((\d+) missing\))"))) {
    totals.missing = std::stol(match[1]);
  }
  if (std::regex_search(output, match,
                        std::regex(R"(Envelopes: (\d+) sealed \((\d+) audio\), (\d+) bare, (\d+) )"
                                   R"(counters not increasing)"))) {
    totals.sealed = std::stol(match[1]);
    totals.sealed_audio = std::stol(match[2]);
    totals.bare = std::stol(match[3]);
    totals.not_increasing = std::stol(match[4]);
  }
  return totals;
}

// The real host, capturing a private PulseAudio server's default sink, streams to the
// reference client while a tone plays into that sink.
class AudioStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(xvfb_.started());
    pulse_ = std::make_unique<PulseServer>(temp_ / "pulse", std::vector<std::string>{"speakers"},
                                           SinkFormat());
    ASSERT_TRUE(pulse_->started());
    setenv("DISPLAY", xvfb_.display().c_str(), 1);
    ASSERT_TRUE(painter_.connected());
    // Something must change on screen, or the host has no video to send.
    ticker_window_ = painter_.Fill(0, 0, 64, 64, 0x202020);

    ASSERT_TRUE(host_.Start({}, {{"PULSE_SERVER", pulse_->address()}}));
    EXPECT_NE(host_->Output().find("[Audio] PulseAudio loopback initialized: speakers.monitor"),
              std::string::npos)
        << host_->Output();
    ASSERT_TRUE(host_.Pair());
  }

  virtual PulseSinkFormat SinkFormat() const { return {}; }

  // Streams with `arguments` while the screen changes and, once the stream has started,
  // a tone of `tone_seconds` plays. Returns the client's exit status.
  int StreamWithTone(const std::string& arguments, double tone_seconds) {
    std::atomic<bool> ticking{true};
    std::thread ticker([&] {
      XvfbPainter painter(xvfb_.display());
      for (uint32_t shade = 0; ticking.load(); shade = (shade + 8) & 0xFF) {
        painter.Recolour(ticker_window_, shade * 0x010101);
        std::this_thread::sleep_for(30ms);
      }
    });
    int status = -1;
    std::thread client(
        [&] { status = RunShell(host_.Client("stream " + arguments), temp_ / "stream.log"); });
    const bool started = host_->WaitForOutput("[Session] Starting stream", 30s);
    EXPECT_TRUE(started) << host_->Output();
    if (started) {
      const auto frames = static_cast<uint32_t>(tone_seconds * 48000);
      EXPECT_TRUE(pulse_->Play(Sine(frames, 2, kToneHz, 48000, kToneAmplitude), "speakers"));
    }
    client.join();
    ticking = false;
    ticker.join();
    return status;
  }

  TempFolder temp_{"orvane-audio-stream"};
  XvfbServer xvfb_{"640x480x24"};
  XvfbPainter painter_{xvfb_.display()};
  std::unique_ptr<PulseServer> pulse_;
  uint32_t ticker_window_ = 0;
  PairedHost host_{temp_.path()};
};

TEST_F(AudioStreamTest, TheToneReachesTheClientAsSealedOpusOnTheVideoCounter) {
  const fs::path recording = temp_ / "audio.opus";
  ASSERT_EQ(StreamWithTone("--audio --seconds 6 --width 640 --height 480 --audio-out '" +
                               recording.string() + "'",
                           3.0),
            0)
      << ReadFile(temp_ / "stream.log");
  const std::string output = ReadFile(temp_ / "stream.log");
  const ClientTotals totals = ParseTotals(output);
  // Three seconds of 20 ms packets, give or take the edges of the tone.
  EXPECT_GE(totals.packets, 130) << output;
  EXPECT_LE(totals.packets, 160) << output;
  EXPECT_EQ(totals.undecodable, 0);
  EXPECT_EQ(totals.missing, 0) << "sequence numbers are consecutive";
  EXPECT_EQ(totals.shortest_ms, 20);
  EXPECT_EQ(totals.longest_ms, 20);
  ASSERT_TRUE(totals.has_tone) << output;
  EXPECT_NEAR(totals.tone_hz, kToneHz, 5.0);
  EXPECT_NEAR(totals.level_dbfs, 20 * std::log10(kToneAmplitude / std::sqrt(2.0)), 3.0);
  // Every datagram sealed, video and audio alike, under one counter that only grows.
  EXPECT_EQ(totals.sealed_audio, totals.packets);
  EXPECT_GT(totals.sealed, totals.sealed_audio + 20) << "video went along";
  EXPECT_EQ(totals.bare, 0);
  EXPECT_EQ(totals.not_increasing, 0);

  // The recording is an Ogg Opus file that an independent decoder plays in full.
  const fs::path decoded = temp_ / "audio.raw";
  ASSERT_EQ(RunShell("opusdec --quiet --rate 48000 '" + recording.string() + "' '" +
                         decoded.string() + "'",
                     temp_ / "opusdec.log"),
            0)
      << ReadFile(temp_ / "opusdec.log");
  const double decoded_seconds = static_cast<double>(fs::file_size(decoded)) / (48000 * 2 * 2);
  EXPECT_NEAR(decoded_seconds, totals.seconds, 0.05);
}

TEST_F(AudioStreamTest, WithAudioNotNegotiatedNoAudioDatagramArrives) {
  ASSERT_EQ(StreamWithTone("--seconds 4 --width 640 --height 480", 2.0), 0)
      << ReadFile(temp_ / "stream.log");
  const ClientTotals totals = ParseTotals(ReadFile(temp_ / "stream.log"));
  EXPECT_EQ(totals.packets, 0);
  EXPECT_GT(totals.sealed, 0);  // video came
  EXPECT_EQ(host_->Output().find("[Audio] Capture started"), std::string::npos);
}

// A sound server running at 44.1 kHz, as a stock PulseAudio does, here with a 5.1 sink:
// Opus takes neither, and the tone must still arrive.
class AudioStreamFromSurroundSinkTest : public AudioStreamTest {
 protected:
  PulseSinkFormat SinkFormat() const override { return {44100, 6}; }
};

TEST_F(AudioStreamFromSurroundSinkTest, TheToneOfA44kHzSurroundSinkArrivesAsOpus) {
  EXPECT_NE(host_->Output().find("[Audio] Mix format: 44100Hz, 6ch, 16bit"), std::string::npos)
      << host_->Output();
  ASSERT_EQ(StreamWithTone("--audio --seconds 5 --width 640 --height 480", 2.0), 0)
      << ReadFile(temp_ / "stream.log");
  const std::string output = ReadFile(temp_ / "stream.log");
  const ClientTotals totals = ParseTotals(output);
  EXPECT_GE(totals.packets, 80) << output;
  EXPECT_EQ(totals.undecodable, 0);
  ASSERT_TRUE(totals.has_tone) << output;
  EXPECT_NEAR(totals.tone_hz, kToneHz, 5.0);
  EXPECT_EQ(host_->Output().find("libopus init failed"), std::string::npos) << host_->Output();
}

}  // namespace
}  // namespace orvane::testing
