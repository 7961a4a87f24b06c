#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace orvane::client {

// Who this client says it is in Hello. The host trusts a device by its client_id, so
// the id must stay the same from one run to the next.
struct ClientIdentity {
  std::string client_id;
  std::string client_name;

  bool operator==(const ClientIdentity&) const = default;
};

// client_identity.json in the per-user application folder (the current folder when the
// user's folders cannot be determined).
std::filesystem::path DefaultIdentityFile();

// nullopt when the file is missing or holds no clientId.
std::optional<ClientIdentity> ReadIdentity(const std::filesystem::path& file);

// Creates the parent folders; false when the file cannot be written.
bool WriteIdentity(const std::filesystem::path& file, const ClientIdentity& identity);

// The identity stored in `file`, or a new random one ("orvane-client-" and 16 hex digits,
// named after this computer) that is written there. When it cannot be written the new
// identity is still returned, but a later run will not find it. The client_id is empty
// when no random number could be drawn.
ClientIdentity LoadOrCreateIdentity(const std::filesystem::path& file);

}  // namespace orvane::client
