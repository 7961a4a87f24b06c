#include "services/clipboard_sender.h"

#include <gtest/gtest.h>

#include "net/control_frame_codec.h"
#include "protocol/orvane_protocol_v1.pb.h"
#include "support/log_capture.h"

namespace orvane::testing {
namespace {

namespace pb = protocol::v1;

ClipboardData Data(const std::string& text, size_t image_bytes) {
  ClipboardData data;
  data.text = text;
  data.has_text = !text.empty();
  data.image.assign(image_bytes, 0xAB);
  data.has_image = image_bytes > 0;
  data.mime_type = image_bytes > 0 ? "image/png" : "";
  return data;
}

class ClipboardSenderTest : public ::testing::Test {
 protected:
  ClipboardSender sender_{[this] { return streaming_; },
                          [this](const uint8_t* data, uint32_t size) {
                            pb::ControlMessage message;
                            EXPECT_TRUE(message.ParseFromArray(data, static_cast<int>(size)));
                            sent_.push_back(message);
                            return true;
                          }};
  bool streaming_ = true;
  std::vector<pb::ControlMessage> sent_;
};

TEST_F(ClipboardSenderTest, SendsOneUpdateOnlyWhileStreaming) {
  LogCapture log;
  streaming_ = false;
  sender_.Send(Data("not now", 0));
  EXPECT_TRUE(sent_.empty());
  EXPECT_TRUE(log.Contains("[Clipboard] No stream running, change not sent"));

  streaming_ = true;
  sender_.Send(Data("héllo", 0));
  sender_.Send(Data("caption", 3));
  ASSERT_EQ(sent_.size(), 2u);
  EXPECT_EQ(sent_[0].protocol_version(), 1u);
  EXPECT_EQ(sent_[0].timestamp_us(), 0u);
  EXPECT_EQ(sent_[0].sequence_id(), 0u);
  const pb::ClipboardUpdate& text = sent_[0].clipboard_update();
  EXPECT_EQ(text.text(), "héllo");
  EXPECT_FALSE(text.has_image());
  EXPECT_TRUE(text.image_data().empty());
  EXPECT_TRUE(text.mime_type().empty());
  const pb::ClipboardUpdate& both = sent_[1].clipboard_update();
  EXPECT_EQ(both.text(), "caption");
  EXPECT_TRUE(both.has_image());
  EXPECT_EQ(both.image_data(), std::string(3, '\xAB'));
  EXPECT_EQ(both.mime_type(), "image/png");
}

// The client refuses frames above 1 MiB; the largest image that fits goes, one byte
// more does not.
TEST_F(ClipboardSenderTest, NothingLargerThanOneControlFrameIsSent) {
  LogCapture log;
  size_t largest = kMaxControlFrameSize;
  while (largest > 0 && !ClipboardUpdatePayload(Data("", largest))) {
    --largest;
  }
  EXPECT_GT(largest, kMaxControlFrameSize - 64);
  EXPECT_EQ(ClipboardUpdatePayload(Data("", largest))->size(), kMaxControlFrameSize);
  EXPECT_TRUE(
      log.Contains("[Clipboard] Image too large for one control frame, not sent "
                   "(image_bytes=" +
                   std::to_string(largest + 1) + ")"));

  // Too large with a text: the text goes alone.
  sender_.Send(Data("caption", largest + 1));
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].clipboard_update().text(), "caption");
  EXPECT_FALSE(sent_[0].clipboard_update().has_image());
  EXPECT_TRUE(sent_[0].clipboard_update().image_data().empty());
  EXPECT_TRUE(sent_[0].clipboard_update().mime_type().empty());

  sender_.Send(Data(std::string(kMaxControlFrameSize, 't'), 0));
  EXPECT_EQ(sent_.size(), 1u);
  EXPECT_TRUE(
      log.Contains("[Clipboard] Text too large for one control frame, not sent "
                   "(text_bytes=1048576)"));
}

}  // namespace
}  // namespace orvane::testing
