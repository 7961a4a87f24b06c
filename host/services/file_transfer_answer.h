#pragma once

#include "protocol/orvane_protocol_v1.pb.h"
#include "services/file_transfer_receiver.h"

namespace orvane {

// Puts a client's file-transfer request to the receiver and builds the acknowledgement
// the client gets: accepted, or refused (every refusal is reported as "disk full"), with
// the offset to resume from. Whatever the request's direction, the file comes to the
// host.
protocol::v1::ControlMessage AnswerFileTransfer(const protocol::v1::StartFileTransfer& request,
                                                FileTransferReceiver& receiver);

}  // namespace orvane
