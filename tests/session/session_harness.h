#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/fake_audio_capture.h"
#include "client/client_identity.h"
#include "client/control_client.h"
#include "input/recording_input_sink.h"
#include "session/host_session.h"
#include "session/session_fakes.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace orvane::testing {

// A HostSession in this process on free loopback ports, built from fakes that the test
// can watch: an input sink, encoders, a still capturer and a clock moved by hand. Clients
// are reference clients from any 127.x.y.z address, trusted from the start.
class SessionHarness {
 public:
  struct Options {
    bool masked_capture = false;
    // The capturer reports a change only when capture().changes asks for one.
    bool still_desktop = false;
    FakeAudioCapture::Options audio = {};
  };

  explicit SessionHarness(Options options);
  SessionHarness() : SessionHarness(Options{}) {}
  ~SessionHarness();

  // Connects a client; the first becomes active, the next waits in the queue.
  std::unique_ptr<client::ControlClient> Connect(const std::string& local_address = "127.0.0.1");
  // Hello with the trusted identity; true on AUTH_RESULT_OK.
  bool Authenticate(client::ControlClient& client);
  // CapabilityExchange offering Opus audio, sealed; true once CapabilityAccept arrives.
  bool OfferAudio(client::ControlClient& client);
  // StartStream, sealed; true once StreamStarted arrives.
  bool StartStream(client::ControlClient& client);

  // Sends one datagram to the input port from `local_address`; returns its source port.
  uint16_t SendInput(const std::string& local_address, const std::vector<uint8_t>& bytes);
  // Every datagram sent before from `local_address` has been handled once a marker key
  // from it shows up; false when the marker is not injected (the sender may not inject).
  bool InputSettled(const std::string& local_address = "127.0.0.1");
  // A key with this virtual-key code reached the input sink.
  bool Injected(uint16_t key_code) const;

  // Where the session stores received files, and the room it is told is left there.
  std::filesystem::path download_folder() const { return temp_ / "downloads"; }
  void SetFreeDiskBytes(uint64_t bytes) { free_disk_bytes_.store(bytes); }

  HostSession& session() { return *session_; }
  const HostOptions& options() const { return options_; }
  SinkRecord& input() { return *input_; }
  EncoderRecord& encoders() { return *encoders_; }
  CaptureRecord& capture() { return *capture_; }
  FakeCaptureRecord& audio_capture() { return *audio_capture_; }
  ManualClock& clock() { return clock_; }
  LogCapture& log() { return log_; }
  // The client states raised so far, as "waiting", "connected <address>", "disconnected".
  std::vector<std::string> ClientStates() const;
  // Stops the session and waits for Run to return.
  void Stop();

 private:
  TempFolder temp_{"orvane-session"};
  client::ClientIdentity identity_{"session-device", "Session tablet"};
  LogCapture log_;
  ManualClock clock_;
  std::shared_ptr<EncoderRecord> encoders_ = std::make_shared<EncoderRecord>();
  std::shared_ptr<CaptureRecord> capture_ = std::make_shared<CaptureRecord>();
  std::shared_ptr<SinkRecord> input_ = std::make_shared<SinkRecord>();
  std::shared_ptr<FakeCaptureRecord> audio_capture_ = std::make_shared<FakeCaptureRecord>();
  HostOptions options_;
  mutable std::mutex states_mutex_;
  std::vector<std::string> states_;
  std::unique_ptr<HostSession> session_;
  std::thread runner_;
  uint16_t next_marker_ = 0x1000;
  std::atomic<uint64_t> free_disk_bytes_{UINT64_MAX};
};

// One serialized InputEvent.
std::vector<uint8_t> KeyEvent(uint32_t key_code, bool up = false);
std::vector<uint8_t> TouchEvent(uint32_t action, uint32_t pointer_id, float x, float y);

}  // namespace orvane::testing
