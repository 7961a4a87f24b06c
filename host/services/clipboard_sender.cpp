#include "services/clipboard_sender.h"

#include "base/logger.h"
#include "net/control_frame_codec.h"
#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane {

namespace pb = protocol::v1;

std::optional<std::string> ClipboardUpdatePayload(const ClipboardData& data) {
  pb::ControlMessage message;
  message.set_protocol_version(1);
  message.set_timestamp_us(0);
  pb::ClipboardUpdate* update = message.mutable_clipboard_update();
  if (data.has_text) {
    update->set_text(data.text);
  }
  update->set_has_image(data.has_image);
  if (data.has_image && !data.image.empty()) {
    update->set_image_data(data.image.data(), data.image.size());
    if (!data.mime_type.empty()) {
      update->set_mime_type(data.mime_type);
    }
  }
  // The client refuses frames above the limit and would drop the connection with it.
  if (message.ByteSizeLong() > kMaxControlFrameSize && !update->image_data().empty()) {
    LOG_WARN("[Clipboard] Image too large for one control frame, not sent (image_bytes=%zu)",
             update->image_data().size());
    update->clear_image_data();
    update->clear_mime_type();
    update->set_has_image(false);
    if (update->text().empty()) {
      return std::nullopt;
    }
  }
  if (message.ByteSizeLong() > kMaxControlFrameSize) {
    LOG_WARN("[Clipboard] Text too large for one control frame, not sent (text_bytes=%zu)",
             update->text().size());
    return std::nullopt;
  }
  return message.SerializeAsString();
}

void ClipboardSender::Send(const ClipboardData& data) const {
  if (!streaming_()) {
    LOG_INFO("[Clipboard] No stream running, change not sent");
    return;
  }
  if (const std::optional<std::string> payload = ClipboardUpdatePayload(data)) {
    send_frame_(reinterpret_cast<const uint8_t*>(payload->data()),
                static_cast<uint32_t>(payload->size()));
  }
}

}  // namespace orvane
