#pragma once

#include <cstdint>
#include <variant>

#include "protocol/orvane_protocol_v1.pb.h"
#include "protocol/pending_clipboard.h"

namespace orvane {

// What a client's control message asks the session to do, beyond the answers the
// protocol handler gives itself.
struct StartStreamRequest {};
struct StopStreamRequest {};
struct KeyframeRequest {};
// The negotiated quality changed; the bitrate controller starts over from it.
struct QualityChangeRequest {};
struct ClientStatsReport {
  float rtt_ms = 0;
  float packet_loss_pct = 0;
  float jitter_ms = 0;
};
struct ClipboardRequest {
  PendingClipboard clipboard;
};
struct FileTransferRequest {
  protocol::v1::StartFileTransfer transfer;
};
// The trusted-device list changed in memory and is to be written to its file.
struct TrustChangedRequest {};

using ClientRequest =
    std::variant<StartStreamRequest, StopStreamRequest, KeyframeRequest, QualityChangeRequest,
                 ClientStatsReport, ClipboardRequest, FileTransferRequest, TrustChangedRequest>;

}  // namespace orvane
