#include <cstdio>

#include "client/cli/command.h"
#include "client/cli/session_start.h"
#include "client/pairing_proof.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;

int RunPair(const CommonOptions& common, const ParsedOptions& options) {
  const std::string code = options.Value("--code");
  if (options.Has("--code") && !IsPairingCodeText(code)) {
    std::fprintf(stderr, "--code needs the six digits shown on the host, not \"%s\"\n",
                 code.c_str());
    return kExitUsage;
  }
  ControlClient client;
  const std::optional<v1::HelloAck> ack = ConnectAndHello(client, common, code);
  if (!ack) {
    return kExitFailed;
  }
  switch (ack->result()) {
    case v1::AUTH_RESULT_OK:
      if (code.empty()) {
        std::printf("Already trusted by %s\n", ack->host_name().c_str());
      } else {
        std::printf("Paired: this device is now trusted by %s\n", ack->host_name().c_str());
      }
      return kExitOk;
    case v1::AUTH_RESULT_PAIRING_REQUIRED:
      if (code.empty()) {
        std::printf(
            "Pairing required: a pairing code is now shown on the host console.\n"
            "Run: orvane-client pair --code <six digits>\n");
      } else {
        std::printf(
            "The host did not accept the code (wrong, replaced by a newer one, or sent "
            "less than 2 s after another attempt).\n"
            "A new code is now shown on the host console; run pair --code again with it.\n");
      }
      return kExitFailed;
    default:
      std::printf("The host refused this device\n");
      return kExitFailed;
  }
}

}  // namespace

Command PairCommand() {
  return {"pair",
          "pair this device with the host using the code shown on the host console",
          "Says Hello with a proof of the pairing code. Without --code it only asks: for an\n"
          "untrusted device the host shows a new code on its console.",
          {{"--code", "CODE", "the six-digit pairing code shown on the host console"}},
          RunPair};
}

}  // namespace orvane::client::cli
