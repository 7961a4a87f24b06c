#include "app/tray_texts.h"

namespace orvane {

std::optional<std::string> TooltipForClientState(SessionClientState state,
                                                 const std::string& text) {
  switch (state) {
    case SessionClientState::kWaiting:
      return kWaitingTooltip;
    case SessionClientState::kConnected:
      return text.empty() ? "Orvane Display - Connected"
                          : "Orvane Display - Connected (" + text + ")";
    case SessionClientState::kDisconnected:
      return "Orvane Display - Client disconnected";
  }
  return std::nullopt;
}

std::string PairingCodeNotice(const std::string& code) {
  return "Pairing code: " + code + ". Enter this code on your mobile device.";
}

}  // namespace orvane
