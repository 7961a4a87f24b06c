#include "services/file_transfer_answer.h"

namespace orvane {

namespace pb = protocol::v1;

pb::ControlMessage AnswerFileTransfer(const pb::StartFileTransfer& request,
                                      FileTransferReceiver& receiver) {
  const bool accepted =
      receiver.StartTransfer(request.transfer_id(), request.filename(), request.file_size_bytes());
  // Unlike the handler's own messages, the acknowledgement carries sequence id 0 and no
  // time.
  pb::ControlMessage answer;
  answer.set_protocol_version(1);
  answer.set_sequence_id(0);
  answer.set_timestamp_us(0);
  pb::FileTransferAck* ack = answer.mutable_file_transfer_ack();
  ack->set_transfer_id(request.transfer_id());
  ack->set_status(accepted ? pb::FILE_TRANSFER_STATUS_ACCEPTED
                           : pb::FILE_TRANSFER_STATUS_REJECTED_DISK_FULL);
  ack->set_resume_offset(receiver.ResumeOffset(request.transfer_id()));
  return answer;
}

}  // namespace orvane
