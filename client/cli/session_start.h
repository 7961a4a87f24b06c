#pragma once

#include <optional>
#include <string>

#include "client/cli/common_options.h"
#include "client/control_client.h"

namespace orvane::client::cli {

// Connects and says Hello as the identity of the options (with a proof when
// `pairing_code` is given), printing the HelloAck. nullopt, after printing why, when the
// connection fails or no HelloAck comes.
std::optional<orvane::protocol::v1::HelloAck> ConnectAndHello(ControlClient& client,
                                                              const CommonOptions& common,
                                                              const std::string& pairing_code);

// ConnectAndHello for commands that need an admitted client: false, after printing how to
// pair, unless the host answers OK.
bool StartTrustedSession(ControlClient& client, const CommonOptions& common);

// StartTrustedSession, or only the connection when `say_hello` is false (to act as an
// unauthenticated client). False, after printing why, when either fails.
bool StartSession(ControlClient& client, const CommonOptions& common, bool say_hello);

// The frame mode of the options, or sealed when a session key exists and bare otherwise.
FrameMode FrameModeFor(const CommonOptions& common, const ControlClient& client);

// Prints a received message.
void PrintReceived(const orvane::protocol::v1::ControlMessage& message);

}  // namespace orvane::client::cli
