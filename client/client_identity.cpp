#include "client/client_identity.h"

#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

#include "base/json_string.h"
#include "client/random_text.h"
#include "platform/app_folders.h"
#include "platform/system_info.h"

namespace orvane::client {
namespace {

constexpr char kIdentityFileName[] = "client_identity.json";
constexpr char kClientIdPrefix[] = "orvane-client-";
constexpr size_t kClientIdRandomBytes = 8;

// The string value of `"key": "..."`, unescaped; nullopt when the key or its quotes are
// missing. A key search rather than a JSON parser: the file only ever holds two strings.
std::optional<std::string> StringValue(std::string_view text, std::string_view key) {
  const std::string quoted_key = "\"" + std::string(key) + "\"";
  const size_t key_at = text.find(quoted_key);
  if (key_at == std::string_view::npos) {
    return std::nullopt;
  }
  const size_t colon = text.find(':', key_at + quoted_key.size());
  const size_t open = colon == std::string_view::npos ? colon : text.find('"', colon + 1);
  if (open == std::string_view::npos) {
    return std::nullopt;
  }
  const size_t close = FindClosingQuote(text, open + 1);
  if (close == std::string_view::npos) {
    return std::nullopt;
  }
  return UnescapeJsonString(text.substr(open + 1, close - open - 1));
}

std::string DefaultClientName() {
  const std::string computer = ComputerName();
  return computer.empty() ? "orvane-client" : "orvane-client on " + computer;
}

}  // namespace

std::filesystem::path DefaultIdentityFile() {
  const std::filesystem::path folder = AppDataFolder();
  return folder.empty() ? std::filesystem::path(kIdentityFileName) : folder / kIdentityFileName;
}

std::optional<ClientIdentity> ReadIdentity(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::optional<std::string> client_id = StringValue(text.str(), "clientId");
  if (!client_id || client_id->empty()) {
    return std::nullopt;
  }
  return ClientIdentity{std::move(*client_id),
                        StringValue(text.str(), "clientName").value_or(DefaultClientName())};
}

bool WriteIdentity(const std::filesystem::path& file, const ClientIdentity& identity) {
  if (file.has_parent_path()) {
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << "{\n  \"clientId\": \"" << EscapeJsonString(identity.client_id)
      << "\",\n  \"clientName\": \"" << EscapeJsonString(identity.client_name) << "\"\n}\n";
  out.close();
  return static_cast<bool>(out);
}

ClientIdentity LoadOrCreateIdentity(const std::filesystem::path& file) {
  if (std::optional<ClientIdentity> stored = ReadIdentity(file)) {
    return *stored;
  }
  const std::string random = RandomHexText(kClientIdRandomBytes);
  if (random.empty()) {
    return {};
  }
  ClientIdentity identity{kClientIdPrefix + random, DefaultClientName()};
  WriteIdentity(file, identity);
  return identity;
}

}  // namespace orvane::client
