#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct TrustedDevice {
  std::string client_id;
  std::string client_name;
  std::string trusted_at;  // local time "%Y-%m-%dT%H:%M:%S"
  std::string last_seen;   // same format

  bool operator==(const TrustedDevice&) const = default;
};

// trusted_devices.json as the host writes it: "[", six lines per record, "]", every line
// ended by a line feed, values JSON-escaped.
std::string FormatTrustFile(const std::vector<TrustedDevice>& devices);

// Reads records by searching for their keys rather than parsing JSON, so hand-edited and
// older files load the way they always have. A truncated or foreign text yields the
// records found before the damage.
std::vector<TrustedDevice> ParseTrustFile(std::string_view text);

}  // namespace orvane
