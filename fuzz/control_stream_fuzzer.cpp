// Bytes as a client's TCP connection brings them: frames cut by their length header
// (a bad length ends the connection, as the control server does), each opened as the
// control-receive loop opens it and dispatched to a fresh protocol handler with a trust
// store of its own. Everything the handler answers must be a message the client can
// parse.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "fuzz_input.h"
#include "fuzz_trust_environment.h"
#include "net/control_frame_codec.h"
#include "protocol/protocol_handler.h"
#include "session/control_frame_opener.h"

namespace {

orvane::fuzz::FuzzTrustFolder& TrustFolder() {
  static orvane::fuzz::FuzzTrustFolder folder;
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  orvane::fuzz::QuietCheckedLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  TrustFolder().Clear();
  ProtocolHandler handler(TrustFolder().Environment());
  handler.SetUdpPorts(9431, 9432);
  handler.messages().SetSendCallback([](const uint8_t* bytes, uint32_t length) {
    protocol::v1::ControlMessage answer;
    if (!answer.ParseFromArray(bytes, static_cast<int>(length))) {
      std::abort();
    }
    return true;
  });
  ControlFrameOpener opener(handler);

  std::span<const uint8_t> stream(data, size);
  while (stream.size() >= kControlFrameHeaderSize) {
    const uint32_t length = DecodeControlFrameHeader(stream.first<kControlFrameHeaderSize>());
    if (!IsValidControlFrameSize(length) || stream.size() - kControlFrameHeaderSize < length) {
      break;
    }
    const std::span<const uint8_t> frame = stream.subspan(kControlFrameHeaderSize, length);
    stream = stream.subspan(kControlFrameHeaderSize + length);

    // A request whose flags also carry 0x04 is sealed with the compatibility key, as a
    // client whose crypto library hands out the big-endian secret would.
    const SessionKeys keys = handler.Keys();
    const bool compatibility = frame.size() > 4 && (frame[4] & 0x04) != 0;
    const std::vector<uint8_t> received = fuzz::SealOnRequest(
        frame, compatibility ? keys.compatibility : keys.primary, kControlDirection);
    if (const auto payload = opener.Open(received)) {
      handler.HandleControlMessage(payload->data(), payload->size());
    }
  }
  return 0;
}
