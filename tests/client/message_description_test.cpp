#include "client/message_description.h"

#include <gtest/gtest.h>

#include <functional>

namespace orvane::client {
namespace {

namespace v1 = orvane::protocol::v1;

v1::ControlMessage Message(uint64_t sequence_id,
                           const std::function<void(v1::ControlMessage&)>& fill) {
  v1::ControlMessage message;
  message.set_sequence_id(sequence_id);
  fill(message);
  return message;
}

TEST(DescribeTest, ShowsPayloadNameSequenceAndFields) {
  const std::pair<v1::ControlMessage, std::string> cases[] = {
      {Message(3,
               [](v1::ControlMessage& m) {
                 v1::HelloAck& ack = *m.mutable_hello_ack();
                 ack.set_result(v1::AUTH_RESULT_PAIRING_REQUIRED);
                 ack.set_host_id("orvane-desk");
                 ack.set_host_name("desk");
                 ack.set_ephemeral_public_key("abc");
               }),
       "HelloAck seq=3 result=PAIRING_REQUIRED host_id=\"orvane-desk\" host_name=\"desk\" "
       "host_key=3B/1A47E90B"},
      {Message(4,
               [](v1::ControlMessage& m) {
                 v1::CapabilityAccept& accept = *m.mutable_capability_accept();
                 accept.set_selected_codec(v1::VIDEO_CODEC_HEVC);
                 accept.set_selected_fps(90);
                 accept.mutable_selected_resolution()->set_width(1280);
                 accept.mutable_selected_resolution()->set_height(720);
                 accept.set_audio_enabled(true);
                 accept.set_initial_bitrate_kbps(8000);
                 accept.set_media_udp_port(9431);
                 accept.set_input_udp_port(9432);
               }),
       "CapabilityAccept seq=4 codec=HEVC fps=90 resolution=1280x720 audio=yes input=no "
       "bitrate_kbps=8000 media_port=9431 input_port=9432 fec=no"},
      {Message(5,
               [](v1::ControlMessage& m) {
                 m.mutable_error()->set_error_code(2);
                 m.mutable_error()->set_error_description("say \"hi\"\n\x1b");
                 m.mutable_error()->set_is_fatal(true);
               }),
       "ErrorMessage seq=5 code=2 description=\"say \\\"hi\\\"\\x0A\\x1B\" fatal=yes"},
      {Message(6,
               [](v1::ControlMessage& m) {
                 m.mutable_capability_exchange()->add_supported_codecs(v1::VIDEO_CODEC_H264);
                 m.mutable_capability_exchange()->add_supported_codecs(
                     static_cast<v1::VideoCodec>(7));
                 m.mutable_capability_exchange()->add_supported_fps(60);
                 m.mutable_capability_exchange()->add_supported_fps(120);
               }),
       "CapabilityExchange seq=6 codecs=[H264,7] fps=[60,120] opus=no touch=no pen=no "
       "keyboard=no device_model=\"\" os=\"\""},
      {Message(7,
               [](v1::ControlMessage& m) {
                 m.mutable_stop_stream()->set_session_id("s-1");
                 m.mutable_stop_stream()->set_reason(static_cast<v1::StopReason>(42));
               }),
       "StopStream seq=7 session_id=\"s-1\" reason=42"},
      {Message(8, [](v1::ControlMessage&) {}), "(no payload) seq=8"},
  };
  for (const auto& [message, expected] : cases) {
    EXPECT_EQ(Describe(message), expected);
  }
}

}  // namespace
}  // namespace orvane::client
