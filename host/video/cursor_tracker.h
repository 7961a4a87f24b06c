#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "protocol/orvane_protocol_v1.pb.h"
#include "video/cursor_source.h"

namespace orvane {

// Turns polls of the system cursor into the CursorUpdate messages a client needs: the
// whole image when it changes, the position alone when only the pointer moves. Lives as
// long as the session; the frame loop thread polls it.
class CursorTracker {
 public:
  explicit CursorTracker(std::unique_ptr<CursorSource> source);

  // The update to send, or nothing when the cursor is unchanged or cannot be read.
  std::optional<protocol::v1::CursorUpdate> Poll();

  // A new stream's client has no cursor yet: the next poll that reads the pointer sends
  // the full image and position even when nothing changed.
  void RequestFullUpdate() { last_image_id_.reset(); }

 private:
  std::unique_ptr<CursorSource> source_;
  std::optional<uint64_t> last_image_id_;
  int32_t last_x_ = -1;
  int32_t last_y_ = -1;
  bool last_visible_ = true;
};

// The control message that carries an update: protocol version 1, no sequence id or
// timestamp, sent bare over the control connection.
protocol::v1::ControlMessage CursorControlMessage(const protocol::v1::CursorUpdate& update);

}  // namespace orvane
