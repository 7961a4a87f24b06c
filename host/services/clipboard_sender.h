#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "services/clipboard_data.h"

namespace orvane {

// The ClipboardUpdate payload that carries `data` to the client, within one control
// frame: an image that does not fit is left out, and so is a text that does not
// (each logged with its size). Nothing when nothing fits.
std::optional<std::string> ClipboardUpdatePayload(const ClipboardData& data);

// Sends local clipboard changes to the client while a stream runs.
class ClipboardSender {
 public:
  using SendFrame = std::function<bool(const uint8_t* data, uint32_t size)>;

  ClipboardSender(std::function<bool()> streaming, SendFrame send_frame)
      : streaming_(std::move(streaming)), send_frame_(std::move(send_frame)) {}

  void Send(const ClipboardData& data) const;

 private:
  const std::function<bool()> streaming_;
  const SendFrame send_frame_;
};

}  // namespace orvane
