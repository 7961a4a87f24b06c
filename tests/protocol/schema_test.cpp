#include <gtest/gtest.h>

#include <string>

#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane {
namespace {

namespace pb = ::orvane::protocol::v1;

std::string Bytes(std::initializer_list<uint8_t> bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(SchemaTest, SerialisesFieldsInNumberOrderWithTheirWireTags) {
  pb::ControlMessage message;
  message.set_protocol_version(1);
  message.set_sequence_id(2);
  message.mutable_ping()->set_send_timestamp_us(5);
  // ping is field 50: tag (50 << 3) | 2 = 402, varint 0x92 0x03
  EXPECT_EQ(message.SerializeAsString(),
            Bytes({0x08, 0x01, 0x10, 0x02, 0x92, 0x03, 0x02, 0x08, 0x05}));

  pb::ControlMessage rendered;
  rendered.mutable_first_frame_rendered()->set_rendered_frames(1);
  EXPECT_EQ(rendered.SerializeAsString(), Bytes({0xBA, 0x01, 0x02, 0x18, 0x01}));
}

TEST(SchemaTest, HelloRoundTripsAndEmptyPayloadParses) {
  pb::ControlMessage sent;
  sent.set_protocol_version(1);
  sent.set_sequence_id(42);
  sent.set_timestamp_us(123456789);
  pb::Hello* hello = sent.mutable_hello();
  hello->set_client_id("tablet-1");
  hello->set_client_name("Tablet \xC3\xA9");
  hello->set_pairing_proof(std::string("\x00\x01\xFF", 3));
  hello->set_ephemeral_public_key(std::string(64, '\x04'));

  pb::ControlMessage received;
  const std::string wire = sent.SerializeAsString();
  ASSERT_TRUE(received.ParseFromArray(wire.data(), static_cast<int>(wire.size())));
  ASSERT_EQ(received.payload_case(), pb::ControlMessage::kHello);
  EXPECT_EQ(received.hello().client_name(), "Tablet \xC3\xA9");
  EXPECT_EQ(received.hello().pairing_proof(), std::string("\x00\x01\xFF", 3));
  EXPECT_EQ(received.sequence_id(), 42u);

  pb::ControlMessage header_only;
  const std::string header = Bytes({0x08, 0x01});
  ASSERT_TRUE(header_only.ParseFromArray(header.data(), static_cast<int>(header.size())));
  EXPECT_EQ(header_only.payload_case(), pb::ControlMessage::PAYLOAD_NOT_SET);
}

TEST(SchemaTest, SecondPayloadReplacesTheFirst) {
  pb::ControlMessage message;
  message.mutable_ping()->set_send_timestamp_us(1);
  message.mutable_start_stream()->set_session_id("s");
  EXPECT_EQ(message.payload_case(), pb::ControlMessage::kStartStream);
  EXPECT_FALSE(message.has_ping());
}

TEST(SchemaTest, AcceptsUnpackedRepeatedFields) {
  // capability_exchange (12) holding supported_codecs (1) as two separate varint tags
  // and supported_fps (2) as one packed run.
  const std::string wire = Bytes({0x62, 0x08, 0x08, 0x01, 0x08, 0x02, 0x12, 0x02, 0x1E, 0x3C});
  pb::ControlMessage message;
  ASSERT_TRUE(message.ParseFromArray(wire.data(), static_cast<int>(wire.size())));
  const pb::CapabilityExchange& caps = message.capability_exchange();
  ASSERT_EQ(caps.supported_codecs_size(), 2);
  EXPECT_EQ(caps.supported_codecs(0), pb::VIDEO_CODEC_H264);
  EXPECT_EQ(caps.supported_codecs(1), pb::VIDEO_CODEC_HEVC);
  ASSERT_EQ(caps.supported_fps_size(), 2);
  EXPECT_EQ(caps.supported_fps(1), 60u);
}

TEST(SchemaTest, RejectsStringsThatAreNotUtf8) {
  // hello (10) { client_name (2) = 0xC3 0x28 }: a broken two-byte sequence
  const std::string wire = Bytes({0x52, 0x04, 0x12, 0x02, 0xC3, 0x28});
  pb::ControlMessage message;
  EXPECT_FALSE(message.ParseFromArray(wire.data(), static_cast<int>(wire.size())));
}

TEST(SchemaTest, KeepsUnknownEnumValuesAsNumbers) {
  // stop_stream (15) { reason (2) = 9 }
  const std::string wire = Bytes({0x7A, 0x02, 0x10, 0x09});
  pb::ControlMessage message;
  ASSERT_TRUE(message.ParseFromArray(wire.data(), static_cast<int>(wire.size())));
  EXPECT_EQ(static_cast<int>(message.stop_stream().reason()), 9);
}

TEST(SchemaTest, InputEventCarriesOneOfTouchPenOrKey) {
  pb::InputEvent event;
  event.set_sequence_number(7);
  pb::TouchEvent* touch = event.mutable_touch();
  touch->set_action(pb::TOUCH_ACTION_MOVE);
  touch->set_x_normalized(0.5f);
  const std::string wire = event.SerializeAsString();
  pb::InputEvent parsed;
  ASSERT_TRUE(parsed.ParseFromArray(wire.data(), static_cast<int>(wire.size())));
  EXPECT_EQ(parsed.event_case(), pb::InputEvent::kTouch);
  EXPECT_FLOAT_EQ(parsed.touch().x_normalized(), 0.5f);
}

}  // namespace
}  // namespace orvane
