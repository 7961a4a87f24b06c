#include "security/trust_file.h"

#include <algorithm>
#include <optional>

#include "base/json_string.h"

namespace orvane {
namespace {

constexpr size_t kNotFound = std::string_view::npos;

struct KeyValue {
  std::string value;
  size_t closing_quote = 0;
};

// The value of the key whose quoted name starts at `key`: the string after the next colon.
std::optional<KeyValue> ValueOfKey(std::string_view text, size_t key) {
  const size_t colon = text.find(':', key);
  if (colon == kNotFound) {
    return std::nullopt;
  }
  const size_t opening = text.find('"', colon + 1);
  if (opening == kNotFound) {
    return std::nullopt;
  }
  const size_t closing = FindClosingQuote(text, opening + 1);
  if (closing == kNotFound) {
    return std::nullopt;
  }
  return KeyValue{UnescapeJsonString(text.substr(opening + 1, closing - opening - 1)), closing};
}

// Takes `key` when it lies before the first closing brace after `end` plus `reach`, and
// moves `end` to its value's closing quote. The reach is what lets a record that lacks a
// key take the next record's value, as files edited by hand always have.
void ReadField(std::string_view text, std::string_view key, size_t reach, size_t& end,
               std::string& field) {
  const size_t brace = text.find('}', end);
  const size_t limit = brace == kNotFound ? text.size() : std::min(text.size(), brace + reach);
  const size_t found = text.find(key, end);
  if (found == kNotFound || found >= limit) {
    return;
  }
  if (std::optional<KeyValue> value = ValueOfKey(text, found)) {
    field = std::move(value->value);
    end = value->closing_quote;
  }
}

void AppendLine(std::string& out, std::string_view key, const std::string& value, bool comma) {
  out += "    \"";
  out += key;
  out += "\": \"";
  out += EscapeJsonString(value);
  out += comma ? "\",\n" : "\"\n";
}

}  // namespace

std::string FormatTrustFile(const std::vector<TrustedDevice>& devices) {
  std::string out = "[\n";
  for (size_t i = 0; i < devices.size(); ++i) {
    const TrustedDevice& device = devices[i];
    out += "  {\n";
    AppendLine(out, "clientId", device.client_id, true);
    AppendLine(out, "clientName", device.client_name, true);
    AppendLine(out, "trustedAt", device.trusted_at, true);
    AppendLine(out, "lastSeen", device.last_seen, false);
    out += i + 1 < devices.size() ? "  },\n" : "  }\n";
  }
  out += "]\n";
  return out;
}

std::vector<TrustedDevice> ParseTrustFile(std::string_view text) {
  std::vector<TrustedDevice> devices;
  size_t position = 0;
  while (position < text.size()) {
    const size_t key = text.find("\"clientId\"", position);
    if (key == kNotFound) {
      break;
    }
    std::optional<KeyValue> id = ValueOfKey(text, key);
    if (!id) {
      break;
    }
    TrustedDevice device;
    device.client_id = std::move(id->value);
    size_t end = id->closing_quote;
    ReadField(text, "\"clientName\"", 0, end, device.client_name);
    ReadField(text, "\"trustedAt\"", 50, end, device.trusted_at);
    ReadField(text, "\"lastSeen\"", 100, end, device.last_seen);
    devices.push_back(std::move(device));
    position = end + 1;
  }
  return devices;
}

}  // namespace orvane
