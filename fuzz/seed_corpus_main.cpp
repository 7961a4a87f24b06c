// Writes the fuzz targets' starting corpora from valid messages: one folder per target
// under the folder given, one file per seed.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "client/pairing_proof.h"
#include "fuzz_input.h"
#include "fuzz_trust_environment.h"
#include "net/control_frame_codec.h"
#include "net/media_packet.h"
#include "protocol/orvane_protocol_v1.pb.h"
#include "security/session_crypto.h"
#include "security/trust_file.h"

namespace orvane::fuzz {
namespace {

namespace pb = protocol::v1;
using Bytes = std::vector<uint8_t>;

Bytes Serialized(const google::protobuf::MessageLite& message) {
  const std::string text = message.SerializeAsString();
  return {text.begin(), text.end()};
}

class Corpus {
 public:
  explicit Corpus(std::filesystem::path folder) : folder_(std::move(folder)) {
    std::filesystem::create_directories(folder_);
  }
  void Add(const Bytes& seed) {
    std::ofstream out(folder_ / ("seed-" + std::to_string(++count_)), std::ios::binary);
    out.write(reinterpret_cast<const char*>(seed.data()),
              static_cast<std::streamsize>(seed.size()));
  }
  void Add(const std::string& seed) { Add(Bytes(seed.begin(), seed.end())); }

 private:
  std::filesystem::path folder_;
  int count_ = 0;
};

// ---- control stream

void AppendFrame(const Bytes& payload, Bytes& stream) {
  const ControlFrameHeader header = EncodeControlFrameHeader(static_cast<uint32_t>(payload.size()));
  stream.insert(stream.end(), header.begin(), header.end());
  stream.insert(stream.end(), payload.begin(), payload.end());
}

Bytes Control(const std::function<void(pb::ControlMessage&)>& fill) {
  pb::ControlMessage message;
  message.set_protocol_version(1);
  message.set_sequence_id(1);
  fill(message);
  return Serialized(message);
}

Bytes Hello(const Bytes& public_key, const Bytes& proof) {
  return Control([&](pb::ControlMessage& message) {
    pb::Hello* hello = message.mutable_hello();
    hello->set_client_id("fuzz-device");
    hello->set_client_name("Fuzz tablet");
    hello->set_app_version("1.0");
    hello->set_protocol_version(1);
    hello->set_ephemeral_public_key(public_key.data(), public_key.size());
    hello->set_pairing_proof(proof.data(), proof.size());
  });
}

void WriteControlSeeds(Corpus corpus) {
  SessionCrypto crypto;
  const EphemeralKeyPair client_key = crypto.GenerateEphemeralKey();
  const Bytes proof = client::PairingProof(kFuzzPairingCode, "fuzz-device", client_key.public_key);

  const Bytes capabilities = Control([](pb::ControlMessage& message) {
    pb::CapabilityExchange* caps = message.mutable_capability_exchange();
    caps->add_supported_codecs(pb::VIDEO_CODEC_HEVC);
    caps->add_supported_codecs(pb::VIDEO_CODEC_H264);
    caps->add_supported_fps(60);
    caps->mutable_audio()->set_opus_supported(true);
    caps->mutable_audio()->add_sample_rates(48000);
    caps->mutable_audio()->set_channels(2);
    caps->mutable_input()->set_touch(true);
    caps->mutable_input()->set_max_touch_points(10);
    caps->set_device_model("Fuzz");
    caps->mutable_preferred_resolution()->set_width(1920);
    caps->mutable_preferred_resolution()->set_height(1080);
  });
  const std::vector<Bytes> session_messages = {
      capabilities,
      Control([](pb::ControlMessage& m) { m.mutable_start_stream()->set_session_id("s1"); }),
      Control([](pb::ControlMessage& m) {
        m.mutable_set_quality_profile()->set_target_bitrate_kbps(8000);
        m.mutable_set_quality_profile()->set_target_fps(30);
        m.mutable_set_quality_profile()->set_codec(pb::VIDEO_CODEC_H264);
      }),
      Control([](pb::ControlMessage& m) { m.mutable_request_keyframe()->set_stream_id("v"); }),
      Control([](pb::ControlMessage& m) { m.mutable_set_audio_enabled()->set_enabled(true); }),
      Control([](pb::ControlMessage& m) {
        pb::StatsReport* stats = m.mutable_stats_report();
        stats->set_session_id("s1");
        stats->set_rtt_ms(12.5f);
        stats->set_packet_loss_pct(1.0f);
        stats->set_jitter_ms(3.0f);
      }),
      Control([](pb::ControlMessage& m) { m.mutable_ping()->set_send_timestamp_us(42); }),
      Control([](pb::ControlMessage& m) {
        m.mutable_clipboard_update()->set_text("copied\ttext");
        m.mutable_clipboard_update()->set_mime_type("text/plain");
      }),
      Control([](pb::ControlMessage& m) {
        pb::StartFileTransfer* file = m.mutable_start_file_transfer();
        file->set_transfer_id("t1");
        file->set_filename("../notes\n.txt");
        file->set_file_size_bytes(1234);
        file->set_direction(pb::TRANSFER_DIRECTION_CLIENT_TO_HOST);
      }),
      Control([](pb::ControlMessage& m) {
        m.mutable_first_frame_rendered()->set_session_id("s1");
        m.mutable_first_frame_rendered()->set_rendered_frames(1);
      }),
      Control([](pb::ControlMessage& m) { m.mutable_key_rotation()->set_next_epoch(2); }),
      Control([](pb::ControlMessage& m) {
        m.mutable_stop_stream()->set_session_id("s1");
        m.mutable_stop_stream()->set_reason(pb::STOP_REASON_USER_REQUEST);
      }),
      Control([](pb::ControlMessage& m) { m.mutable_session_terminate(); }),
  };

  // Pairing, then the whole session sealed as a client seals it.
  Bytes paired;
  AppendFrame(Hello(client_key.public_key, {}), paired);
  AppendFrame(Hello(client_key.public_key, proof), paired);
  uint64_t counter = 0;
  for (const Bytes& message : session_messages) {
    AppendFrame(SealRequest(counter++, message), paired);
  }
  corpus.Add(paired);

  // The same messages bare, before and after a Hello without a key.
  Bytes bare;
  for (const Bytes& message : session_messages) {
    AppendFrame(message, bare);
  }
  AppendFrame(Hello({}, {}), bare);
  for (const Bytes& message : session_messages) {
    AppendFrame(message, bare);
  }
  corpus.Add(bare);

  // A frame under the compatibility key, a sealed frame that does not open, one sealed
  // before any key, and a wrong proof.
  Bytes keys;
  Bytes sealed_too_early = SealRequest(0, session_messages[0]);
  sealed_too_early[4] = kEnvelopeEncryptedFlag;
  AppendFrame(sealed_too_early, keys);
  AppendFrame(Hello(client_key.public_key, Bytes(32, 0x11)), keys);
  Bytes compatibility = SealRequest(7, session_messages[1]);
  compatibility[4] |= 0x04;
  AppendFrame(compatibility, keys);
  Bytes broken = SealRequest(8, session_messages[2]);
  broken[4] = kEnvelopeEncryptedFlag;
  AppendFrame(broken, keys);
  corpus.Add(keys);

  // Framing limits.
  corpus.Add(Bytes{0, 0, 0, 0});
  corpus.Add(Bytes{0, 0x10, 0, 1, 0x08});
}

// ---- input port

Bytes Input(const std::function<void(pb::InputEvent&)>& fill) {
  pb::InputEvent event;
  event.set_sequence_number(1);
  fill(event);
  return Serialized(event);
}

void WriteInputSeeds(Corpus corpus) {
  constexpr uint8_t kControlAuthenticatedKeyed = 0x07;
  const Bytes punch(kPunchPayload.begin(), kPunchPayload.end());
  const std::vector<Bytes> events = {
      Input([](pb::InputEvent& e) {
        e.mutable_touch()->set_action(pb::TOUCH_ACTION_DOWN);
        e.mutable_touch()->set_pointer_id(1);
        e.mutable_touch()->set_x_normalized(0.25f);
        e.mutable_touch()->set_y_normalized(0.5f);
        e.mutable_touch()->set_pressure(1.0f);
      }),
      Input([](pb::InputEvent& e) {
        e.mutable_touch()->set_action(pb::TOUCH_ACTION_MOVE);
        e.mutable_touch()->set_pointer_id(1);
        e.mutable_touch()->set_x_normalized(0.3f);
      }),
      Input([](pb::InputEvent& e) {
        e.mutable_pen()->set_action(pb::PEN_ACTION_HOVER_ENTER);
        e.mutable_pen()->set_x_normalized(0.5f);
        e.mutable_pen()->set_tilt_x(30.0f);
        e.mutable_pen()->set_orientation(90.0f);
      }),
      Input([](pb::InputEvent& e) {
        e.mutable_pen()->set_action(pb::PEN_ACTION_DOWN);
        e.mutable_pen()->set_pressure(0.5f);
        e.mutable_pen()->set_button_state(1);
      }),
      Input([](pb::InputEvent& e) {
        e.mutable_key()->set_action(pb::KEY_ACTION_KEY_DOWN);
        e.mutable_key()->set_key_code(0x10);
      }),
      Input([](pb::InputEvent& e) {
        e.mutable_key()->set_action(pb::KEY_ACTION_KEY_UP);
        e.mutable_key()->set_key_code(0x41);
      }),
  };

  Bytes bare;
  AppendRecord(0x01, punch, bare);
  for (const Bytes& event : events) {
    AppendRecord(0x03, event, bare);
  }
  Bytes prefixed = {0, 0, 0, static_cast<uint8_t>(events[0].size())};
  prefixed.insert(prefixed.end(), events[0].begin(), events[0].end());
  AppendRecord(0x03, prefixed, bare);
  AppendRecord(0x02, events[4], bare);
  corpus.Add(bare);

  // Sealed, reordered, replayed, and again after a stream start.
  Bytes sealed;
  AppendRecord(0x06, SealRequest(1, punch), sealed);
  uint64_t counter = 2;
  for (const Bytes& event : events) {
    AppendRecord(kControlAuthenticatedKeyed, SealRequest(counter++, event), sealed);
  }
  AppendRecord(kControlAuthenticatedKeyed, SealRequest(1, events[0]), sealed);
  AppendRecord(kControlAuthenticatedKeyed, SealRequest(100, events[1]), sealed);
  AppendRecord(kControlAuthenticatedKeyed, SealRequest(40, events[1]), sealed);
  AppendRecord(kControlAuthenticatedKeyed | 0x08, SealRequest(1, events[2]), sealed);
  corpus.Add(sealed);
}

// ---- trust file

void WriteTrustFileSeeds(Corpus corpus) {
  corpus.Add(FormatTrustFile({}));
  corpus.Add(FormatTrustFile({
      {"phone-1", "Pixel \"Fold\"", "2024-05-01T13:45:07", "2024-05-02T08:00:00"},
      {"tab\\2", "Tab\tname\n", "2024-05-01T13:45:07", "2024-05-01T13:45:07"},
      {"", "", "", ""},
  }));
  // As older hosts wrote it, unescaped, and hand-edited with a record missing a key.
  corpus.Add(std::string(
      "[\n  {\n    \"clientId\": \"a\",\n    \"clientName\": \"A\",\n    \"trustedAt\": "
      "\"2024-01-01T00:00:00\"\n  },\n  {\n    \"clientId\": \"b\",\n    \"lastSeen\": \"x\"\n  "
      "}\n]\n"));
  corpus.Add(std::string("[{\"clientId\":"));
}

// ---- command line

void WriteCommandLineSeeds(Corpus corpus) {
  using namespace std::string_literals;
  corpus.Add(
      "--control-port\0"s
      "9430\0--media-port\0"s
      "9431\0--input-port\0"s
      "9432"s);
  corpus.Add(
      "--monitors\0"s
      "--capture-output\0"s
      "2\0--capture-backend\0"s
      "gdi"s);
  corpus.Add("--console\0--background\0--help"s);
  corpus.Add(
      "--control-port\0"s
      "70000\0--capture-output\0-1"s);
}

// ---- media reassembly

Bytes VideoFragmentBytes(uint32_t frame, uint16_t index, uint16_t count, bool keyframe,
                         size_t payload_size) {
  Bytes packet(kVideoHeaderSize + payload_size, static_cast<uint8_t>(frame + index));
  VideoFragmentHeader header;
  header.flags = keyframe && index == 0 ? kKeyframeFlag : 0;
  header.frame_number = frame;
  header.timestamp_us = frame * 16667ull;
  header.index = index;
  header.count = count;
  WriteVideoFragmentHeader(header,
                           std::span<uint8_t, kVideoHeaderSize>(packet.data(), kVideoHeaderSize));
  return packet;
}

Bytes AudioPacketBytes(uint32_t sequence) {
  Bytes packet(kAudioHeaderSize + 60, 0x33);
  WriteAudioPacketHeader({20, sequence, sequence * 20000ull},
                         std::span<uint8_t, kAudioHeaderSize>(packet.data(), kAudioHeaderSize));
  return packet;
}

void WriteMediaSeeds(Corpus corpus) {
  Bytes stream;
  uint64_t counter = 0;
  auto add = [&](const Bytes& packet, bool sealed) {
    AppendRecord(0, sealed ? SealRequest(counter++, packet) : packet, stream);
  };
  // A keyframe in three fragments out of order, a lost frame, a duplicate, a late one.
  add(VideoFragmentBytes(1, 2, 3, true, 100), true);
  add(VideoFragmentBytes(1, 0, 3, true, 1400), true);
  add(VideoFragmentBytes(1, 1, 3, true, 1400), true);
  add(VideoFragmentBytes(2, 0, 2, false, 500), false);
  add(VideoFragmentBytes(3, 0, 1, false, 700), false);
  add(VideoFragmentBytes(3, 0, 1, false, 700), false);
  add(VideoFragmentBytes(2, 1, 2, false, 500), false);
  add(AudioPacketBytes(0), true);
  add(AudioPacketBytes(3), false);
  add(AudioPacketBytes(1), false);
  corpus.Add(stream);

  Bytes wrap;
  AppendRecord(0, VideoFragmentBytes(0xFFFFFFFF, 0, 1, true, 10), wrap);
  AppendRecord(0, VideoFragmentBytes(0, 0, 1, false, 10), wrap);
  AppendRecord(0, VideoFragmentBytes(0x7FFFFFFF, 0, 2, false, 10), wrap);
  corpus.Add(wrap);
}

}  // namespace
}  // namespace orvane::fuzz

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  using namespace orvane::fuzz;
  const std::filesystem::path root = argv[1];
  WriteControlSeeds(Corpus(root / "control_stream"));
  WriteInputSeeds(Corpus(root / "input_datagram"));
  WriteTrustFileSeeds(Corpus(root / "trust_file"));
  WriteCommandLineSeeds(Corpus(root / "command_line"));
  WriteMediaSeeds(Corpus(root / "media_reassembly"));
  return 0;
}
